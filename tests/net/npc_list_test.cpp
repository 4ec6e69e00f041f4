// The actor list and the actor messages, on the fake tick count.
#include "net/npc_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <string>
#include <thread>
#include <vector>

#include "platform/assertion_failed.h"
#include "net/game_timer.h"
#include "net/message_types.h"
#include "platform/console.h"
#include "platform/tick_count.h"

namespace net {
namespace {

// Little-endian payload builder.
class Payload {
public:
    Payload& U8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); return *this; }
    Payload& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    Payload& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Payload& F32(float v) { return U32(std::bit_cast<uint32_t>(v)); }
    Payload& F64(double v)
    {
        const auto bits = std::bit_cast<uint64_t>(v);
        return U32(static_cast<uint32_t>(bits)).U32(static_cast<uint32_t>(bits >> 32));
    }
    Payload& Text(std::string_view t) { bytes_.append(t); return *this; }
    operator std::string_view() const { return bytes_; }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

std::string Add(int32_t id, uint16_t shape, uint8_t facing, uint8_t lift, uint16_t x, uint16_t y)
{
    return Payload().U32(id).U16(shape).U8(facing).U8(lift).U16(x).U16(y).Bytes();
}

struct State {
    int32_t id;
    uint16_t shape = 721, x = 1500, y = 1600;
    uint8_t lift = 2, facing = 8, flags = 1;
    double dirX = 0.6, dirY = -0.8;
    uint16_t spare1 = 3, spare2 = 0xFFFF;
    float speed = 0.004f;
    uint32_t lastTime = 987654;

    std::string Bytes() const
    {
        return Payload().U32(id).U16(shape).U16(x).U16(y).U8(lift).U8(facing).U8(flags)
            .U32(0xDEADBEEF).F64(dirX).F64(dirY).U16(spare1).U16(spare2).F32(speed).U32(lastTime)
            .Bytes();
    }
};

std::string Say(int32_t id, uint32_t duration, std::string_view text)
{
    return Payload().U32(id).U32(duration).Text(text).Bytes();
}

std::string Remove(int32_t id) { return Payload().U32(id).U32(0).Bytes(); }
std::string PlayerId(int32_t id) { return Payload().U32(id).Bytes(); }

class ActorList : public ::testing::Test {
protected:
    std::vector<int32_t> Order()
    {
        std::vector<int32_t> ids;
        const TNPCNode* last = nullptr;
        for (const TNPCNode* node = list.Head(); node; node = node->Next) {
            EXPECT_EQ(node->Prev, last) << "broken back link at " << node->ID;
            last = node;
            ids.push_back(node->ID);
        }
        return ids;
    }

    platform::FakeClock clock{40000};
    TNPCList list;
    TSpeechHistory history;
};

TEST_F(ActorList, NewActorsGoRightAfterTheHead)
{
    list.Head()->ID = 7;
    EXPECT_EQ(list.FindEntry(-1), list.Head());
    for (int32_t id : {101, 102, 103}) {
        auto record = std::make_unique<TNPCRecord>();
        record->ID = id;
        list.InsertEntry(std::move(record));
    }
    EXPECT_EQ(Order(), (std::vector<int32_t>{7, 103, 102, 101}));
    EXPECT_EQ(list.Count(), 4);

    list.RemoveEntry(102);
    list.RemoveEntry(555);  // unknown: nothing happens
    EXPECT_EQ(Order(), (std::vector<int32_t>{7, 103, 101}));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_TRUE(list.EntryExists(101));
    EXPECT_FALSE(list.EntryExists(102));

    list.RemoveEntry(101);  // the tail
    EXPECT_EQ(Order(), (std::vector<int32_t>{7, 103}));
}

TEST_F(ActorList, RefusesToLoseTheHeadOrTakeNothing)
{
    try {
        list.RemoveEntry(-1);
        FAIL() << "head removed";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "TNPCList.RemoveEntry tried to remove head node");
    }
    try {
        list.InsertEntry(nullptr);
        FAIL() << "nothing inserted";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "TNPCList.InsertEntry passed NIL argument!");
    }
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(ActorList, AddingAKnownIdReplacesTheActor)
{
    server_npc_add(list, Add(55, 10, 1, 0, 100, 100));
    server_npc_add(list, Add(66, 11, 1, 0, 110, 110));
    server_npc_state(list, State{.id = 55}.Bytes());  // moving now
    server_npc_say(list, history, Say(55, 1000, "hi"));

    clock.Advance(10);
    server_npc_add(list, Add(55, 0x8123, 4, 3, 1000, 2000));
    EXPECT_EQ(Order(), (std::vector<int32_t>{0, 55, 66}));
    const TNPCNode* actor = list.FindEntry(55);
    EXPECT_EQ(actor->Shape, 0x8123);
    EXPECT_EQ(actor->Facing, 4);
    EXPECT_EQ(actor->Lift, 3);
    EXPECT_EQ(actor->X, 1000);
    EXPECT_EQ(actor->Y, 2000);
    EXPECT_EQ(actor->PosX, 1000.0);
    EXPECT_EQ(actor->PosY, 2000.0);
    EXPECT_EQ(actor->Spare1, 0xFFFF);
    EXPECT_EQ(actor->Spare2, 0xFFFF);
    EXPECT_EQ(actor->LastTime, 40010u);
    // A fresh record: standing, silent, no course.
    EXPECT_EQ(actor->Flags, 0);
    EXPECT_EQ(actor->Speech.View(), "");
    EXPECT_EQ(actor->Speed, 0.0f);
}

TEST_F(ActorList, StateCreatesAnUnknownActorAndKeepsTexts)
{
    const State state{.id = 77};
    server_npc_state(list, state.Bytes());
    TNPCNode* actor = list.FindEntry(77);
    ASSERT_NE(actor, nullptr);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(actor->Shape, 721);
    EXPECT_EQ(actor->X, 1500);
    EXPECT_EQ(actor->Y, 1600);
    EXPECT_EQ(actor->PosX, 1500.0);
    EXPECT_EQ(actor->PosY, 1600.0);
    EXPECT_EQ(actor->Lift, 2);
    EXPECT_EQ(actor->Facing, 8);
    EXPECT_EQ(actor->Flags, 1);
    EXPECT_EQ(actor->DirX, 0.6);
    EXPECT_EQ(actor->DirY, -0.8);
    EXPECT_EQ(actor->Spare1, 3);
    EXPECT_EQ(actor->Spare2, 0xFFFF);
    EXPECT_EQ(actor->Speed, 0.004f);
    EXPECT_EQ(actor->LastTime, 987654u);
    EXPECT_EQ(actor->Name.View(), "");

    server_npc_say(list, history, Say(77, 100, "still here"));
    server_npc_state(list, State{.id = 77, .x = 1501}.Bytes());
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(actor->X, 1501);
    EXPECT_EQ(actor->Speech.View(), "still here");
}

TEST_F(ActorList, SayShowsSpeechForItsDurationAcrossTheWrap)
{
    clock.Set(0xFFFFF000u);
    server_npc_add(list, Add(9, 1, 1, 0, 5, 5));
    server_npc_say(list, history, Say(9, 5000, "Well met"));
    const TNPCNode* actor = list.FindEntry(9);
    EXPECT_EQ(actor->Speech.View(), "Well met");
    EXPECT_EQ(actor->SpeechUntil, 5000u - 0x1000u);
    EXPECT_EQ(history.Count, 1u);
    EXPECT_EQ(history.Texts[99].View(), "Well met");
    EXPECT_EQ(history.Texts[98].View(), "");

    server_npc_say(list, history, Say(10, 5000, "nobody"));  // unknown actor
    EXPECT_EQ(history.Count, 1u);
    EXPECT_EQ(history.Texts[99].View(), "Well met");
    EXPECT_EQ(list.Count(), 2);

    const std::string longText(150, 'x');
    server_npc_say(list, history, Say(9, 0, longText));
    EXPECT_EQ(actor->Speech.View(), longText.substr(0, 99));
    EXPECT_EQ(history.Texts[99].View(), longText.substr(0, 99));
    EXPECT_EQ(history.Texts[98].View(), "Well met");
}

TEST_F(ActorList, SpeechHistoryKeepsTheNewestHundredAndCountsAll)
{
    for (int i = 1; i <= 103; ++i)
        history.Add("line " + std::to_string(i));
    EXPECT_EQ(history.Count, 103u);
    EXPECT_EQ(history.Texts[99].View(), "line 103");
    EXPECT_EQ(history.Texts[0].View(), "line 4");
}

TEST_F(ActorList, PlayerIdMakesLaterMessagesForThatIdReachTheHead)
{
    list.Head()->Name.Assign("Aldo");
    server_npc_add(list, Add(1234, 1, 1, 0, 5, 5));  // listed before the ID arrived
    server_player_id(list, PlayerId(1234));
    EXPECT_EQ(list.Head()->ID, 1234);
    EXPECT_EQ(Order(), (std::vector<int32_t>{1234}));  // no second record with the ID

    server_npc_state(list, State{.id = 1234, .x = 321}.Bytes());
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Head()->X, 321);
    EXPECT_EQ(list.Head()->Name.View(), "Aldo");
}

TEST_F(ActorList, MessagesForThePlayersIdNeverRemoveTheHead)
{
    list.Head()->Name.Assign("Aldo");
    server_npc_add(list, Add(0, 99, 2, 1, 700, 800));  // ID 0 is the head's before player_id
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Head()->Shape, 99);
    EXPECT_EQ(list.Head()->X, 700);
    EXPECT_EQ(list.Head()->Name.View(), "Aldo");

    server_npc_remove(list, Remove(0));
    server_npc_remove(list, Remove(-1));
    EXPECT_EQ(list.Count(), 1);

    server_npc_add(list, Add(5, 1, 1, 0, 1, 1));
    server_npc_remove(list, Remove(5));
    server_npc_remove(list, Remove(5));
    EXPECT_EQ(Order(), (std::vector<int32_t>{0}));
}

TEST_F(ActorList, PlayerPosStopsWalkingUntilTheNextQuarterSecond)
{
    clock.Set(1234567);
    TGameTimer timer;
    list.Head()->Flags = FlagMoving;
    server_player_pos(list, timer, Payload().U8(2).U8(4).U16(3000).U16(17).U8(0xEE));
    const TNPCNode* head = list.Head();
    EXPECT_EQ(head->Facing, 2);
    EXPECT_EQ(head->Lift, 4);
    EXPECT_EQ(head->X, 3000);
    EXPECT_EQ(head->Y, 17);
    EXPECT_EQ(head->PosX, 3000.0);
    EXPECT_EQ(head->PosY, 17.0);
    EXPECT_EQ(head->Flags, 0);
    EXPECT_EQ(head->LastTime, 1234750u);
}

TEST_F(ActorList, ShortPayloadsAreDroppedWithOneLineEach)
{
    platform::ConsoleCapture console;
    TGameTimer timer;
    server_npc_add(list, Add(1, 2, 3, 4, 5, 6).substr(0, 11));
    server_npc_remove(list, Remove(0).substr(0, 7));
    server_npc_state(list, State{.id = 9}.Bytes().substr(0, 44));
    server_npc_say(list, history, Payload().U32(0).U16(100));
    server_player_id(list, Payload().U16(1));
    server_player_pos(list, timer, Payload().U8(1).U8(1).U16(9).U16(9));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Head()->ID, 0);
    EXPECT_EQ(list.Head()->X, 0);
    EXPECT_EQ(history.Count, 0u);
    const std::vector<std::string> lines = console.Lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(console.CountStartingWith("server_npc_state: "), 1);
    EXPECT_NE(lines[2].find("44 bytes"), std::string::npos) << lines[2];
    EXPECT_EQ(console.CountStartingWith("server_player_pos: "), 1);
}

TEST_F(ActorList, ARenderThreadWalksTheListWhileMessagesChangeIt)
{
    std::atomic<bool> done{false};
    std::thread render([&] {
        while (!done.load()) {
            std::lock_guard<std::mutex> hold(list.Lock());
            int32_t n = 0;
            for (TNPCNode* node = list.Head(); node; node = node->Next) {
                node->Frame = static_cast<uint16_t>(node->X & 7);  // drawing writes Frame
                ++n;
            }
            EXPECT_EQ(n, list.Count());
        }
    });
    TGameTimer timer;
    for (int i = 0; i < 1500; ++i) {
        const int32_t id = 100 + i % 13;
        server_npc_add(list, Add(id, 1, 1, 0, static_cast<uint16_t>(i), 5));
        server_npc_state(list, State{.id = id + 1, .x = static_cast<uint16_t>(i)}.Bytes());
        server_npc_say(list, history, Say(id, 10, "tick"));
        server_player_pos(list, timer, Payload().U8(1).U8(0).U16(5).U16(5).U8(0));
        if (i % 3 == 0)
            server_npc_remove(list, Remove(id + 1));
    }
    done = true;
    render.join();
    std::lock_guard<std::mutex> hold(list.Lock());
    EXPECT_LE(list.Count(), 1 + 14);
}

}  // namespace
}  // namespace net
