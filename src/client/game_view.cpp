// The game window's model: overlays, console, keys, mouse and the end of the frame.
#include "client/game_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "net/game_channel.h"
#include "net/game_timer.h"
#include "client/gump_list.h"
#include "platform/console.h"
#include "platform/rounding.h"
#include "platform/tick_count.h"
#include "view/scaler.h"
#include "view/world_renderer.h"

namespace {

constexpr int TextFont = 1;
constexpr int SpeechGumpFont = 5;

constexpr const char* HelpLines[] = {
    "F1: This Help Screen",       "F2: Toggle Frame Limiter", "F3: Toggle Perf Info",
    "F4: Toggle Chat Log",        "F5: Toggle Procedural Scaler", "ALT-X: Quit",
    "T: Type Chat Message",       "Arrows: Walk",             "R-Mouse: Walk",
    "F10: Toggle Fullscreen",
};

// Writes one line into a fixed buffer and draws it: no allocation per frame.
template <typename... Args>
void DrawLine(int x, int y, const char* format, Args... args)
{
    char line[96];
    const int n = std::snprintf(line, sizeof line, format, args...);
    if (n > 0)
        VxShapes->DrawText(std::string_view(line, size_t(n) < sizeof line ? size_t(n) : sizeof line - 1), TextFont, x, y);
}

constexpr int ScaledWidth = 2 * kViewWidth, ScaledHeight = 2 * kViewHeight;
constexpr uint32_t ConsolePaper = 0xFFFFFFFF;  // white, as the panel's bitmap holds it

const char* TrueFalse(bool v) { return v ? "TRUE" : "FALSE"; }

}  // namespace

TGameView::TGameView()
    : ConsolePanel(size_t(ConsoleWidth) * ConsoleHeight, ConsolePaper), Scaled(size_t(ScaledWidth) * ScaledHeight, 0)
{
}

void TGameView::PushConsoleLine(std::string_view text)
{
    for (int i = 0; i + 1 < ConsoleLogLines; ++i)
        ConsoleLines[size_t(i)].swap(ConsoleLines[size_t(i) + 1]);
    ConsoleLines[ConsoleLogLines - 1].assign(text);
    ConsoleChanged = true;
}

void TGameView::AddLogLine(std::string_view text)
{
    PushConsoleLine(text);
    if (ConnectionLog)
        ConnectionLog(text);
}

void TGameView::AddOwnLogLine(std::string_view text)
{
    constexpr std::string_view Indent = "  ";
    constexpr std::string_view Breaks = " /\\";
    std::string piece;
    std::string_view rest = text;
    bool first = true;
    do {
        // The longest front of the rest that fits after the indent, at least one
        // character; then back to the last break inside it when the rest goes on.
        const std::string_view indent = first ? std::string_view() : Indent;
        auto fits = [&](size_t n) {
            piece.assign(indent).append(rest.substr(0, n));
            return ConsoleTextWidth(piece) <= ConsoleWidth;
        };
        size_t n = std::min<size_t>(1, rest.size());
        while (n < rest.size() && fits(n + 1))
            ++n;
        if (n < rest.size())
            if (const size_t at = rest.substr(0, n).find_last_of(Breaks); at != std::string_view::npos && at > 0)
                n = at + 1;
        std::string_view head = rest.substr(0, n);
        while (!head.empty() && head.back() == ' ')
            head.remove_suffix(1);
        piece.assign(indent).append(head);
        PushConsoleLine(piece);
        rest.remove_prefix(n);
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        first = false;
    } while (!rest.empty());
    if (ConnectionLog)
        ConnectionLog(text);
}

int TGameView::PointerFrame(int x, int y)
{
    const double dx = (x - 160) / 160.0;
    const double dy = (y - 100) / 100.0;
    const double r = std::sqrt(dx * dx + dy * dy);
    int base = 8;
    if (r > 0.4)
        base += 8;
    if (r > 0.8)
        base += 8;
    int direction;
    if (platform::RoundHalfEven(dy * 25) == 0)
        direction = dx > 0 ? 2 : 6;
    else if (platform::RoundHalfEven(dx * 40) == 0)
        direction = dy > 0 ? 4 : 0;
    else if (std::fabs(dx / dy) > 1.6)
        direction = dx > 0 ? 2 : 6;
    else if (std::fabs(dy / dx) > 1.8)
        direction = dy > 0 ? 4 : 0;
    else if (dx > 0)
        direction = dy > 0 ? 3 : 1;
    else
        direction = dy > 0 ? 5 : 7;
    return base + direction;
}

void TGameView::ViewToWorld(int x, int y, int& worldX, int& worldY) const
{
    worldX = CentreX() + (x - 160) / 8;  // truncates toward zero
    worldY = CentreY() + (y - 100) / 8;
}

void TGameView::DrawSpeech()
{
    if (Actors == nullptr)
        return;
    const uint32_t now = platform::TickCount();
    const int cx = CentreX(), cy = CentreY();
    std::lock_guard<std::mutex> hold(Actors->Lock());
    for (net::TNPCNode* n = Actors->Head(); n != nullptr; n = n->Next) {
        // Compared as a signed difference, so a time past the tick count's wrap holds.
        if (int32_t(now - n->SpeechUntil) >= 0)
            n->Speech.Length = 0;
        if (n->Speech.Length == 0)
            continue;
        const int x = (int(n->X) - cx + 20) * 8 - 4 * int(n->Speech.Length);
        const int y = (int(n->Y) - cy + 12) * 8 - 27;
        VxShapes->DrawText(n->Speech.View(), TextFont, x, y);
    }
}

void TGameView::DrawGumps()
{
    if (Gumps == nullptr || GumpsLock == nullptr)
        return;
    std::lock_guard<std::mutex> hold(*GumpsLock);
    for (GumpNode* n = Gumps->Head(); n != nullptr; n = n->next) {
        const TGumpRecord& g = *n->data;
        VxShapes->DrawGump(g.x, g.y, g.gump, 0);
        if (g.id != SpeechGumpId)
            continue;
        // Scrolled back, the gump keeps showing the same lines while new ones arrive.
        if (SpeechScroll > 0 && SpeechHistory.Count != speechSeen_)
            SpeechScroll = std::min<int64_t>(int64_t(SpeechScroll) + (SpeechHistory.Count - speechSeen_),
                                             MaxSpeechScroll());
        speechSeen_ = SpeechHistory.Count;
        const uint32_t scroll = uint32_t(SpeechScroll);
        for (uint32_t k = 0; scroll + k < SpeechHistory.Count && k < uint32_t(SpeechGumpLines); ++k) {
            VxShapes->DrawText(SpeechHistory.Texts[net::TSpeechHistory::Size - 1 - scroll - k].View(),
                               SpeechGumpFont, g.x + 44, g.y + 35 + 6 * int(k));
        }
    }
}

void TGameView::UpdateFrameRates()
{
    uint32_t now = platform::TickCount();
    if (FrameCounter == 0) {
        FirstFrameTime = now;
        now += 10;
    }
    // Two frames in one tick (limiter off) keep the last rate instead of dividing by 0.
    if (const uint32_t since = now - LastFrameTime; since != 0)
        InstantRate = 1000.0 / since;
    LastFrameTime = now;
    if (ShowPerf) {
        if (const uint32_t running = now - FirstFrameTime; running != 0)
            AverageRate = FrameCounter / (running / 1000.0);
    }
}

void TGameView::DrawHelp()
{
    VxShapes->DrawText("Veltharn Engine Help", TextFont, 1, 10);
    int y = 20;
    for (const char* line : HelpLines) {
        VxShapes->DrawText(line, TextFont, 10, y);
        y += 10;
    }
}

void TGameView::DrawPerformance()
{
    DrawLine(1, 10, "Inst: %.2f", InstantRate);
    DrawLine(1, 20, "Ave: %.2f", AverageRate);
    DrawLine(1, 30, "Frames: %u", unsigned(FrameCounter));
    DrawLine(1, 40, "maxLift: %d", int(MaxLift()));
    DrawLine(1, 50, "WX: %d WY: %d", int(CentreX()), int(CentreY()));
    DrawLine(1, 60, "Considered: %u Drawn: %u", unsigned(ObjectsConsidered.load(std::memory_order_relaxed)),
             unsigned(ObjectsDrawn.load(std::memory_order_relaxed)));
    const long long ping = Channel != nullptr ? (long long)Channel->Ping() : 0;
    const long long corrected = Channel != nullptr ? (long long)Channel->CorrectedOffset() : 0;
    DrawLine(1, 70, "Ping: %lld", ping);
    DrawLine(1, 80, "cc: %lld", corrected);
    DrawLine(1, 90, "GTPing: %d", Timer != nullptr ? int(Timer->AveragePing()) : 0);
}

void TGameView::DrawOverlays()
{
    DrawSpeech();
    DrawGumps();
    UpdateFrameRates();
    if (ShowHelp)
        DrawHelp();
    if (ShowPerf)
        DrawPerformance();
    if (ChatTyping) {
        char line[2 + MaxChatLength + 1];
        const size_t n = ChatText.size() < MaxChatLength ? ChatText.size() : MaxChatLength;
        line[0] = ':';
        line[1] = ' ';
        ChatText.copy(line + 2, n);
        VxShapes->DrawText(std::string_view(line, n + 2), TextFont, 1, 170);
    }
    if (MinimapShown)
        DrawMinimap(&ColourBuffer[0][0], Overview.get(), CentreX(), CentreY(), Actors);
    VxShapes->DrawPointer(MouseX, MouseY, PointerFrame(MouseX, MouseY));
}

void TGameView::SlideConsole()
{
    // The console key pressed twice between two frames turns the slide round at an
    // end it has not left yet (0 or 120): it stops there instead of sliding on past it.
    ConsoleOffset += ConsoleStep;
    if (ConsoleOffset <= 0 || ConsoleOffset >= ConsoleHeight) {
        ConsoleOffset = std::clamp(ConsoleOffset, 0, int32_t(ConsoleHeight));
        ConsoleStep = 0;
    }
}

int TGameView::ConsoleRows(int height) const { return platform::RoundHalfEven(ConsoleOffset / 320.0 * height); }

void TGameView::ToggleConsole()
{
    ConsoleShown = !ConsoleShown;
    ConsoleStep = ConsoleShown ? ConsoleSlideStep : -ConsoleSlideStep;
}

void TGameView::FormKeyDown(int key)
{
    if (ConsoleShown) {
        std::string& edit = ConsoleLines[ConsoleEditLine];
        if (key == vk::Enter) {
            const std::string line = edit;
            edit.clear();
            AddLogLine(line);
            return;
        }
        if (key == vk::Space || (key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
            edit.push_back(char(key));
            ConsoleChanged = true;
            return;
        }
    }
    if (ChatTyping) {
        if (key == vk::Enter) {
            Link->SendChat(ChatText);
            ChatTyping = false;
            ChatText.clear();
        } else if (key == vk::Escape) {
            ChatTyping = false;
            ChatText.clear();
        }
        return;
    }
    if (key < 0 || key > 255 || Link->IsKeyDown(uint8_t(key)))
        return;  // held: keyboard auto-repeat
    Link->KeyPressed(uint8_t(key));
    uint8_t facing = 0;
    switch (key) {
    case vk::Up: facing = 2; break;
    case vk::Right: facing = 1; break;
    case vk::Down: facing = 8; break;
    case vk::Left: facing = 4; break;
    default: return;
    }
    if (Actors == nullptr)
        return;
    std::lock_guard<std::mutex> hold(Actors->Lock());
    net::TNPCNode* player = Actors->FindEntry(-1);
    player->Flags = net::FlagMoving;
    player->Facing = facing;
}

void TGameView::FormKeyPress(int character)
{
    if (!ChatTyping)
        return;
    if (ChatText.size() < MaxChatLength && character > 26 && character <= 125)
        ChatText.push_back(char(character));
    else if (character == vk::Backspace && !ChatText.empty())
        ChatText.pop_back();
}

void TGameView::KeyEventDown(int key, bool alt, bool autoRepeat, std::string_view typed)
{
    if (key == vk::X && !autoRepeat)
        xPressedWithAlt_ = alt;
    if (key != 0)
        FormKeyDown(key);
    for (char c : typed)
        FormKeyPress(uint8_t(c));
}

void TGameView::KeyEventUp(int key, bool alt, bool autoRepeat)
{
    if (autoRepeat)
        return;
    if (key == vk::X) {
        alt = alt || xPressedWithAlt_;
        xPressedWithAlt_ = false;
    }
    if (key != 0)
        FormKeyUp(key, alt);
}

void TGameView::ToggleSpeechGump()
{
    if (Gumps == nullptr || GumpsLock == nullptr)
        return;
    std::lock_guard<std::mutex> hold(*GumpsLock);
    if (Gumps->Find(SpeechGumpId) != nullptr) {
        Gumps->Remove(SpeechGumpId);
        return;
    }
    const bool olderPicture =
        WorldIdentity != nullptr && (*WorldIdentity == "AMBER THORN" || *WorldIdentity == "MARROW REACH");
    auto gump = std::make_unique<TGumpRecord>();
    gump->id = SpeechGumpId;
    gump->x = 40;
    gump->y = 20;
    gump->gump = olderPicture ? 49 : 54;
    Gumps->Insert(gump);
    SpeechScroll = 0;  // opens on the newest lines
}

int TGameView::MaxSpeechScroll() const
{
    const uint32_t held = std::min<uint32_t>(SpeechHistory.Count, net::TSpeechHistory::Size);
    return held > uint32_t(SpeechGumpLines) ? int(held) - SpeechGumpLines : 0;
}

void TGameView::ScrollSpeechGump(int pages)
{
    if (Gumps == nullptr || GumpsLock == nullptr)
        return;
    {
        std::lock_guard<std::mutex> hold(*GumpsLock);
        if (Gumps->Find(SpeechGumpId) == nullptr)
            return;
    }
    // PageUp goes back to older lines, PageDown towards the newest.
    const int64_t wanted = int64_t(SpeechScroll) - int64_t(pages) * SpeechGumpLines;
    SpeechScroll = int32_t(std::clamp<int64_t>(wanted, 0, MaxSpeechScroll()));
    speechSeen_ = SpeechHistory.Count;
}

void TGameView::ToggleMinimap()
{
    MinimapShown = !MinimapShown;
    if (MinimapShown && MinimapWanted)
        MinimapWanted();
}

void TGameView::ToggleWholePixelScaling()
{
    WholePixelScaling = !WholePixelScaling;
    if (WholePixelScalingChanged)
        WholePixelScalingChanged(WholePixelScaling);
}

void TGameView::FormKeyUp(int key, bool alt)
{
    if (!ChatTyping && key >= 0 && key <= 255 && Link->IsKeyDown(uint8_t(key))) {
        Link->KeyReleased(uint8_t(key));
        if (key == vk::T) {
            ChatTyping = true;
            ChatText.clear();
        }
    }
    switch (key) {
    case vk::F10: SetFullScreen(!FullScreen); break;
    case vk::F1: ShowHelp = !ShowHelp; break;
    case vk::F2: FrameLimiter.store(!FrameLimiter.load(std::memory_order_relaxed), std::memory_order_relaxed); break;
    case vk::F3: ShowPerf = !ShowPerf; break;
    case vk::F4: ToggleSpeechGump(); break;
    case vk::F5: ScalerOn = !ScalerOn; break;
    case vk::F6: ToggleMinimap(); break;
    case vk::F7: ToggleWholePixelScaling(); break;
    case vk::F12: TakeScreenshot(); break;
    case vk::PageUp: ScrollSpeechGump(-1); break;
    case vk::PageDown: ScrollSpeechGump(1); break;
    case vk::Home: View.MaxLift.store(MaxLift() + 1 > 15 ? 15 : MaxLift() + 1, std::memory_order_relaxed); break;
    case vk::End:
        if (MaxLift() > 0)
            View.MaxLift.store(MaxLift() - 1, std::memory_order_relaxed);
        break;
    case vk::Console: ToggleConsole(); break;
    case vk::X:
        if (alt)
            Quit();
        break;
    default: break;
    }
}

void TGameView::WalkTo(int viewX, int viewY)
{
    WalkSentX = viewX;
    WalkSentY = viewY;
    int tileX = 0, tileY = 0;
    ViewToWorld(viewX, viewY, tileX, tileY);
    Link->SendWalkTo(viewX, viewY, tileX, tileY);
}

void TGameView::ResendWalkTarget()
{
    int tileX = 0, tileY = 0;
    ViewToWorld(MouseX, MouseY, tileX, tileY);
    Link->ResendWalkTarget(MouseX, MouseY, tileX, tileY);
}

void TGameView::MouseMove(int viewX, int viewY)
{
    ResendWalkTarget();
    MouseX = viewX;
    MouseY = viewY;
}

void TGameView::MouseDown(EMouseButton button, int viewX, int viewY)
{
    platform::ConsoleLine("MouseDown:");
    if (button == EMouseButton::Right) {
        platform::ConsoleLine(" -right:");
        WalkTo(viewX, viewY);
    } else if (button == EMouseButton::Left) {
        platform::ConsoleLine(" -left:");
    }
}

void TGameView::MouseUp(EMouseButton button)
{
    platform::ConsoleLine("MouseUp:");
    if (button == EMouseButton::Right) {
        platform::ConsoleLine(" -right:");
        Link->SendWalkStop();
    } else if (button == EMouseButton::Left) {
        platform::ConsoleLine(" -left:");
    }
}

void TGameView::Click()
{
    const OwnerRecord p = PickOwner({MouseX, MouseY});
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

// --- the end of the frame ---

void TGameView::PostPresent(TRefreshThread& thread, uint32_t frame)
{
    // Render thread. The window's queued call carries nothing: Qt's event queue hands
    // objects between threads under locks ThreadSanitizer cannot see, so nothing of
    // ours may travel inside it. The thread waits for the call on its own lock, which
    // also carries the buffers over. A stale call of a cancelled frame that runs after
    // this one was posted presents this one, which is drawn and waiting; the later
    // call then finds nothing to do.
    poster_.store(&thread, std::memory_order_release);
    postedFrame_.store(frame, std::memory_order_release);
    if (PostHandOver)
        PostHandOver();
}

TRefreshThread* TGameView::PostedHandOver(uint32_t& frame) const
{
    frame = postedFrame_.load(std::memory_order_acquire);
    return poster_.load(std::memory_order_acquire);
}

void TGameView::PresentFrame()
{
    if (Closed)
        return;
    DrawOverlays();
    SlideConsole();
    if (ScreenBuffer)
        ComposeScreen(ScreenBuffer());
    ++FrameCounter;
    if (ScreenComposed)
        ScreenComposed();
}

TViewPlacement TGameView::Placement(int width, int height) const
{
    return PlaceView(width, height, ConsoleRows(height), WholePixelScaling && !FullScreen);
}

void TGameView::ComposeScreen(TPixels screen)
{
    const int w = screen.Width, h = screen.Height;
    const int r = ConsoleRows(h);
    const TViewPlacement place = Placement(w, h);
    const TRect& viewRect = place.Rect;
    // The scaler and every copy read the colour buffer itself.
    const TConstPixels view(&ColourBuffer[0][0], kViewWidth, kViewHeight, kViewWidth);
    const TConstPixels scaled(Scaled.data(), ScaledWidth, ScaledHeight, ScaledWidth);
    if (FullScreen)
        FillRect(screen, {0, 0, w, h}, 0);
    // At 2x the scaler writes straight into the screen; otherwise into its own picture,
    // which the stretch or the whole-pixel scaling then reads.
    const bool scaleIntoScreen = ScalerOn && place.Multiple == 2;
    if (ScalerOn && !scaleIntoScreen)
        ScaleDouble(view.Bits, kViewWidth, kViewWidth, kViewHeight, Scaled.data(), ScaledWidth);
    if (place.Multiple > 0) {
        // Whole multiples: 1x the view itself, 2x the scaler's picture as it is, more
        // from the scaler's picture (or the view without it) in equal whole blocks.
        const int area = h - r;
        FillRect(screen, {0, 0, w, viewRect.Y}, 0);
        FillRect(screen, {0, viewRect.Bottom() + 1, w, area - viewRect.Bottom() - 1}, 0);
        FillRect(screen, {0, viewRect.Y, viewRect.X, viewRect.Height}, 0);
        FillRect(screen, {viewRect.Right() + 1, viewRect.Y, w - viewRect.Right() - 1, viewRect.Height}, 0);
        if (place.Multiple == 1)
            CopyInto(view, screen, viewRect.X, viewRect.Y);
        else if (scaleIntoScreen) {
            ScaleDouble(view.Bits, kViewWidth, kViewWidth, kViewHeight, screen.Row(viewRect.Y) + viewRect.X,
                        screen.Pitch);
            // The two rows the scaler leaves, as its own picture holds them: black.
            FillRect(screen, {viewRect.X, viewRect.Y + ScaledHeight - 2, ScaledWidth, 2}, 0);
        }
        else
            ScaleWholeInto(ScalerOn ? scaled : view, screen, viewRect);
    } else if (ScalerOn) {
        if (FullScreen)
            CopyInto(scaled, screen, 0, 40);
        else
            StretchInto(scaled, screen, viewRect);
    } else {
        if (FullScreen)
            CopyInto(view, screen, 0, 20);
        else
            StretchInto(view, screen, viewRect);
    }
    if (ConsoleOffset > 0) {
        if (ConsoleChanged)
            DrawConsolePanel();
        StretchInto(ConsolePixels(), screen, {0, h + 1 - r, w + 1, r});
    }
}

size_t TGameView::ConsoleLayout(std::array<TConsoleText, ConsoleLogLines + 1>& out) const
{
    size_t n = 0;
    auto line = [&](int y, const std::string& text) {
        if (!text.empty())
            out[n++] = {y, text};
    };
    line(107, ConsoleLines[ConsoleEditLine]);
    int y = 94;
    for (int i = ConsoleLogLines - 1; y >= -10; --i, y -= 13)
        line(y, ConsoleLines[size_t(i)]);
    return n;
}

void TGameView::DrawConsolePanel()
{
    // Drawn again only when the lines change, not every frame.
    std::fill(ConsolePanel.begin(), ConsolePanel.end(), ConsolePaper);
    std::array<TConsoleText, ConsoleLogLines + 1> lines;
    const size_t n = ConsoleLayout(lines);
    if (DrawConsoleText)
        DrawConsoleText(std::span<const TConsoleText>(lines.data(), n));
    ConsoleChanged = false;
}
