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

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "net/game_timer.h"
#include "platform/console.h"
#include "view/picture_buffers.h"
#include "view/scaler.h"
#include "window/gump_list.h"

namespace {

constexpr int ScaledWidth = 2 * kViewWidth, ScaledHeight = 2 * kViewHeight;

const char* TrueFalse(bool v) { return v ? "TRUE" : "FALSE"; }

// The console panel's font: the default one, 10 pixels high.
QFont ConsoleFont()
{
    QFont font;
    font.setPixelSize(10);
    return font;
}

}  // namespace

void StretchInto(const QImage& src, QImage& dst, const QRect& rect)
{
    if (rect.width() <= 0 || rect.height() <= 0 || src.isNull())
        return;
    const QRect clip = rect.intersected(dst.rect());
    const int sw = src.width(), sh = src.height();
    const int64_t stepX = (int64_t(sw) << 16) / rect.width();
    for (int y = clip.top(); y <= clip.bottom(); ++y) {
        const int sy = int(int64_t(y - rect.top()) * sh / rect.height());
        const auto* from = reinterpret_cast<const uint32_t*>(src.constScanLine(sy));
        auto* to = reinterpret_cast<uint32_t*>(dst.scanLine(y));
        int64_t sx = int64_t(clip.left() - rect.left()) * stepX;
        for (int x = clip.left(); x <= clip.right(); ++x, sx += stepX)
            to[x] = from[sx >> 16];
    }
}

void ScaleWholeInto(const QImage& src, QImage& dst, const QRect& rect)
{
    if (rect.width() <= 0 || rect.height() <= 0 || src.isNull())
        return;
    const QRect clip = rect.intersected(dst.rect());
    if (clip.isEmpty())
        return;
    const int sw = src.width(), sh = src.height(), rw = rect.width(), rh = rect.height();
    const int64_t firstX = clip.left() - rect.left();
    const int firstColumn = int(firstX * sw / rw);
    const int64_t firstRemainder = firstX * sw - int64_t(firstColumn) * rw;
    int previousSy = -1;
    for (int y = clip.top(); y <= clip.bottom(); ++y) {
        const int sy = int(int64_t(y - rect.top()) * sh / rh);
        auto* to = reinterpret_cast<uint32_t*>(dst.scanLine(y)) + clip.left();
        if (sy == previousSy) {  // the same source row: the row above again
            std::memcpy(to, reinterpret_cast<const uint32_t*>(dst.constScanLine(y - 1)) + clip.left(),
                        size_t(clip.width()) * sizeof(uint32_t));
            continue;
        }
        previousSy = sy;
        const auto* from = reinterpret_cast<const uint32_t*>(src.constScanLine(sy));
        // Column x takes source column floor(x * sw / rw), kept without a division:
        // remainder = x * sw - column * rw stays in 0 .. rw - 1.
        int column = firstColumn;
        int64_t remainder = firstRemainder;
        for (int x = 0; x < clip.width(); ++x) {
            to[x] = from[column];
            remainder += sw;
            while (remainder >= rw) {
                remainder -= rw;
                ++column;
            }
        }
    }
}

TViewPlacement PlaceView(int width, int height, int consoleRows, bool wholePixel)
{
    TViewPlacement p;
    p.Rect = QRect(0, 0, width + 1, height + 1 - consoleRows);
    if (!wholePixel)
        return p;
    const int area = height - consoleRows;
    const int multiple = std::min(width / kViewWidth, area / kViewHeight);
    if (multiple < 1)
        return p;  // not even the picture itself fits: the stretch
    p.Multiple = multiple;
    p.Rect = QRect((width - kViewWidth * multiple) / 2, (area - kViewHeight * multiple) / 2, kViewWidth * multiple,
                   kViewHeight * multiple);
    return p;
}

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

void CopyInto(const QImage& src, QImage& dst, int x, int y)
{
    const QRect clip = QRect(x, y, src.width(), src.height()).intersected(dst.rect());
    if (clip.isEmpty())
        return;
    for (int row = clip.top(); row <= clip.bottom(); ++row) {
        const auto* from = reinterpret_cast<const uint32_t*>(src.constScanLine(row - y)) + (clip.left() - x);
        auto* to = reinterpret_cast<uint32_t*>(dst.scanLine(row)) + clip.left();
        std::memcpy(to, from, size_t(clip.width()) * sizeof(uint32_t));
    }
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

int VirtualKey(const QKeyEvent& event)
{
    const int key = event.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'A' + (key - Qt::Key_A);
    if ((event.modifiers() & Qt::KeypadModifier) != 0) {
        // The number pad has codes of its own while it types digits.
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return vk::Numpad0 + (key - Qt::Key_0);
        switch (key) {
        case Qt::Key_Asterisk: return 106;
        case Qt::Key_Plus: return 107;
        case Qt::Key_Minus: return 109;
        case Qt::Key_Period:
        case Qt::Key_Comma: return 110;
        case Qt::Key_Slash: return 111;
        default: break;
        }
    }
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return '0' + (key - Qt::Key_0);
    // A digit key with Shift reports the character it types (US layout): the code is
    // still the digit's.
    constexpr char shiftedDigits[] = ")!@#$%^&*(";
    for (int d = 0; d < 10; ++d)
        if (key == shiftedDigits[d])
            return '0' + d;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return vk::F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace: return vk::Backspace;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vk::Enter;
    case Qt::Key_Escape: return vk::Escape;
    case Qt::Key_Space: return vk::Space;
    case Qt::Key_PageUp: return vk::PageUp;
    case Qt::Key_PageDown: return vk::PageDown;
    case Qt::Key_End: return vk::End;
    case Qt::Key_Home: return vk::Home;
    case Qt::Key_Left: return vk::Left;
    case Qt::Key_Up: return vk::Up;
    case Qt::Key_Right: return vk::Right;
    case Qt::Key_Down: return vk::Down;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
    case Qt::Key_twosuperior: return vk::Console;
    // Keys that only keep the movement books, as every key does.
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Print: return 44;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Meta: return 91;
    case Qt::Key_Menu: return 93;
    case Qt::Key_NumLock: return 144;
    case Qt::Key_ScrollLock: return 145;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 188;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 189;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 191;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 222;
    default: break;
    }
    // Windows gives the code itself; X11 keycode 49 is the key left of 1 on any layout.
    if (event.nativeVirtualKey() == 192 || event.nativeScanCode() == 49)
        return vk::Console;
    return 0;
}

TFullScreenForm::TFullScreenForm()
    : ViewBitmap(kViewWidth, kViewHeight, QImage::Format_RGB32),
      ConsoleBitmap(kViewWidth, ConsoleHeight, QImage::Format_RGB32),
      ScaledBitmap(ScaledWidth, ScaledHeight, QImage::Format_RGB32)
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

    ViewBitmap.fill(0);
    ScaledBitmap.fill(0);
    ConsoleBitmap.fill(Qt::white);
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

void TFullScreenForm::PostPresent(TRefreshThread& thread, uint32_t frame)
{
    // Render thread: a queued call on the window's event loop. The thread waits for it
    // on its own lock, which also carries the buffers over for ThreadSanitizer. The call
    // is named and carries nothing: Qt's event queue hands objects between threads
    // under locks ThreadSanitizer cannot see, so nothing of ours may travel inside it.
    // A stale call of a cancelled frame that runs after this one was posted presents
    // this one, which is drawn and waiting; the later call then finds nothing to do.
    poster_.store(&thread, std::memory_order_release);
    postedFrame_.store(frame, std::memory_order_release);
    QMetaObject::invokeMethod(this, "PresentPostedFrame", Qt::QueuedConnection);
}

void TFullScreenForm::PresentPostedFrame()
{
    const uint32_t frame = postedFrame_.load(std::memory_order_acquire);
    if (TRefreshThread* thread = poster_.load(std::memory_order_acquire))
        thread->PresentPosted(frame);
}

void TFullScreenForm::PresentFrame()
{
    if (closed_)
        return;
    if (TRefreshThread* thread = poster_.load(std::memory_order_acquire))
        ShownGameTime = thread->HandedOverGameTime();
    DrawOverlays();
    for (int y = 0; y < kViewHeight; ++y)
        std::memcpy(ViewBitmap.scanLine(y), ColourBuffer[y], sizeof ColourBuffer[y]);
    SlideConsole();
    ShowView();
    ++FrameCounter;
    PaintBox1->update();
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
    // Full screen keeps its own fixed screens whatever the setting.
    return PlaceView(size.width(), size.height(), ConsoleRows(size.height()), WholePixelScaling && !FullScreen);
}

void TFullScreenForm::FillBorders(const QRect& view, int height)
{
    const int w = Screen.width();
    const auto fill = [this](const QRect& r) {
        const QRect clip = r.intersected(Screen.rect());
        for (int y = clip.top(); y <= clip.bottom(); ++y)
            std::memset(reinterpret_cast<uint32_t*>(Screen.scanLine(y)) + clip.left(), 0,
                        size_t(clip.width()) * sizeof(uint32_t));
    };
    fill(QRect(0, 0, w, view.top()));
    fill(QRect(0, view.bottom() + 1, w, height - view.bottom() - 1));
    fill(QRect(0, view.top(), view.left(), view.height()));
    fill(QRect(view.right() + 1, view.top(), w - view.right() - 1, view.height()));
}

void TFullScreenForm::ShowView()
{
    const QSize size = ScreenSize();
    if (Screen.size() != size) {
        Screen = QImage(size, QImage::Format_RGB32);  // only when the window's size changes
        Screen.fill(0);
    }
    const double ratio = FullScreen ? 1.0 : PixelRatio();
    if (Screen.devicePixelRatio() != ratio)
        Screen.setDevicePixelRatio(ratio);
    const int w = size.width(), h = size.height();
    const int r = ConsoleRows(h);
    const TViewPlacement place = Placement();
    const QRect& viewRect = place.Rect;
    if (FullScreen)
        Screen.fill(0);
    if (ScalerOn)
        ScaleDouble(reinterpret_cast<const uint32_t*>(ViewBitmap.constBits()), kViewWidth, kViewWidth, kViewHeight,
                    reinterpret_cast<uint32_t*>(ScaledBitmap.bits()), ScaledWidth);
    if (place.Multiple > 0) {
        // Whole multiples: 1x the view itself, 2x the scaler's picture as it is, more
        // from the scaler's picture (or the view without it) in equal whole blocks.
        FillBorders(viewRect, h - r);
        if (place.Multiple == 1)
            CopyInto(ViewBitmap, Screen, viewRect.left(), viewRect.top());
        else if (ScalerOn && place.Multiple == 2)
            CopyInto(ScaledBitmap, Screen, viewRect.left(), viewRect.top());
        else
            ScaleWholeInto(ScalerOn ? ScaledBitmap : ViewBitmap, Screen, viewRect);
    } else if (ScalerOn) {
        if (FullScreen)
            CopyInto(ScaledBitmap, Screen, 0, 40);
        else
            StretchInto(ScaledBitmap, Screen, viewRect);
    } else {
        if (FullScreen)
            CopyInto(ViewBitmap, Screen, 0, 20);
        else
            StretchInto(ViewBitmap, Screen, viewRect);
    }
    if (ConsoleOffset > 0) {
        if (ConsoleChanged)
            DrawConsoleBitmap();
        StretchInto(ConsoleBitmap, Screen, QRect(0, h + 1 - r, w + 1, r));
    }
}

void TFullScreenForm::DrawConsoleBitmap()
{
    // Drawn again only when the lines change, not every frame.
    ConsoleBitmap.fill(Qt::white);
    QPainter painter(&ConsoleBitmap);
    const QFont font = ConsoleFont();
    painter.setFont(font);
    painter.setPen(Qt::black);
    const int ascent = QFontMetrics(font).ascent();
    auto line = [&](int y, const std::string& text) {
        if (!text.empty())
            painter.drawText(0, y + ascent, QString::fromLatin1(text.data(), qsizetype(text.size())));
    };
    line(107, ConsoleLines[ConsoleEditLine]);
    int y = 94;
    for (int i = ConsoleLogLines - 1; y >= -10; --i, y -= 13)
        line(y, ConsoleLines[size_t(i)]);
    ConsoleChanged = false;
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
    closed_ = false;
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
    if (waitingForBuffers_ && isVisible() && !closed_)
        FormActivate();
}

void TFullScreenForm::FormClose()
{
    closed_ = true;
    if (RefreshThread) {
        // Between frames: a frame waiting for its hand-over goes on without it.
        RefreshThread->Pause();
        RefreshThread->CancelHandOver();
    }
    if (FullScreen && isFullScreen())
        showNormal();
}

void TFullScreenForm::FormMouseMove(int x, int y)
{
    int tileX = 0, tileY = 0;
    ViewToWorld(MouseX, MouseY, tileX, tileY);
    Link->ResendWalkTarget(MouseX, MouseY, tileX, tileY);
    if (const TViewPlacement place = Placement(); place.Multiple > 0) {
        // The view pixel under the mouse; over the borders, the nearest edge pixel.
        const double ratio = PixelRatio();
        const double dx = std::floor((x * ratio - place.Rect.left()) / place.Multiple);
        const double dy = std::floor((y * ratio - place.Rect.top()) / place.Multiple);
        MouseX = int(std::clamp(dx, 0.0, double(kViewWidth - 1)));
        MouseY = int(std::clamp(dy, 0.0, double(kViewHeight - 1)));
        return;
    }
    const int w = PaintBox1->width() > 0 ? PaintBox1->width() : 1;
    const int h = PaintBox1->height() > 0 ? PaintBox1->height() : 1;
    MouseX = x * kViewWidth / w;
    MouseY = y * kViewHeight / h;
}

void TFullScreenForm::WindowToView(int x, int y, int& viewX, int& viewY) const
{
    if (const TViewPlacement place = Placement(); place.Multiple > 0) {
        // As the stretch does, rounded halves to even, through the whole-pixel geometry;
        // over the borders, the nearest edge pixel.
        const double ratio = PixelRatio();
        const double vx = std::nearbyint((x * ratio - place.Rect.left()) / place.Multiple);
        const double vy = std::nearbyint((y * ratio - place.Rect.top()) / place.Multiple);
        viewX = int(std::clamp(vx, 0.0, double(kViewWidth - 1)));
        viewY = int(std::clamp(vy, 0.0, double(kViewHeight - 1)));
        return;
    }
    const int w = PaintBox1->width() > 0 ? PaintBox1->width() : 1;
    const int h = PaintBox1->height() > 0 ? PaintBox1->height() : 1;
    viewX = int(std::nearbyint(double(x) * kViewWidth / w));
    viewY = int(std::nearbyint(double(y) * kViewHeight / h));
}

void TFullScreenForm::FormMouseDown(Qt::MouseButton button, int x, int y)
{
    platform::ConsoleLine("MouseDown:");
    if (button == Qt::RightButton) {
        platform::ConsoleLine(" -right:");
        int vx = 0, vy = 0;
        WindowToView(x, y, vx, vy);
        WalkTo(vx, vy);
    } else if (button == Qt::LeftButton) {
        platform::ConsoleLine(" -left:");
    }
}

void TFullScreenForm::PaintBox1MouseUp(Qt::MouseButton button, int, int)
{
    platform::ConsoleLine("MouseUp:");
    if (button == Qt::RightButton) {
        platform::ConsoleLine(" -right:");
        Link->SendWalkStop();
    } else if (button == Qt::LeftButton) {
        platform::ConsoleLine(" -left:");
    }
}

void TFullScreenForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_X && !event->isAutoRepeat())
        xPressedWithAlt_ = (event->modifiers() & Qt::AltModifier) != 0;
    if (const int key = VirtualKey(*event); key != 0)
        FormKeyDown(key);
    // The typed characters, as single bytes of the game's font.
    const QByteArray text = event->text().toLatin1();
    for (char c : text)
        FormKeyPress(uint8_t(c));
}

void TFullScreenForm::keyReleaseEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat())
        return;  // only a real release ends a held key
    bool alt = (event->modifiers() & Qt::AltModifier) != 0;
    if (event->key() == Qt::Key_X) {
        // Alt+X quits also when Alt comes up a moment before X, as when the chord is
        // typed quickly or sent by a tool: X went down with Alt held.
        alt = alt || xPressedWithAlt_;
        xPressedWithAlt_ = false;
    }
    if (const int key = VirtualKey(*event); key != 0)
        FormKeyUp(key, alt);
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
    if (ShownGameTime != 0)
        picture.setText("Game time", QString::number(ShownGameTime));
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
    const int mx = MouseX < 0 ? 0 : (MouseX >= kViewWidth ? kViewWidth - 1 : MouseX);
    const int my = MouseY < 0 ? 0 : (MouseY >= kViewHeight ? kViewHeight - 1 : MouseY);
    const OwnerRecord p = OwnerBuffer[my][mx];
    const int shape = p.Shape % 1024;
    int wx = 0, wy = 0;
    ViewToWorld(MouseX, MouseY, wx, wy);
    platform::ConsoleLine("Click");
    platform::ConsoleLine("-- Screen  : (" + std::to_string(MouseX) + "," + std::to_string(MouseY) + ")");
    platform::ConsoleLine("-- World   : (" + std::to_string(wx) + "," + std::to_string(wy) + ")");
    platform::ConsoleLine("-- ShapeNum: " + std::to_string(shape));
    platform::ConsoleLine("-- ChunkPos: (" + std::to_string(p.Col) + "," + std::to_string(p.Row) + ")");
    platform::ConsoleLine(std::string("-- Obstacle: (") + TrueFalse(ShapeObstacleX(shape)) + "," +
                          TrueFalse(ShapeObstacleY(shape)) + ")");
    const int extentX = VxShapes ? VxShapes->ExtentX(shape) : 0;
    const int extentY = VxShapes ? VxShapes->ExtentY(shape) : 0;
    platform::ConsoleLine("-- - Extent: (" + std::to_string(extentX) + "," + std::to_string(extentY) + ")");
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
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible() && !closed_)
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

