// The game window: finishes every picture of the render thread (overlays, pointer,
// copy, scaling, console panel) and shows it, windowed or on a full screen.
#pragma once

#include <QImage>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include "window/game_view.h"

class TFullScreenForm;

// Where the view goes on a screen of `width` x `height` pixels whose bottom
// `consoleRows` rows belong to the console panel.
//
//   stretch (whole-pixel scaling off, or not even 1x fits): the described view
//     rectangle (0, 0) to (width + 1, height + 1 - consoleRows), Multiple 0;
//   whole-pixel: 320m x 200m for the largest m with 320m <= width and
//     200m <= height - consoleRows, centred in that area; the rest is black border.
struct TViewPlacement {
    QRect Rect;
    int Multiple = 0;
};
TViewPlacement PlaceView(int width, int height, int consoleRows, bool wholePixel);

// The paint box: shows the window's finished screen and passes the mouse on.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(TFullScreenForm* form);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    TFullScreenForm* form_;
};

// Caption "vx", black, its own pointer; the view state and overlays are TGameView's.
// Full screen keeps the desktop's display mode: the 640 x 480 screen (320 x 240
// without the scaler) is composed as it would be on such a display and shown scaled
// to fit, with black bars.
class TFullScreenForm : public QWidget, public TGameView, public TFrameTarget {
    Q_OBJECT
public:
    TFullScreenForm();
    ~TFullScreenForm() override;

    TPaintBox* PaintBox1;
    QTimer* RetransmitTimer;  // 50 ms, created disabled; the game channel drives it

    QImage ViewBitmap;     // 320 x 200: the colour buffer of the last frame
    QImage ConsoleBitmap;  // 320 x 120, white, with a 10-pixel font
    QImage ScaledBitmap;   // 640 x 400, while the scaler is on
    // What the paint box shows: the window's client area, or the full screen.
    QImage Screen;

    // TFrameTarget: the render thread's side of the hand-over.
    TViewState& View() override { return TGameView::View; }
    void PostPresent(TRefreshThread& thread, uint32_t frame) override;
    // Main thread: the queued call PostPresent asks for.
    Q_INVOKABLE void PresentPostedFrame();
    // Steps: overlays, copy into the view bitmap, console slide, show, frame counter.
    void PresentFrame() override;

    void AddLogLine(std::string_view text) override;
    // In the console panel's font.
    int ConsoleTextWidth(std::string_view text) const override;
    void SetFullScreen(bool on) override;
    void Quit() override;
    // The size of the picture the frame composes: the paint box in device pixels, or
    // the full screen.
    QSize ScreenSize() const;
    // Device pixels per paint-box unit: above 1 on high-density displays, where the
    // screen is composed at the display's own resolution and shown unscaled.
    double PixelRatio() const;
    // Where the view lies on the screen now; the mouse maps through the same geometry.
    TViewPlacement Placement() const;

    // F12: writes the picture as shown (ShownPicture) as a PNG into ScreenshotFolder
    // and logs "Screenshot saved: <file name>", or why it could not; the whole path
    // goes to standard output. A picture of a frame the render thread drew carries
    // that frame's game time in ms as the PNG text "Game time": the animations and
    // the colour cycle follow it, so pictures of two clients that name the same
    // half second show the same moment of the world.
    void TakeScreenshot() override;
    // The game time of the frame shown; 0 while none came from the render thread.
    uint32_t ShownGameTime = 0;
    // The folder screenshots go to: "Veltharn" in the user's pictures folder unless set.
    QString ScreenshotFolder;
    // The picture the paint box shows, pixel for pixel at the display's resolution.
    QImage ShownPicture() const;

    // Window events. FormActivate runs on every showing and activation.
    void FormActivate();
    // The map viewer has finished making a map: a game that was refused the picture
    // buffers for it starts now.
    void PictureBuffersFreed();
    void FormClose();
    void PaintBox1Click();
    // Mouse events in paint-box coordinates.
    void FormMouseMove(int x, int y);
    void FormMouseDown(Qt::MouseButton button, int x, int y);
    void PaintBox1MouseUp(Qt::MouseButton button, int x, int y);
    // A paint-box position in view pixels, rounded halves to even.
    void WindowToView(int x, int y, int& viewX, int& viewY) const;

    // What the process-wide objects are, for the overlays and the render thread.
    // FormActivate takes them; tests may set them by hand instead.
    void AttachProcessObjects();

    // Whether the window is closed: a frame handed over now is not drawn.
    bool Closed() const { return closed_; }

private:
    std::atomic<TRefreshThread*> poster_{nullptr};  // the thread whose hand-over is posted
    std::atomic<uint32_t> postedFrame_{0};          // and its frame

public:

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void ShowView();
    void FillBorders(const QRect& view, int height);
    void DrawConsoleBitmap();
    // A screenshot's outcome: head, the file or folder's name, tail in the log; the
    // same with the whole path on standard output.
    void ScreenshotLine(const QString& head, const QString& path, const QString& tail = {});

    bool closed_ = true;
    bool waitingForBuffers_ = false;  // shown, but refused the picture buffers
    bool xPressedWithAlt_ = false;  // X is down, and Alt was held when it went down
};

// The Windows virtual-key code of a key event; 0 for keys the game does not know.
int VirtualKey(const QKeyEvent& event);

// Nearest-pixel stretch of a whole picture into a rectangle of `dst` (clipped to it),
// as a window's stretch-draw does. Nothing is allocated.
void StretchInto(const QImage& src, QImage& dst, const QRect& rect);
// Copies a picture unscaled into `dst` at (x, y), clipped.
void CopyInto(const QImage& src, QImage& dst, int x, int y);
// Nearest-pixel scaling of a whole picture into a rectangle of `dst` (clipped to it)
// with exact integer steps: destination column x takes source column
// x * source width / rect width, so every source pixel of a whole multiple becomes
// a block of the same size. Nothing is allocated.
void ScaleWholeInto(const QImage& src, QImage& dst, const QRect& rect);
// The file a screenshot taken at `stamp` ("yyyy-MM-dd_HH-mm-ss") goes to in
// `folder`: "veltharn-<stamp>.png", or "-2", "-3", ... before ".png" when taken
// already; an empty string when none is free.
QString ScreenshotPath(const QString& folder, const QString& stamp);
