// The gumps open over the world view, oldest first, and the lock around them.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

// One open gump. The list owns it from insertion to removal.
struct TGumpRecord {
    int32_t id = 0;    // unique in the list
    int32_t x = 0;     // screen column of the gump picture's hot spot
    int32_t y = 0;     // screen row of the hot spot
    int32_t gump = 0;  // gump number in the gump archive
};

struct GumpNode {
    TGumpRecord* data = nullptr;  // never null while in the list
    GumpNode* next = nullptr;
    GumpNode* previous = nullptr;
};

// A doubly linked list from head (oldest) to tail (newest), at most one entry per id.
// The list has no lock of its own: every user holds GumpLock around every use.
// Broken links raise EAssertionFailed with the texts below and the unit and line.
class TGumpList {
public:
    TGumpList() = default;
    ~TGumpList();
    TGumpList(const TGumpList&) = delete;
    TGumpList& operator=(const TGumpList&) = delete;

    // The first node from the head whose record has the id, or null.
    // A node without a record: "GumpList entry had NIL data member!".
    GumpNode* FindNode(int32_t id);
    TGumpRecord* Find(int32_t id);
    // Appends at the tail and takes the record (leaving `record` empty), unless an
    // entry with its id is open: then nothing happens and the caller keeps it.
    // A null record: "Gump entry is nil on insert!".
    void Insert(std::unique_ptr<TGumpRecord>& record);
    // Unlinks and frees the entry with the id; an unknown id does nothing.
    void Remove(int32_t id);

    GumpNode* Head() const { return head_; }
    GumpNode* Tail() const { return tail_; }

private:
    GumpNode* head_ = nullptr;
    GumpNode* tail_ = nullptr;
};

// The process-wide gump list and its lock, taken on the main thread only (the frame's
// finishing and the F4 key). The client's start-up creates and frees both.
extern std::unique_ptr<TGumpList> GumpList;
extern std::unique_ptr<std::mutex> GumpLock;
