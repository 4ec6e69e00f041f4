// The list of open gumps.
#include "client/gump_list.h"

#include <string>

#include "platform/assertion_failed.h"

std::unique_ptr<TGumpList> GumpList;
std::unique_ptr<std::mutex> GumpLock;

namespace {

[[noreturn]] void GumpAssert(const char* message, int line)
{
    throw EAssertionFailed(std::string(message) + " (CLIGumps, line " + std::to_string(line) + ")");
}

}  // namespace

TGumpList::~TGumpList()
{
    GumpNode* node = head_;
    while (node != nullptr) {
        GumpNode* next = node->next;
        delete node->data;
        delete node;
        node = next;
    }
}

GumpNode* TGumpList::FindNode(int32_t id)
{
    for (GumpNode* node = head_; node != nullptr; node = node->next) {
        if (node->data == nullptr)
            GumpAssert("GumpList entry had NIL data member!", __LINE__);
        if (node->data->id == id)
            return node;
    }
    return nullptr;
}

TGumpRecord* TGumpList::Find(int32_t id)
{
    GumpNode* node = FindNode(id);
    return node != nullptr ? node->data : nullptr;
}

void TGumpList::Insert(std::unique_ptr<TGumpRecord>& record)
{
    if (!record)
        GumpAssert("Gump entry is nil on insert!", __LINE__);
    if (Find(record->id) != nullptr)
        return;
    if (head_ != nullptr) {
        if (tail_ == nullptr)
            GumpAssert("GumpList tailnode nil while headnode isn't!!", __LINE__);
    } else if (tail_ != nullptr) {
        GumpAssert("GumpList tailnode not nil while headnode is!", __LINE__);
    }
    auto* node = new GumpNode;
    node->data = record.release();
    if (head_ != nullptr) {
        node->previous = tail_;
        tail_->next = node;
    } else {
        head_ = node;
    }
    tail_ = node;
}

void TGumpList::Remove(int32_t id)
{
    GumpNode* node = FindNode(id);
    if (node == nullptr)
        return;
    if (node->previous != nullptr)
        node->previous->next = node->next;
    if (node->next != nullptr)
        node->next->previous = node->previous;
    if (node->previous == nullptr)
        head_ = node->next;
    if (node->next == nullptr)
        tail_ = node->previous;
    delete node->data;
    delete node;
}
