// The game window's keys and mouse on the fake clock: what they send, and what they switch.
#include "window/game_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/game_channel.h"
#include "net/game_timer.h"
#include "net/message_types.h"
#include "net/npc_list.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "view/render_thread.h"
#include "window/game_view.h"
#include "window/gump_list.h"
#include "window/virtual_key.h"

namespace {

struct Sent {
    uint32_t Type;
    net::TMoveRecord Move;
};

class GameInput : public ::testing::Test {
protected:
    GameInput() : clock(500000), channel(timer), input(view, channel)
    {
        channel.SetSendDatagram([this](std::string_view m) {
            const uint32_t type = net::TVxProtocolFormat::ExtractType(m);
            udp.push_back({type, net::ReadMoveRecord(m)});
        });
        channel.LoginAccepted();
        input.SendChat = [this](std::string_view text) { chat.emplace_back(text); };
        input.Actors = &actors;
        input.Gumps = &gumps;
        input.GumpsLock = &gumpsLock;
        view.View.CentreX = 940;
        view.View.CentreY = 1220;
    }

    // A key pressed and released, with time between so the flood guard stays quiet.
    void Tap(int key, bool alt = false)
    {
        input.FormKeyDown(key);
        clock.Advance(60);
        input.FormKeyUp(key, alt);
        clock.Advance(60);
    }

    platform::FakeClock clock;
    platform::ConsoleCapture console;
    net::TGameTimer timer;
    net::TGameChannel channel;
    net::TNPCList actors;
    TGumpList gumps;
    std::mutex gumpsLock;
    TGameView view;
    TGameInput input;
    std::vector<Sent> udp;
    std::vector<std::string> chat;
};

TEST_F(GameInput, TheConsoleTakesLettersAsCapitalsAndEnterLogsWithoutChatting)
{
    Tap(vk::Console);
    ASSERT_TRUE(view.ConsoleShown);
    Tap(vk::T);
    Tap(vk::Space);
    Tap('7');
    Tap(0xBA);  // other keys go on to movement bookkeeping, but type nothing
    EXPECT_EQ(view.ConsoleLines[TGameView::ConsoleEditLine], "T 7");
    EXPECT_FALSE(view.ChatTyping);  // T's press went to the console, so its release starts no chat

    view.ChatTyping = true;
    input.FormKeyDown(vk::Return);
    EXPECT_EQ(view.ConsoleLines[TGameView::ConsoleEditLine], "");
    EXPECT_EQ(view.ConsoleLines[TGameView::ConsoleEditLine - 1], "T 7");
    EXPECT_TRUE(chat.empty());
    EXPECT_TRUE(view.ChatTyping);
}

TEST_F(GameInput, ChatLinesAreTypedCappedAndSentOnEnter)
{
    Tap(vk::T);
    ASSERT_TRUE(view.ChatTyping);
    for (int c : {'h', 'i', 26, 126, 200, '!'})
        input.FormKeyPress(c);
    EXPECT_EQ(view.ChatText, "hi!");
    input.FormKeyPress(vk::Back);
    EXPECT_EQ(view.ChatText, "hi");
    for (int i = 0; i < 60; ++i)
        input.FormKeyPress('x');
    EXPECT_EQ(view.ChatText.size(), TGameView::MaxChatLength);
    input.FormKeyDown(vk::Return);
    ASSERT_EQ(chat.size(), 1u);
    EXPECT_EQ(chat[0], "hi" + std::string(48, 'x'));
    EXPECT_FALSE(view.ChatTyping);
    EXPECT_EQ(view.ChatText, "");

    Tap(vk::T);
    input.FormKeyPress('a');
    input.FormKeyDown(vk::Escape);
    EXPECT_FALSE(view.ChatTyping);
    EXPECT_EQ(chat.size(), 1u);
    input.FormKeyPress(vk::Back);  // an empty line stays empty; outside chat nothing is typed
    EXPECT_EQ(view.ChatText, "");
}

TEST_F(GameInput, WhileChattingArrowsDoNothingAndSwitchesStillAct)
{
    Tap(vk::T);
    udp.clear();
    Tap(vk::Up);
    EXPECT_TRUE(udp.empty());
    EXPECT_FALSE(channel.IsKeyDown(vk::Up));
    {
        std::lock_guard<std::mutex> hold(actors.Lock());
        EXPECT_EQ(actors.FindEntry(-1)->Flags, 0);
    }
    const bool limiter = FrameLimiter;
    for (int key : {vk::F1, vk::F2, vk::F3, vk::F5, vk::Home, vk::Console})
        Tap(key);
    EXPECT_TRUE(view.ShowHelp);
    EXPECT_NE(FrameLimiter.load(), limiter);
    FrameLimiter = limiter;
    EXPECT_TRUE(view.ShowPerf);
    EXPECT_FALSE(view.ScalerOn);
    EXPECT_EQ(view.MaxLift(), 15);
    EXPECT_TRUE(view.ConsoleShown);
    int quits = 0;
    input.Quit = [&] { ++quits; };
    Tap(vk::X);
    EXPECT_EQ(quits, 0);
    Tap(vk::X, true);
    EXPECT_EQ(quits, 1);
}

TEST_F(GameInput, ArrowsSendOnceFaceThePlayerAndAnArrowHeldOverChatStaysDown)
{
    input.FormKeyDown(vk::Left);
    input.FormKeyDown(vk::Left);  // auto-repeat
    ASSERT_EQ(udp.size(), 1u);
    EXPECT_EQ(udp[0].Type, net::msg::client_keydown);
    EXPECT_EQ(udp[0].Move.Code, net::DirLeft);
    {
        std::lock_guard<std::mutex> hold(actors.Lock());
        EXPECT_EQ(actors.FindEntry(-1)->Flags, 1);
        EXPECT_EQ(actors.FindEntry(-1)->Facing, 4);
    }
    clock.Advance(60);
    Tap(vk::T);  // chat starts while Left is held
    input.FormKeyUp(vk::Left, false);
    EXPECT_TRUE(channel.IsKeyDown(vk::Left));
    EXPECT_EQ(udp.size(), 1u);
}

TEST_F(GameInput, HomeAndEndKeepTheLiftLimitInRange)
{
    ASSERT_EQ(view.MaxLift(), 16);
    Tap(vk::Home);
    EXPECT_EQ(view.MaxLift(), 15);
    Tap(vk::Home);
    EXPECT_EQ(view.MaxLift(), 15);
    view.View.MaxLift = 0;
    Tap(vk::End);
    EXPECT_EQ(view.MaxLift(), 0);
}

TEST_F(GameInput, F4ShowsThenRemovesTheSpeechGump)
{
    Tap(vk::F4);
    ASSERT_NE(gumps.Find(TGameView::SpeechGumpId), nullptr);
    EXPECT_EQ(gumps.Find(TGameView::SpeechGumpId)->gump, 54);
    Tap(vk::F4);
    EXPECT_EQ(gumps.Find(TGameView::SpeechGumpId), nullptr);
}

TEST_F(GameInput, RightPressAtTheCentreWalksToTheCentreTileAndAStillMouseRepeatsNothing)
{
    input.FormMouseMove(320, 200, 640, 400);
    input.FormMouseDown(true, 320, 200, 640, 400);
    ASSERT_EQ(udp.size(), 1u);
    EXPECT_EQ(udp[0].Type, net::msg::client_keydown);
    EXPECT_EQ(udp[0].Move.Code, net::DirWalk);
    EXPECT_EQ(udp[0].Move.TargetX, 940);
    EXPECT_EQ(udp[0].Move.TargetY, 1220);

    clock.Advance(5000);
    input.ResendWalkTarget();
    input.FormMouseMove(320, 200, 640, 400);
    EXPECT_EQ(udp.size(), 1u);

    // One view pixel off: sent again, since more than 1000 ms have passed.
    input.FormMouseMove(322, 200, 640, 400);
    input.ResendWalkTarget();
    ASSERT_EQ(udp.size(), 2u);
    EXPECT_EQ(udp[1].Move.TargetX, 941);

    clock.Advance(60);
    input.PaintBox1MouseUp(true);
    ASSERT_EQ(udp.size(), 3u);
    EXPECT_EQ(udp[2].Type, net::msg::client_keyup);
    EXPECT_EQ(udp[2].Move.Code, net::DirWalk);
    EXPECT_EQ(console.CountStartingWith("MouseUp:"), 1);
    EXPECT_EQ(console.CountStartingWith(" -right:"), 2);
}

TEST(GameInputConversions, WindowToViewRoundsHalvesToEven)
{
    int x = 0, y = 0;
    TGameInput::WindowToView(320, 200, 640, 400, x, y);
    EXPECT_EQ(x, 160);
    EXPECT_EQ(y, 100);
    TGameInput::WindowToView(1, 3, 640, 400, x, y);  // 0.5 -> 0, 1.5 -> 2
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 2);
    TGameInput::WindowToView(5, 0, 640, 400, x, y);  // 2.5 -> 2
    EXPECT_EQ(x, 2);
}

TEST(GameInputConversions, KeysBecomeVirtualKeyCodes)
{
    EXPECT_EQ(VirtualKey(Qt::Key_T, 0), 84);
    EXPECT_EQ(VirtualKey(Qt::Key_Up, 0), 0x26);
    EXPECT_EQ(VirtualKey(Qt::Key_F10, 0), 121);
    EXPECT_EQ(VirtualKey(Qt::Key_Home, 0), 36);
    EXPECT_EQ(VirtualKey(Qt::Key_QuoteLeft, 0), 192);
    EXPECT_EQ(VirtualKey(Qt::Key_unknown, 0), 256);
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
    // The key left of 1 by position: a German keyboard's circumflex, a French one's superscript two.
    EXPECT_EQ(VirtualKey(Qt::Key_Dead_Circumflex, 49), 192);
    EXPECT_EQ(VirtualKey(Qt::Key_twosuperior, 49), 192);
    EXPECT_EQ(VirtualKey(Qt::Key_AsciiCircum, 15), 256);  // Shift+6 elsewhere
#endif
}

}  // namespace
