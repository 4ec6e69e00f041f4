// The game window: shows every picture the client core finishes for the render thread,
// windowed or on a full screen, and translates its keys and mouse to the core.
#pragma once

#include <QImage>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include "client/game_view.h"

class TFullScreenForm;

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

// Caption "vx", black, its own pointer; the view state, the overlays and the
// composition of the screen are TGameView's.
// Full screen keeps the desktop's display mode: the 640 x 480 screen (320 x 240
// without the scaler) is composed as it would be on such a display and shown scaled
// to fit, with black bars.
class TFullScreenForm : public QWidget, public TGameView {
    Q_OBJECT
public:
    TFullScreenForm();
    ~TFullScreenForm() override;

    TPaintBox* PaintBox1;
    QTimer* RetransmitTimer;  // 50 ms, created disabled; the game channel drives it

    // The console panel (TGameView::ConsolePanel), 320 x 120, white, with a 10-pixel font.
    QImage ConsoleBitmap;
    // What the paint box shows: the window's client area, or the full screen. The
    // core composes each frame into it.
    QImage Screen;

    // Main thread: the queued call the core's PostPresent asks for.
    Q_INVOKABLE void PresentPostedFrame();

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
    TPointerGeometry PointerGeometry() const;

    // F12: writes the picture as shown (ShownPicture) as a PNG into ScreenshotFolder
    // and logs "Screenshot saved: <file name>", or why it could not; the whole path
    // goes to standard output.
    void TakeScreenshot() override;
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

    // What the process-wide objects are, for the overlays and the render thread.
    // FormActivate takes them; tests may set them by hand instead.
    void AttachProcessObjects();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    // The screen at the size the frame composes, made anew only when that changes.
    TPixels PrepareScreen();
    void DrawConsoleLines(std::span<const TConsoleText> lines);
    // A screenshot's outcome: head, the file or folder's name, tail in the log; the
    // same with the whole path on standard output.
    void ScreenshotLine(const QString& head, const QString& path, const QString& tail = {});

    bool waitingForBuffers_ = false;  // shown, but refused the picture buffers
};

// The Windows virtual-key code of a key event (the client core's table); 0 for keys
// the game does not know.
int VirtualKey(const QKeyEvent& event);
// The file a screenshot taken at `stamp` ("yyyy-MM-dd_HH-mm-ss") goes to in
// `folder`: "veltharn-<stamp>.png", or "-2", "-3", ... before ".png" when taken
// already; an empty string when none is free.
QString ScreenshotPath(const QString& folder, const QString& stamp);
