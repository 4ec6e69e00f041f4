// The remote actor list and the actor messages.
#include "net/npc_list.h"


#include "platform/assertion_failed.h"
#include "net/game_timer.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "net/protocol.h"
#include "platform/console.h"
#include "platform/tick_count.h"

std::unique_ptr<net::TNPCList> NPCList;

namespace net {

// --- the list ---

TNPCList::TNPCList() : head_(new TNPCNode) {}

TNPCList::~TNPCList()
{
    TNPCNode* node = head_;
    while (node) {
        TNPCNode* next = node->Next;
        delete node;
        --count_;
        node = next;
    }
    // A destructor cannot raise; the broken count is still reported.
    if (count_ != 0)
        platform::ConsoleLine("TNPCList: Deleted list does not have zero entries!");
}

TNPCNode* TNPCList::FindEntry(int32_t id)
{
    if (id == -1)
        return head_;
    for (TNPCNode* node = head_; node; node = node->Next)
        if (node->ID == id)
            return node;
    return nullptr;
}

bool TNPCList::EntryExists(int32_t id) { return FindEntry(id) != nullptr; }

TNPCNode* TNPCList::InsertEntry(std::unique_ptr<TNPCRecord> record)
{
    if (!record)
        throw EAssertionFailed("TNPCList.InsertEntry passed NIL argument!");
    auto* node = new TNPCNode;
    static_cast<TNPCRecord&>(*node) = *record;
    node->Prev = head_;
    node->Next = head_->Next;
    if (head_->Next)
        head_->Next->Prev = node;
    head_->Next = node;
    ++count_;
    return node;
}

void TNPCList::RemoveEntry(int32_t id)
{
    if (TNPCNode* node = FindEntry(id))
        RemoveNode(node);
}

void TNPCList::RemoveNode(TNPCNode* node)
{
    if (node == head_)
        throw EAssertionFailed("TNPCList.RemoveEntry tried to remove head node");
    node->Prev->Next = node->Next;
    if (node->Next)
        node->Next->Prev = node->Prev;
    delete node;
    --count_;
}

// --- speech history ---

void TSpeechHistory::Add(std::string_view text)
{
    for (int i = 0; i + 1 < Size; ++i)
        Texts[i] = Texts[i + 1];
    Texts[Size - 1].Assign(text);
    ++Count;
}

// --- the actor messages ---

namespace {

constexpr uint16_t SpareUnset = 0xFFFF;

}  // namespace

void server_npc_add(TNPCList& list, std::string_view payload)
{
    TNpcAdd m;
    if (!PayloadFits(msg::server_npc_add, payload) || !Decode(payload, m))
        return;
    const int32_t id = m.ID;
    const uint32_t now = platform::TickCount();

    std::lock_guard<std::mutex> hold(list.Lock());
    TNPCNode* existing = list.FindEntry(id);
    TNPCRecord* record;
    std::unique_ptr<TNPCRecord> fresh;
    if (existing == list.Head()) {
        // The player's own record is updated in place: it keeps its ID, name and speech.
        record = existing;
    } else {
        if (existing)
            list.RemoveNode(existing);
        fresh = std::make_unique<TNPCRecord>();
        fresh->ID = id;
        record = fresh.get();
    }
    record->Shape = m.Shape;
    record->Facing = m.Facing;
    record->Lift = m.Lift;
    record->X = m.X;
    record->Y = m.Y;
    record->PosX = record->X;
    record->PosY = record->Y;
    record->Flags = 0;
    record->Spare1 = SpareUnset;
    record->Spare2 = SpareUnset;
    record->LastTime = now;
    if (fresh)
        list.InsertEntry(std::move(fresh));
}

void server_npc_remove(TNPCList& list, std::string_view payload)
{
    TNpcRemove m;
    if (!PayloadFits(msg::server_npc_remove, payload) || !Decode(payload, m))
        return;
    const int32_t id = m.ID;

    std::lock_guard<std::mutex> hold(list.Lock());
    TNPCNode* node = list.FindEntry(id);
    if (node && node != list.Head())
        list.RemoveNode(node);
}

void server_npc_state(TNPCList& list, std::string_view payload)
{
    TNpcState m;
    if (!PayloadFits(msg::server_npc_state, payload) || !Decode(payload, m))
        return;
    const int32_t id = m.ID;

    std::lock_guard<std::mutex> hold(list.Lock());
    TNPCNode* node = list.FindEntry(id);
    if (!node) {
        auto fresh = std::make_unique<TNPCRecord>();
        fresh->ID = id;
        node = list.InsertEntry(std::move(fresh));
    }
    node->Shape = m.Shape;
    node->X = m.X;
    node->Y = m.Y;
    node->Lift = m.Lift;
    node->Facing = m.Facing;
    node->Flags = m.Flags;
    node->DirX = m.DirX;
    node->DirY = m.DirY;
    node->Spare1 = m.Spare1;
    node->Spare2 = m.Spare2;
    node->Speed = m.Speed;
    node->LastTime = m.LastTime;
    node->PosX = node->X;
    node->PosY = node->Y;
}

void server_npc_say(TNPCList& list, TSpeechHistory& history, std::string_view payload)
{
    TNpcSay m;
    if (!PayloadFits(msg::server_npc_say, payload) || !Decode(payload, m))
        return;
    const int32_t id = m.ID;
    const uint32_t duration = m.Duration;
    const std::string_view text = m.Text;
    const uint32_t now = platform::TickCount();

    std::lock_guard<std::mutex> hold(list.Lock());
    TNPCNode* node = list.FindEntry(id);
    if (!node)
        return;  // an actor we do not know says nothing, not even to the history
    node->Speech.Assign(text);
    node->SpeechUntil = now + duration;  // wraps with the tick count
    history.Add(text);
}

void server_player_id(TNPCList& list, std::string_view payload)
{
    TPlayerId m;
    if (!PayloadFits(msg::server_player_id, payload) || !Decode(payload, m))
        return;
    const int32_t id = m.ID;

    std::lock_guard<std::mutex> hold(list.Lock());
    TNPCNode* head = list.Head();
    head->ID = id;
    // IDs are unique: an actor already listed under the player's ID could never be
    // found again (lookups meet the head first), so it goes.
    for (TNPCNode* node = head->Next; node;) {
        TNPCNode* next = node->Next;
        if (node->ID == id)
            list.RemoveNode(node);
        node = next;
    }
}

void server_player_pos(TNPCList& list, TGameTimer& timer, std::string_view payload)
{
    TPlayerPos m;
    if (!PayloadFits(msg::server_player_pos, payload) || !Decode(payload, m))
        return;
    // Read before taking the list lock: no other lock is taken while holding it.
    const uint32_t nextTick = timer.NextTick(4);

    std::lock_guard<std::mutex> hold(list.Lock());
    TNPCNode* head = list.Head();
    head->Facing = m.Facing;
    head->Lift = m.Lift;
    head->X = m.X;
    head->Y = m.Y;
    head->PosX = head->X;
    head->PosY = head->Y;
    head->Flags = 0;  // the correction stops the walking animation
    head->LastTime = nextTick;
}

}  // namespace net
