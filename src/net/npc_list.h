// The list of remote actors, headed by the player's own record, and the handling of
// the server's actor messages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

#include "net/protocol_constants.h"

namespace net {

class TGameTimer;

// A length byte and up to N characters; longer texts are cut to N when stored.
template <size_t N>
struct TShortString {
    static_assert(N <= 255, "the length is one byte");
    uint8_t Length = 0;
    std::array<char, N> Chars{};

    void Assign(std::string_view text)
    {
        Length = static_cast<uint8_t>(text.size() < N ? text.size() : N);
        for (size_t i = 0; i < Length; ++i)
            Chars[i] = text[i];
    }
    std::string_view View() const { return std::string_view(Chars.data(), Length); }
};

// One actor. Integers cross the wire little-endian.
struct TNPCRecord {
    uint16_t Shape = 0;  // all 16 bits go to the renderer
    uint16_t Frame = 0;  // chosen by the renderer at each draw
    int32_t ID = 0;      // the list's key; the server assigns it
    TShortString<MaxNameLength> Name;  // set for the player's own record only
    TShortString<MaxSpeechLength> Speech;
    uint32_t SpeechUntil = 0;  // tick count until which the speech shows
    uint16_t X = 0, Y = 0;     // tile position, the rounded PosX, PosY
    uint16_t Lift = 0;
    uint8_t Flags = 0;      // bit 0: moving
    uint8_t Facing = 0;     // 1 east, 2 north, 4 west, 8 south
    uint8_t AnimShift = 0;  // walking animation rate, derived from Speed
    uint32_t LastTime = 0;  // game time at which PosX, PosY were last brought up to date
    double PosX = 0, PosY = 0;
    double DirX = 0, DirY = 0;
    float Speed = 0;  // tiles per ms
    uint16_t Spare1 = 0, Spare2 = 0;  // carried by server_npc_state; 0xFFFF when unset
};

inline constexpr uint8_t FlagMoving = 0x01;

struct TNPCNode : TNPCRecord {
    TNPCNode* Next = nullptr;
    TNPCNode* Prev = nullptr;
};

// The actors near the player. The head is the player's own record, created with the
// list and never removed; new nodes go directly after it, so the list runs from the
// head through the newest actor to the oldest.
//
// The main thread (messages, keys, display) and the render thread (movement, drawing)
// share the list: every operation, and every read or write of a record, happens while
// holding Lock(). A node found by FindEntry is only valid until the lock is released.
class TNPCList {
public:
    TNPCList();
    ~TNPCList();
    TNPCList(const TNPCList&) = delete;
    TNPCList& operator=(const TNPCList&) = delete;

    // The actor list lock.
    std::mutex& Lock() { return lock_; }

    TNPCNode* Head() { return head_; }
    // ID -1 is always the head; otherwise the first node from the head on holding the ID.
    TNPCNode* FindEntry(int32_t id);
    bool EntryExists(int32_t id);
    // Copies the record into a new node right after the head and releases the record.
    // A null record raises EAssertionFailed("TNPCList.InsertEntry passed NIL argument!").
    TNPCNode* InsertEntry(std::unique_ptr<TNPCRecord> record);
    // Removes the node FindEntry finds, if any. The head raises
    // EAssertionFailed("TNPCList.RemoveEntry tried to remove head node").
    void RemoveEntry(int32_t id);
    // Unlinks and releases a node of this list, with the same refusal of the head.
    void RemoveNode(TNPCNode* node);
    // Nodes, head included.
    int32_t Count() const { return count_; }

private:
    std::mutex lock_;
    TNPCNode* head_;
    int32_t count_ = 1;
};

// What the actors said, for the game window's speech gump: 100 texts, newest at
// position 99, and the number received (not capped). Main thread only.
struct TSpeechHistory {
    static constexpr int Size = 100;
    std::array<TShortString<MaxSpeechLength>, Size> Texts{};
    uint32_t Count = 0;

    // Drops position 0, moves the rest down one place, stores the text at 99.
    void Add(std::string_view text);
};

// The actor messages. Each takes the actor list lock once for its whole run and
// releases it on every path. A payload shorter than the message's layout is dropped
// with a console line. No message removes or replaces the player's own record: an
// add or state for its ID updates it in place, and a remove of it is ignored.
void server_npc_add(TNPCList& list, std::string_view payload);
void server_npc_remove(TNPCList& list, std::string_view payload);
void server_npc_state(TNPCList& list, std::string_view payload);
void server_npc_say(TNPCList& list, TSpeechHistory& history, std::string_view payload);
void server_player_id(TNPCList& list, std::string_view payload);
void server_player_pos(TNPCList& list, TGameTimer& timer, std::string_view payload);

}  // namespace net

// The process-wide actor list: created and freed with the other process-wide objects
// by the client's start-up; the renderer, the message handler and the map tool reach
// it here. Tools and tests that draw or handle actors create their own.
extern std::unique_ptr<net::TNPCList> NPCList;
