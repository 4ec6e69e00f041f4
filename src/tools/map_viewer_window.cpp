// The map viewer window. Handlers translate controls into the viewer's calls and
// present the colour buffer; errors are raised to the application's handler.
#include "tools/map_viewer_window.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <climits>
#include <cstring>
#include <thread>

#include "client/key_map.h"
#include "data/drawing.h"
#include "data/static_tables.h"
#include "platform/tick_count.h"
#include "tools/shape_info_window.h"
#include "view/picture_buffers.h"

// ---- Paint box ------------------------------------------------------------------------

TMapPaintBox::TMapPaintBox(QWidget* parent) : QWidget(parent)
{
    Picture.fill(Qt::black);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TMapPaintBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // The whole buffer stretched from (0, 0) to one past the box's far corner.
    painter.drawImage(QRect(0, 0, width() + 1, height() + 1), Picture);
}

void TMapPaintBox::mousePressEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    emit MouseDown(p.x(), p.y());
}

void TMapPaintBox::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    emit MouseMove(p.x(), p.y(), (e->buttons() & Qt::LeftButton) != 0);
}

// ---- The window ---------------------------------------------------------------------------

namespace {

QSpinBox* SpinBox(QWidget* parent, int value, int low, int high)
{
    auto* box = new QSpinBox(parent);
    box->setRange(low, high);
    box->setValue(value);
    return box;
}

// Make Map's view of the window: presents now and then, keeps the window alive.
class WindowMapObserver : public tools::MakeMapObserver {
public:
    WindowMapObserver(TForm1& form, const bool& cancel) : form_(form), cancel_(cancel) { clock_.start(); }

    void ViewDrawn(const uint32_t*) override
    {
        // Presenting all 9272 views would cost more than drawing them; the window
        // shows the latest view every 40 ms instead.
        if (clock_.elapsed() >= 40) {
            form_.Present();
            clock_.restart();
        }
        QCoreApplication::processEvents();
    }
    void BandWritten(int bandsDone) override { form_.ProgressBar1->setValue(bandsDone); }
    bool Cancelled() override { return cancel_; }

private:
    TForm1& form_;
    const bool& cancel_;
    QElapsedTimer clock_;
};

}  // namespace

TForm1::TForm1()
{
    setWindowTitle("Tessarine Online Client");
    resize(720, 502);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    // The work space above, the controls in a 110-pixel panel below.
    auto* workSpace = new QWidget(this);
    workSpace->setAutoFillBackground(true);
    QPalette dark = workSpace->palette();
    dark.setColor(QPalette::Window, QColor(64, 64, 64));
    workSpace->setPalette(dark);
    PaintBox1 = new TMapPaintBox(workSpace);
    auto* workLayout = new QVBoxLayout(workSpace);
    workLayout->setContentsMargins(1, 1, 1, 1);
    workLayout->addWidget(PaintBox1);

    auto* panel = new QWidget(this);
    panel->setFixedHeight(110);

    Edit1 = new QLineEdit(panel);
#ifdef _WIN32
    Edit1->setText("E:\\TESSARINE\\");
#else
    Edit1->setText(QDir::homePath() + "/TESSARINE/");
#endif
    Button1 = new QPushButton("Begin", panel);
    Label8 = new QLabel("No Data", panel);
    Label1 = new QLabel(" ", panel);
    Label2 = new QLabel(" ", panel);
    Label3 = new QLabel(" ", panel);
    Label4 = new QLabel(" ", panel);
    SpinEdit2 = SpinBox(panel, 0, INT_MIN, INT_MAX);
    BitBtn1 = new QPushButton("Draw Chunk", panel);
    SpinEdit3 = SpinBox(panel, 940, 0, 3071);
    SpinEdit4 = SpinBox(panel, 1220, 0, 3071);
    SpinEdit6 = SpinBox(panel, 16, 0, 16);
    BitBtn2 = new QPushButton("Draw Map", panel);
    SpinEdit1 = SpinBox(panel, 0, INT_MIN, INT_MAX);
    SpinEdit5 = SpinBox(panel, 0, INT_MIN, INT_MAX);
    CheckBox1 = new QCheckBox("Grid", panel);
    Button2 = new QPushButton("Draw Shape", panel);
    Label9 = new QLabel("X=?, Y=?", panel);
    Button3 = new QPushButton("Shape Info", panel);
    Edit2 = new QLineEdit(panel);
#ifdef _WIN32
    Edit2->setText("c:\\VXMAP.RAW");
#else
    Edit2->setText(QDir::homePath() + "/VXMAP.RAW");
#endif
    Button4 = new QPushButton("Make Map", panel);
    ProgressBar1 = new QProgressBar(panel);
    ProgressBar1->setRange(0, tools::kMapBands);
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(false);
    Button5 = new QPushButton("Cancel", panel);
    Button5->setVisible(false);

    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(2);
    grid->addWidget(Edit1, 0, 0, 1, 2);
    grid->addWidget(Button1, 0, 2);
    grid->addWidget(Label8, 0, 3);
    grid->addWidget(Label1, 1, 0, 1, 4);
    grid->addWidget(Label2, 2, 0, 1, 4);
    grid->addWidget(Label3, 3, 0, 1, 4);
    grid->addWidget(Label4, 4, 0, 1, 4);
    grid->addWidget(new QLabel("WorldX", panel), 0, 4);
    grid->addWidget(SpinEdit3, 0, 5);
    grid->addWidget(new QLabel("WorldY", panel), 1, 4);
    grid->addWidget(SpinEdit4, 1, 5);
    grid->addWidget(new QLabel("MaxLift", panel), 2, 4);
    grid->addWidget(SpinEdit6, 2, 5);
    grid->addWidget(BitBtn2, 3, 5);
    grid->addWidget(SpinEdit2, 4, 4);
    grid->addWidget(BitBtn1, 4, 5);
    grid->addWidget(SpinEdit1, 0, 6);
    grid->addWidget(SpinEdit5, 1, 6);
    grid->addWidget(CheckBox1, 2, 6);
    grid->addWidget(Button2, 3, 6);
    grid->addWidget(Button3, 4, 6);
    grid->addWidget(Label9, 0, 7, 1, 2);
    grid->addWidget(Edit2, 1, 7, 1, 2);
    grid->addWidget(Button4, 2, 7);
    grid->addWidget(Button5, 2, 8);
    grid->addWidget(ProgressBar1, 3, 7, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(workSpace, 1);
    layout->addWidget(panel);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1);

    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Fired);
    connect(PaintBox1, &TMapPaintBox::MouseDown, this, &TForm1::PaintBox1MouseDown);
    // Every mouse position is taken in the form's coordinates, wherever it was reported.
    connect(PaintBox1, &TMapPaintBox::MouseMove, this, [this](int x, int y, bool leftHeld) {
        const QPoint p = PaintBox1->mapTo(this, QPoint(x, y));
        FormMouseMove(p.x(), p.y(), leftHeld);
    });

    // The form sees every key before its controls do, and mouse moves over its own
    // background as well as over the paint box.
    setMouseTracking(true);
    workSpace->setMouseTracking(true);
    panel->setMouseTracking(true);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    installEventFilter(this);

    FormCreate();
}

void TForm1::FormCreate()
{
    Drag.ViewX = SpinEdit3->value();
    Drag.ViewY = SpinEdit4->value();
    Keys = tools::MapViewKeys{};
}

void TForm1::OpenWith(const std::string& gameFolder)
{
    if (!begun_ && gameFolder != "**" && !gameFolder.empty())
        Edit1->setText(QString::fromStdString(gameFolder));
    show();
    raise();
    activateWindow();
}

void TForm1::CopyPicture(const uint32_t* colours)
{
    for (int y = 0; y < kViewHeight; ++y)
        std::memcpy(PaintBox1->Picture.scanLine(y), colours + size_t(y) * kViewWidth, kViewWidth * 4);
}

void TForm1::Present()
{
    CopyPicture(&ColourBuffer[0][0]);
    PaintBox1->repaint();
}

void TForm1::Button1Click()
{
    tools::CheckViewerMayDraw();
    Button1->setEnabled(false);
    Edit1->setEnabled(false);
    setCursor(Qt::WaitCursor);
    QLabel* labels[9] = {nullptr, Label1, Label2, Label3, Label4, nullptr, nullptr, nullptr, Label8};
    try {
        tools::MapViewerBegin(Edit1->text().toStdString(), [&](int label, const std::string& text, bool repaint) {
            labels[label]->setText(QString::fromStdString(text));
            if (repaint)
                this->repaint();
        });
    } catch (...) {
        // What was loaded before stays in use, and another folder can be tried.
        Label8->setText("Failed.");
        Button1->setEnabled(true);
        Edit1->setEnabled(true);
        unsetCursor();
        throw;
    }
    begun_ = true;
    unsetCursor();
}

void TForm1::Button2Click()
{
    // The paint box's area is cleared on screen here; presenting covers all of it.
    tools::DrawShapeView(SpinEdit1->value(), SpinEdit5->value(), CheckBox1->isChecked());
    Present();
}

void TForm1::BitBtn1Click()
{
    tools::DrawChunkView(SpinEdit2->value());
    Present();
}

void TForm1::DrawMapAndPresent()
{
    tools::DrawMapView(SpinEdit3->value(), SpinEdit4->value(), SpinEdit6->value());
    Present();
}

void TForm1::BitBtn2Click()
{
    DrawMapAndPresent();
}

void TForm1::PaintBox1MouseDown(int x, int y)
{
    const tools::PickResult pick = tools::PickPixel(tools::PaintBoxToBuffer(x, y, PaintBox1->width(), PaintBox1->height()));
    PickedShape = pick.Shape;
    Label9->setText(QString::fromStdString(pick.Text));
}

void TForm1::Button3Click()
{
    if (ShapeInfoForm == nullptr)
        return;
    ShapeInfoForm->show();
    ShapeInfoForm->FillShapeInfo(PickedShape);
    ShapeInfoForm->Edit1->setText(QString::number(PickedShape & 1023));
    ShapeInfoForm->Edit2->setText(QString::number(PickedShape >> 10));
}

void TForm1::FormMouseMove(int x, int y, bool leftHeld)
{
    if (Drag.Move(x, y, leftHeld)) {
        SpinEdit3->setValue(tools::RoundHalfEven(Drag.ViewX));
        SpinEdit4->setValue(tools::RoundHalfEven(Drag.ViewY));
        // A drag goes on redrawing as long as the viewer may draw; refusals are for
        // the buttons, not for every mouse move.
        if (PictureBuffersHolder() == BufferUser::Nobody && VxShapes)
            DrawMapAndPresent();
    }
}

void TForm1::FormKeyDown(int virtualKey)
{
    Keys.Press(virtualKey);
}

void TForm1::FormKeyUp(int virtualKey)
{
    Keys.Release(virtualKey);
}

void TForm1::Timer1Fired()
{
    // The viewer's 1 ms timer fires at the system timer's resolution where it was made,
    // 64 times a second: here a tick in the same 1/64 s as the last one is let go, so
    // that a held arrow scrolls 64 steps a second on any system.
    const uint64_t slot = uint64_t(platform::TickCount()) * 64 / 1000;
    if (slot == lastTimerSlot_)
        return;
    lastTimerSlot_ = slot;
    Timer1Timer();
}

void TForm1::Timer1Timer()
{
    // A tick with no arrow held would draw the same picture again; it draws nothing.
    if (!Keys.AnyArrow())
        return;
    int x = SpinEdit3->value();
    int y = SpinEdit4->value();
    Keys.Scroll(x, y);
    SpinEdit4->setValue(y);
    SpinEdit3->setValue(x);
    if (PictureBuffersHolder() == BufferUser::Nobody && VxShapes)
        DrawMapAndPresent();
}

void TForm1::SetMakingMap(bool on)
{
    const bool ended = makingMap_ && !on;
    makingMap_ = on;
    for (QWidget* w : std::initializer_list<QWidget*>{Button2, BitBtn1, BitBtn2, Button3, Button4, Edit2})
        w->setEnabled(!on);
    Button1->setEnabled(!on && !begun_);
    ProgressBar1->setVisible(true);
    Button5->setVisible(on);
    Button5->setEnabled(on);
    if (ended)
        emit MapMakingEnded();
}

void TForm1::Button4Click()
{
    if (makingMap_)
        return;
    tools::MakeMapOptions options;
    options.RawPath = Edit2->text().toStdString();
    options.LiftLimit = SpinEdit6->value();
    options.Threads = std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    cancelRequested_ = false;
    ProgressBar1->setValue(0);
    ProgressBar1->setFormat("%v of %m bands");
    SetMakingMap(true);
    WindowMapObserver observer(*this, cancelRequested_);
    try {
        tools::MakeMap(options, observer);
    } catch (const tools::MapCancelled&) {
        ProgressBar1->setFormat("Cancelled");
    } catch (...) {
        SetMakingMap(false);
        ProgressBar1->setFormat("Failed");
        throw;
    }
    SetMakingMap(false);
    Present();
}

void TForm1::Button5Click()
{
    cancelRequested_ = true;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        // A drag moves the view by the pointer's movement from where it starts: over
        // the labels and the panel no move without a button held reaches the form.
        const QPoint p = mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        Drag.LastX = p.x();
        Drag.LastY = p.y();
        break;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->isAutoRepeat())
            break;
        // The client's one key table; a key it does not know (0) reaches nobody.
        const int code = VirtualKeyOf({key->key(), (key->modifiers() & Qt::KeypadModifier) != 0,
                                       key->nativeVirtualKey(), key->nativeScanCode()});
        if (code == 0)
            break;
        if (event->type() == QEvent::KeyPress)
            FormKeyDown(code);
        else
            FormKeyUp(code);
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm1::event(QEvent* e)
{
    // Keyboard scrolling runs while the viewer has the focus.
    if (e->type() == QEvent::WindowActivate)
        Timer1->start();
    else if (e->type() == QEvent::WindowDeactivate) {
        Timer1->stop();
        Keys = tools::MapViewKeys{};
    }
    return QWidget::event(e);
}

void TForm1::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    FormMouseMove(p.x(), p.y(), (e->buttons() & Qt::LeftButton) != 0);
}
