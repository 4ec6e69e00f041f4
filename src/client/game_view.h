// The game window's state and the end of each frame, without widgets: the view state,
// the console log and its slide, the speech history, the frame rates, the keys and the
// mouse in view terms, the overlays (speech, gumps, help, performance lines, chat line,
// pointer) drawn into the colour buffer while the render thread waits, and the
// composition of the window's screen from it and the console panel.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "client/frame_end.h"
#include "client/key_map.h"
#include "net/npc_list.h"
#include "view/frame_target.h"
#include "view/minimap.h"

namespace net {
class TGameTimer;
class TGameChannel;
}  // namespace net
class TGumpList;

// What the game window's input sends to the server. The connection layer provides it
// (movement bookkeeping and messages over UDP, chat over TCP); without one, keys
// still act locally and nothing is sent.
class TGameInputLink {
public:
    virtual ~TGameInputLink() = default;
    // The movement tables: a key held since its press.
    virtual bool IsKeyDown(uint8_t key) = 0;
    // Key press and release bookkeeping; arrows send client_keydown / client_keyup.
    virtual void KeyPressed(uint8_t key) = 0;
    virtual void KeyReleased(uint8_t key) = 0;
    // The chat line, as client_chat.
    virtual void SendChat(std::string_view text) = 0;
    // Mouse walking: the view position of the mouse and the target tile.
    virtual void SendWalkTo(int viewX, int viewY, int tileX, int tileY) = 0;
    virtual void ResendWalkTarget(int mouseX, int mouseY, int tileX, int tileY) = 0;
    virtual void SendWalkStop() = 0;
};

// Keeps the key table only: the game window with no server behind it.
class TOfflineInputLink : public TGameInputLink {
public:
    bool IsKeyDown(uint8_t key) override { return keyDown_[key]; }
    void KeyPressed(uint8_t key) override { keyDown_[key] = true; }
    void KeyReleased(uint8_t key) override { keyDown_[key] = false; }
    void SendChat(std::string_view) override {}
    void SendWalkTo(int, int, int, int) override {}
    void ResendWalkTarget(int, int, int, int) override {}
    void SendWalkStop() override {}

private:
    std::array<bool, 256> keyDown_{};
};

// One line of the console panel: its top row and its text (not empty).
struct TConsoleText {
    int Y = 0;
    std::string_view Text;
};

enum class EMouseButton { Left, Right, Other };

class TGameView : public TFrameTarget {
public:
    static constexpr int ConsoleLogLines = 19;
    static constexpr int ConsoleEditLine = 19;  // ConsoleLines' last entry
    static constexpr int ConsoleHeight = 120;   // the console bitmap's rows, and the slide's end
    static constexpr int ConsoleSlideStep = 10;
    static constexpr size_t MaxChatLength = 50;
    static constexpr int SpeechGumpId = 1;
    static constexpr int SpeechGumpLines = 20;

    TGameView();
    ~TGameView() override = default;
    TGameView(const TGameView&) = delete;
    TGameView& operator=(const TGameView&) = delete;

    // CentreX, CentreY (set by the render thread) and MaxLift, shared with it.
    TViewState View;
    bool FullScreen = false;
    bool ShowHelp = false;
    bool ShowPerf = false;
    bool ScalerOn = true;
    // F7: the view kept at its aspect, at the largest whole multiple of 320 x 200 that
    // fits, with black borders; off, it is stretched over the window. Stored in the
    // configuration through WholePixelScalingChanged.
    bool WholePixelScaling = false;
    std::function<void(bool on)> WholePixelScalingChanged;
    // F6: the minimap in the view's top-right corner.
    bool MinimapShown = false;
    // The world overview it shows; without one, only its frame and the dots are drawn.
    // Set on the main thread only.
    std::shared_ptr<const TWorldOverview> Overview;
    // Called when the minimap is switched on, so that the overview is made or loaded
    // if it is not there yet.
    std::function<void()> MinimapWanted;
    // How many lines the speech-history gump is scrolled back from the newest
    // (PageUp/PageDown), 0 to the history's length less one page.
    int32_t SpeechScroll = 0;
    int32_t MouseX = 0, MouseY = 0;  // view pixels, 0..319 and 0..199
    bool ChatTyping = false;
    std::string ChatText;  // at most MaxChatLength characters
    bool ConsoleShown = false;
    int32_t ConsoleOffset = 0;  // 0..ConsoleHeight
    int32_t ConsoleStep = 0;    // +10, -10 or 0
    uint32_t FrameCounter = 0;
    uint32_t FirstFrameTime = 0, LastFrameTime = 0;
    double InstantRate = 0, AverageRate = 0;
    // Log lines 0..18, oldest first, then the console edit line (no length limit).
    std::array<std::string, ConsoleLogLines + 1> ConsoleLines;
    // Set whenever ConsoleLines change, so the console panel is drawn again.
    bool ConsoleChanged = true;
    net::TSpeechHistory SpeechHistory;

    // What the overlays read besides the view; any may be missing (then not drawn).
    net::TNPCList* Actors = nullptr;
    TGumpList* Gumps = nullptr;
    std::mutex* GumpsLock = nullptr;
    net::TGameTimer* Timer = nullptr;
    const net::TGameChannel* Channel = nullptr;  // ping and corrected offset

    // The connection window's log, which caps itself at 100 lines.
    std::function<void(std::string_view line)> ConnectionLog;
    // Where the input goes; the offline link until the connection layer sets its own.
    TGameInputLink* Link = &offlineLink_;
    // The current world's identity line, which picks the speech gump's picture.
    const std::string* WorldIdentity = nullptr;

    int32_t CentreX() const { return View.CentreX.load(std::memory_order_relaxed); }
    int32_t CentreY() const { return View.CentreY.load(std::memory_order_relaxed); }
    int32_t MaxLift() const { return View.MaxLift.load(std::memory_order_relaxed); }

    // Moves the log up one line (the oldest goes), stores the text as the newest and
    // appends it to the connection window's log. Main thread only.
    virtual void AddLogLine(std::string_view text);
    // A line of the client's own making (not one of the protocol's texts), which must
    // show whole: where it is wider than the console panel it goes on over the next
    // console lines, each indented by two blanks and broken after a blank or a path
    // separator where one falls in the line. The connection log gets it whole, once.
    void AddOwnLogLine(std::string_view text);
    // How wide a text is in the console panel's font, in the panel's pixels. Without a
    // window to measure with, every text fits.
    virtual int ConsoleTextWidth(std::string_view /*text*/) const { return 0; }
    static constexpr int ConsoleWidth = 320;  // the console bitmap's columns

    // The pointer frame for a view position: the band (8, 16, 24) grows with the
    // distance from the view centre, the direction (0 north .. 7 north-west) points away.
    static int PointerFrame(int x, int y);
    // The world tile under a view position.
    void ViewToWorld(int x, int y, int& worldX, int& worldY) const;

    // The finishing steps before the copy, in order: speech texts, gumps, frame rates,
    // help, performance lines, chat line, pointer. Inside the hand-over only.
    void DrawOverlays();
    // One step of the console's slide; it stops at 0 and at ConsoleHeight.
    void SlideConsole();
    // Rows of a window `height` rows high given to the console at the current offset.
    int ConsoleRows(int height) const;
    // The console key: opens or closes the panel, which then slides.
    void ToggleConsole();

    // Keys, by virtual-key code (the window translates its key events). Key down goes
    // to the console edit line while the console is shown, else to the chat line
    // while one is typed, else to the movement tables; key press types the chat line;
    // key up ends a movement key, starts a chat line on T and works the switches.
    void FormKeyDown(int key);
    void FormKeyPress(int character);
    void FormKeyUp(int key, bool alt);
    // A key event as the window has it: the virtual-key code (0 for a key the game
    // does not know), whether Alt was held, whether it is the keyboard's repeat, and
    // the characters it typed as single bytes of the game's font. Only a real release
    // ends a held key; Alt+X quits also when Alt comes up a moment before X, as when
    // the chord is typed quickly or sent by a tool: X went down with Alt held.
    void KeyEventDown(int key, bool alt, bool autoRepeat, std::string_view typed);
    void KeyEventUp(int key, bool alt, bool autoRepeat);
    // F4: opens the speech-history gump, or closes it when open.
    void ToggleSpeechGump();
    // PageUp (pages < 0) and PageDown: scroll the speech-history gump while it is open.
    void ScrollSpeechGump(int pages);
    // The furthest the speech-history gump can be scrolled back.
    int MaxSpeechScroll() const;
    // F6: the minimap on or off.
    void ToggleMinimap();
    // F7: whole-pixel scaling on or off, stored through WholePixelScalingChanged.
    void ToggleWholePixelScaling();
    // F12: writes the picture as shown to a file; a window with a screen does it.
    virtual void TakeScreenshot() {}
    // Switches the window cannot do without a screen.
    virtual void SetFullScreen(bool on) { FullScreen = on; }
    // Alt+X: close the window and end the application.
    virtual void Quit() {}

    // Mouse walking, in view pixels; the window converts its coordinates.
    int32_t WalkSentX = 0, WalkSentY = 0;
    void WalkTo(int viewX, int viewY);
    // The mouse, in view pixels. A move re-sends the walk target for the position
    // before it and then keeps the new one; a right press walks there, its release
    // stops. Each press and release is reported on standard output.
    void MouseMove(int viewX, int viewY);
    // The walk target re-sent for the mouse where it is (each move, and each
    // retransmission tick).
    void ResendWalkTarget();
    void MouseDown(EMouseButton button, int viewX, int viewY);
    void MouseUp(EMouseButton button);
    // A left click: the report on the pixel under the mouse on standard output.
    void Click();

    // --- the end of the frame ---

    // Whether the window is closed: a frame handed over now is not drawn.
    bool Closed = true;
    // TFrameTarget, the render thread's side of the hand-over.
    TViewState& SharedView() override { return View; }
    // Render thread: keeps the thread and frame for PresentPosted and asks the window
    // (PostHandOver) for a queued call on the main thread.
    void PostPresent(TRefreshThread& thread, uint32_t frame) override;
    // Main thread, the queued call: the thread whose hand-over was posted, and its frame.
    TRefreshThread* PostedHandOver(uint32_t& frame) const;
    // Steps: overlays, console slide, the screen composed (ScreenBuffer), ScreenComposed,
    // frame counter. Nothing is allocated.
    void PresentFrame() override;
    // What the window gives the frame; unset, that step is left out.
    std::function<void()> PostHandOver;      // a queued call that runs PresentPosted
    std::function<TPixels()> ScreenBuffer;   // the screen, at its size of now
    std::function<void()> ScreenComposed;    // the screen is ready to be shown
    // Draws the console lines in the panel's font into ConsolePanel, black on white.
    std::function<void(std::span<const TConsoleText> lines)> DrawConsoleText;

    // The console panel: 320 x 120, white, drawn again when the lines change.
    std::vector<uint32_t> ConsolePanel;
    TPixels ConsolePixels() { return {ConsolePanel.data(), ConsoleWidth, ConsoleHeight, ConsoleWidth}; }
    // The lines the panel shows and where: the edit line at row 107, then the log
    // from the newest at row 94 upwards, 13 rows apart, while a line still shows.
    // Empty lines are left out.
    size_t ConsoleLayout(std::array<TConsoleText, ConsoleLogLines + 1>& out) const;
    // The scaler's 640 x 400 picture of the colour buffer, while the scaler is on.
    std::vector<uint32_t> Scaled;
    // Where the view lies on a screen of `width` x `height` now. Full screen keeps
    // its own fixed screens whatever the setting.
    TViewPlacement Placement(int width, int height) const;
    // Composes the screen: the view (scaled, stretched, or in whole multiples with black
    // borders; on the full screen at its fixed place) and the console panel below it.
    void ComposeScreen(TPixels screen);

private:
    void DrawConsolePanel();

    std::atomic<TRefreshThread*> poster_{nullptr};  // the thread whose hand-over is posted
    std::atomic<uint32_t> postedFrame_{0};          // and its frame

    // Moves the console log up one line and stores the text as the newest.
    void PushConsoleLine(std::string_view text);

    TOfflineInputLink offlineLink_;
    bool xPressedWithAlt_ = false;  // X is down, and Alt was held when it went down
    uint32_t speechSeen_ = 0;  // the history's count when the gump was last drawn

    void DrawSpeech();
    void DrawGumps();
    void UpdateFrameRates();
    void DrawHelp();
    void DrawPerformance();
};
