// The game window.
#include "window/game_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "client/gump_list.h"
#include "data/drawing.h"
#include "net/game_timer.h"
#include "platform/console.h"
#include "view/picture_buffers.h"
#include "view/render_thread.h"

namespace {

// The console panel's font: the default one, 10 pixels high.
QFont ConsoleFont()
{
    QFont font;
    font.setPixelSize(10);
    return font;
}

}  // namespace

QString ScreenshotPath(const QString& folder, const QString& stamp)
{
    const QDir dir(folder);
    for (int n = 1; n < 1000; ++n) {
        const QString name =
            n == 1 ? QString("veltharn-%1.png").arg(stamp) : QString("veltharn-%1-%2.png").arg(stamp).arg(n);
        const QString path = dir.filePath(name);
        if (!QFileInfo::exists(path))
            return path;
    }
    return {};
}

TPaintBox::TPaintBox(TFullScreenForm* form) : QWidget(form), form_(form)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setCursor(Qt::BlankCursor);  // the window draws its own pointer
}

void TPaintBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QImage& screen = form_->Screen;
    if (screen.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (!form_->FullScreen || screen.size() == size()) {
        // Composed at the display's resolution: drawn pixel for pixel, never scaled again.
        painter.drawImage(QPointF(0, 0), screen);
        return;
    }
    // The full screen's picture, scaled to fit the display, with black bars.
    const QSize fitted = screen.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.fillRect(rect(), Qt::black);
    painter.drawImage(target, screen);
}

void TPaintBox::mousePressEvent(QMouseEvent* event)
{
    const int x = int(event->position().x()), y = int(event->position().y());
    form_->FormMouseDown(event->button(), x, y);
    if (event->button() == Qt::LeftButton)
        form_->PaintBox1Click();
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    form_->FormMouseMove(int(event->position().x()), int(event->position().y()));
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event)
{
    form_->PaintBox1MouseUp(event->button(), int(event->position().x()), int(event->position().y()));
}

// The core's table reads Qt's key codes as plain numbers.
static_assert(qtkey::A == Qt::Key_A && qtkey::Z == Qt::Key_Z && qtkey::Digit0 == Qt::Key_0 &&
              qtkey::Digit9 == Qt::Key_9 && qtkey::Space == Qt::Key_Space && qtkey::Asterisk == Qt::Key_Asterisk &&
              qtkey::Plus == Qt::Key_Plus && qtkey::Comma == Qt::Key_Comma && qtkey::Minus == Qt::Key_Minus &&
              qtkey::Period == Qt::Key_Period && qtkey::Slash == Qt::Key_Slash && qtkey::Colon == Qt::Key_Colon &&
              qtkey::Semicolon == Qt::Key_Semicolon && qtkey::Less == Qt::Key_Less && qtkey::Equal == Qt::Key_Equal &&
              qtkey::Greater == Qt::Key_Greater && qtkey::Question == Qt::Key_Question &&
              qtkey::BracketLeft == Qt::Key_BracketLeft && qtkey::Backslash == Qt::Key_Backslash &&
              qtkey::BracketRight == Qt::Key_BracketRight && qtkey::Underscore == Qt::Key_Underscore &&
              qtkey::QuoteLeft == Qt::Key_QuoteLeft && qtkey::BraceLeft == Qt::Key_BraceLeft &&
              qtkey::Bar == Qt::Key_Bar && qtkey::BraceRight == Qt::Key_BraceRight &&
              qtkey::AsciiTilde == Qt::Key_AsciiTilde && qtkey::QuoteDbl == Qt::Key_QuoteDbl &&
              qtkey::Apostrophe == Qt::Key_Apostrophe && qtkey::TwoSuperior == Qt::Key_twosuperior);
static_assert(qtkey::Escape == Qt::Key_Escape && qtkey::Tab == Qt::Key_Tab && qtkey::Backtab == Qt::Key_Backtab &&
              qtkey::Backspace == Qt::Key_Backspace && qtkey::Return == Qt::Key_Return &&
              qtkey::Enter == Qt::Key_Enter && qtkey::Insert == Qt::Key_Insert && qtkey::Delete == Qt::Key_Delete &&
              qtkey::Pause == Qt::Key_Pause && qtkey::Print == Qt::Key_Print && qtkey::Home == Qt::Key_Home &&
              qtkey::End == Qt::Key_End && qtkey::Left == Qt::Key_Left && qtkey::Up == Qt::Key_Up &&
              qtkey::Right == Qt::Key_Right && qtkey::Down == Qt::Key_Down && qtkey::PageUp == Qt::Key_PageUp &&
              qtkey::PageDown == Qt::Key_PageDown && qtkey::Shift == Qt::Key_Shift &&
              qtkey::Control == Qt::Key_Control && qtkey::Meta == Qt::Key_Meta && qtkey::Alt == Qt::Key_Alt &&
              qtkey::CapsLock == Qt::Key_CapsLock && qtkey::NumLock == Qt::Key_NumLock &&
              qtkey::ScrollLock == Qt::Key_ScrollLock && qtkey::F1 == Qt::Key_F1 && qtkey::F24 == Qt::Key_F24 &&
              qtkey::Menu == Qt::Key_Menu);

int VirtualKey(const QKeyEvent& event)
{
    return VirtualKeyOf({event.key(), (event.modifiers() & Qt::KeypadModifier) != 0, event.nativeVirtualKey(),
                         event.nativeScanCode()});
}

TFullScreenForm::TFullScreenForm()
    : ConsoleBitmap(reinterpret_cast<uchar*>(ConsolePanel.data()), ConsoleWidth, ConsoleHeight,
                    qsizetype(ConsoleWidth * sizeof(uint32_t)), QImage::Format_RGB32)
{
    setWindowTitle("vx");
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    resize(640, 400);

    setFocusPolicy(Qt::StrongFocus);  // the form sees every key first
    PaintBox1 = new TPaintBox(this);
    PaintBox1->setFocusPolicy(Qt::NoFocus);
    PaintBox1->setGeometry(rect());
    RetransmitTimer = new QTimer(this);
    RetransmitTimer->setInterval(50);

    // The core's end of the frame reaches the window through these.
    PostHandOver = [this] { QMetaObject::invokeMethod(this, "PresentPostedFrame", Qt::QueuedConnection); };
    ScreenBuffer = [this] { return PrepareScreen(); };
    ScreenComposed = [this] { PaintBox1->update(); };
    DrawConsoleText = [this](std::span<const TConsoleText> lines) { DrawConsoleLines(lines); };
}

TFullScreenForm::~TFullScreenForm()
{
    // The render thread must not go on with a window that is gone.
    if (RefreshThread)
        RefreshThread->DetachTarget(this);
}

void TFullScreenForm::AttachProcessObjects()
{
    // Only objects that exist: a window without them (a test's) keeps its own.
    if (NPCList)
        Actors = NPCList.get();
    if (GumpList)
        Gumps = GumpList.get();
    if (GumpLock)
        GumpsLock = GumpLock.get();
    if (GameTimer)
        Timer = GameTimer.get();
}

void TFullScreenForm::PresentPostedFrame()
{
    uint32_t frame = 0;
    if (TRefreshThread* thread = PostedHandOver(frame))
        thread->PresentPosted(frame);
}

double TFullScreenForm::PixelRatio() const
{
    const double ratio = PaintBox1->devicePixelRatioF();
    return ratio > 0 ? ratio : 1.0;
}

QSize TFullScreenForm::ScreenSize() const
{
    if (FullScreen)
        return ScalerOn ? QSize(640, 480) : QSize(320, 240);
    const double ratio = PixelRatio();
    return QSize(int(std::lround(PaintBox1->width() * ratio)), int(std::lround(PaintBox1->height() * ratio)));
}

TViewPlacement TFullScreenForm::Placement() const
{
    const QSize size = ScreenSize();
    return TGameView::Placement(size.width(), size.height());
}

TPointerGeometry TFullScreenForm::PointerGeometry() const
{
    return {PaintBox1->width(), PaintBox1->height(), PixelRatio(), Placement()};
}

TPixels TFullScreenForm::PrepareScreen()
{
    const QSize size = ScreenSize();
    if (Screen.size() != size) {
        Screen = QImage(size, QImage::Format_RGB32);  // only when the window's size changes
        Screen.fill(0);
    }
    const double ratio = FullScreen ? 1.0 : PixelRatio();
    if (Screen.devicePixelRatio() != ratio)
        Screen.setDevicePixelRatio(ratio);
    return {reinterpret_cast<uint32_t*>(Screen.bits()), Screen.width(), Screen.height(),
            int(Screen.bytesPerLine() / qsizetype(sizeof(uint32_t)))};
}

void TFullScreenForm::DrawConsoleLines(std::span<const TConsoleText> lines)
{
    QPainter painter(&ConsoleBitmap);
    const QFont font = ConsoleFont();
    painter.setFont(font);
    painter.setPen(Qt::black);
    const int ascent = QFontMetrics(font).ascent();
    for (const TConsoleText& line : lines)
        painter.drawText(0, line.Y + ascent, QString::fromLatin1(line.Text.data(), qsizetype(line.Text.size())));
}

void TFullScreenForm::AddLogLine(std::string_view text) { TGameView::AddLogLine(text); }

int TFullScreenForm::ConsoleTextWidth(std::string_view text) const
{
    return QFontMetrics(ConsoleFont()).horizontalAdvance(QString::fromLatin1(text.data(), qsizetype(text.size())));
}

void TFullScreenForm::SetFullScreen(bool on)
{
    const bool was = FullScreen;
    FullScreen = on;  // before the window is shown again below, which activates it
    if (!isVisible()) {
        setWindowFlag(Qt::FramelessWindowHint, on);  // hidden: only the border changes
    } else if (was && !on) {
        setWindowFlag(Qt::FramelessWindowHint, false);
        showNormal();
        activateWindow();  // the border's change made the window anew: keys come here still
    } else if (!was && on) {
        // The desktop's mode stays; the 640 x 480 (or 320 x 240) screen is scaled to fit.
        setWindowFlag(Qt::FramelessWindowHint, true);
        showFullScreen();
        activateWindow();
    }
}

void TFullScreenForm::FormActivate()
{
    Closed = false;
    if (FullScreen) {
        if (!windowFlags().testFlag(Qt::FramelessWindowHint))
            setWindowFlag(Qt::FramelessWindowHint, true);
        if (!isFullScreen())
            showFullScreen();
    }
    AttachProcessObjects();
    if (!RefreshThread)
        return;
    RefreshThread->SetTarget(this);
    if (RefreshThread->TryResume()) {
        waitingForBuffers_ = false;
        return;
    }
    // The map viewer is making a map. That is said once; the window then waits, and
    // its next activation or the map's end (PictureBuffersFreed) starts the game.
    if (waitingForBuffers_)
        return;
    waitingForBuffers_ = true;
    throw std::runtime_error(kGameRefusal);
}

void TFullScreenForm::PictureBuffersFreed()
{
    if (waitingForBuffers_ && isVisible() && !Closed)
        FormActivate();
}

void TFullScreenForm::FormClose()
{
    Closed = true;
    if (RefreshThread) {
        // Between frames: a frame waiting for its hand-over goes on without it.
        RefreshThread->Pause();
        RefreshThread->CancelHandOver();
    }
    if (FullScreen && isFullScreen())
        showNormal();
}

namespace {

EMouseButton Button(Qt::MouseButton button)
{
    return button == Qt::LeftButton ? EMouseButton::Left
           : button == Qt::RightButton ? EMouseButton::Right
                                       : EMouseButton::Other;
}

}  // namespace

void TFullScreenForm::FormMouseMove(int x, int y)
{
    const TViewPoint p = WindowToView(PointerGeometry(), x, y, EPointerRounding::Divide);
    MouseMove(p.X, p.Y);
}

void TFullScreenForm::FormMouseDown(Qt::MouseButton button, int x, int y)
{
    const TViewPoint p = WindowToView(PointerGeometry(), x, y, EPointerRounding::HalfEven);
    MouseDown(Button(button), p.X, p.Y);
}

void TFullScreenForm::PaintBox1MouseUp(Qt::MouseButton button, int, int)
{
    MouseUp(Button(button));
}

void TFullScreenForm::keyPressEvent(QKeyEvent* event)
{
    const QByteArray typed = event->text().toLatin1();
    KeyEventDown(VirtualKey(*event), (event->modifiers() & Qt::AltModifier) != 0, event->isAutoRepeat(),
                 std::string_view(typed.constData(), size_t(typed.size())));
}

void TFullScreenForm::keyReleaseEvent(QKeyEvent* event)
{
    KeyEventUp(VirtualKey(*event), (event->modifiers() & Qt::AltModifier) != 0, event->isAutoRepeat());
}

QImage TFullScreenForm::ShownPicture() const
{
    const double ratio = PixelRatio();
    const QSize box(int(std::lround(PaintBox1->width() * ratio)), int(std::lround(PaintBox1->height() * ratio)));
    if (Screen.isNull() || !FullScreen || Screen.size() == box)
        return Screen;
    // The full screen's picture as the paint box scales it to fit, with black bars.
    QImage shown(box, QImage::Format_RGB32);
    shown.fill(0);
    const QSize fitted = Screen.size().scaled(box, Qt::KeepAspectRatio);
    QPainter painter(&shown);
    QImage screen = Screen;
    screen.setDevicePixelRatio(1.0);
    painter.drawImage(QRect(QPoint((box.width() - fitted.width()) / 2, (box.height() - fitted.height()) / 2), fitted),
                      screen);
    return shown;
}

void TFullScreenForm::TakeScreenshot()
{
    QImage picture = ShownPicture();
    if (picture.isNull()) {
        AddOwnLogLine("Screenshot not saved: no picture has been shown yet.");
        return;
    }
    QString folder = ScreenshotFolder;
    if (folder.isEmpty()) {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (pictures.isEmpty()) {
            AddOwnLogLine("Screenshot not saved: this system names no pictures folder.");
            return;
        }
        folder = QDir(pictures).filePath("Veltharn");
    }
    if (!QDir().mkpath(folder)) {
        ScreenshotLine("Screenshot not saved: cannot create the folder ", folder);
        return;
    }
    const QString path = ScreenshotPath(folder, QDateTime::currentDateTime().toString("yyyy-MM-dd_HH-mm-ss"));
    if (path.isEmpty()) {
        AddOwnLogLine("Screenshot not saved: too many screenshots in this second.");
        return;
    }
    // Written beside the target and renamed over it, so a failed write leaves no
    // half a file behind.
    QSaveFile file(path);
    picture.setDevicePixelRatio(1.0);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
        ScreenshotLine("Screenshot not saved: cannot write ", path, ": " + file.errorString());
        return;
    }
    ScreenshotLine("Screenshot saved: ", path);
}

void TFullScreenForm::ScreenshotLine(const QString& head, const QString& path, const QString& tail)
{
    // The console and the connection log name the file or folder alone: a path can be
    // far wider than the console and hold characters the log's Latin-1 has not.
    AddOwnLogLine((head + QFileInfo(QDir::cleanPath(path)).fileName() + tail).toLatin1().toStdString());
    platform::ConsoleLine((head + QDir::toNativeSeparators(path) + tail).toStdString());
}

void TFullScreenForm::Quit()
{
    close();
    QCoreApplication::quit();
}

void TFullScreenForm::PaintBox1Click()
{
    Click();
}

void TFullScreenForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    PaintBox1->setGeometry(rect());
    FormActivate();
}

void TFullScreenForm::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Every activation resumes the render thread, not only the one of a showing: a
    // game that could not start when shown starts when the window is next activated.
    // (Activations come here rather than to event(), which also sees the render
    // thread's queued hand-overs.)
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible() && !Closed)
        FormActivate();
}

void TFullScreenForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    QWidget::closeEvent(event);
}

void TFullScreenForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PaintBox1->setGeometry(rect());  // the paint box fills the client area
}

