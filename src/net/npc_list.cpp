// The remote actor list and the actor messages.
#include "net/npc_list.h"

#include <bit>
#include <cstring>

#include "platform/assertion_failed.h"
#include "net/game_timer.h"
#include "net/message_types.h"
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

// Little-endian fields at fixed offsets; the callers have checked the payload's length.
uint8_t U8(std::string_view p, size_t at) { return static_cast<uint8_t>(p[at]); }
uint16_t U16(std::string_view p, size_t at) { return uint16_t(U8(p, at) | U8(p, at + 1) << 8); }
uint32_t U32(std::string_view p, size_t at) { return uint32_t(U16(p, at)) | uint32_t(U16(p, at + 2)) << 16; }
uint64_t U64(std::string_view p, size_t at) { return uint64_t(U32(p, at)) | uint64_t(U32(p, at + 4)) << 32; }
double F64(std::string_view p, size_t at) { return std::bit_cast<double>(U64(p, at)); }
float F32(std::string_view p, size_t at) { return std::bit_cast<float>(U32(p, at)); }

constexpr uint16_t SpareUnset = 0xFFFF;

}  // namespace

void server_npc_add(TNPCList& list, std::string_view payload)
{
    if (!PayloadFits(msg::server_npc_add, payload))
        return;
    const int32_t id = static_cast<int32_t>(U32(payload, 0));
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
    record->Shape = U16(payload, 4);
    record->Facing = U8(payload, 6);
    record->Lift = U8(payload, 7);
    record->X = U16(payload, 8);
    record->Y = U16(payload, 10);
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
    if (!PayloadFits(msg::server_npc_remove, payload))
        return;
    const int32_t id = static_cast<int32_t>(U32(payload, 0));

    std::lock_guard<std::mutex> hold(list.Lock());
    TNPCNode* node = list.FindEntry(id);
    if (node && node != list.Head())
        list.RemoveNode(node);
}

void server_npc_state(TNPCList& list, std::string_view payload)
{
    if (!PayloadFits(msg::server_npc_state, payload))
        return;
    const int32_t id = static_cast<int32_t>(U32(payload, 0));

    std::lock_guard<std::mutex> hold(list.Lock());
    TNPCNode* node = list.FindEntry(id);
    if (!node) {
        auto fresh = std::make_unique<TNPCRecord>();
        fresh->ID = id;
        node = list.InsertEntry(std::move(fresh));
    }
    node->Shape = U16(payload, 4);
    node->X = U16(payload, 6);
    node->Y = U16(payload, 8);
    node->Lift = U8(payload, 10);
    node->Facing = U8(payload, 11);
    node->Flags = U8(payload, 12);
    node->DirX = F64(payload, 17);
    node->DirY = F64(payload, 25);
    node->Spare1 = U16(payload, 33);
    node->Spare2 = U16(payload, 35);
    node->Speed = F32(payload, 37);
    node->LastTime = U32(payload, 41);
    node->PosX = node->X;
    node->PosY = node->Y;
}

void server_npc_say(TNPCList& list, TSpeechHistory& history, std::string_view payload)
{
    if (!PayloadFits(msg::server_npc_say, payload))
        return;
    const int32_t id = static_cast<int32_t>(U32(payload, 0));
    const uint32_t duration = U32(payload, 4);
    const std::string_view text = payload.substr(layout::server_npc_say);
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
    if (!PayloadFits(msg::server_player_id, payload))
        return;
    std::string_view rest = payload;
    const int32_t id = TVxProtocolFormat::ExtractInteger(rest);

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
    if (!PayloadFits(msg::server_player_pos, payload))
        return;
    // Read before taking the list lock: no other lock is taken while holding it.
    const uint32_t nextTick = timer.NextTick(4);

    std::lock_guard<std::mutex> hold(list.Lock());
    TNPCNode* head = list.Head();
    head->Facing = U8(payload, 0);
    head->Lift = U8(payload, 1);
    head->X = U16(payload, 2);
    head->Y = U16(payload, 4);
    head->PosX = head->X;
    head->PosY = head->Y;
    head->Flags = 0;  // the correction stops the walking animation
    head->LastTime = nextTick;
}

}  // namespace net
