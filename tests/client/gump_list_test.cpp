// The gump list: order, unique ids, unlinking.
#include "client/gump_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/assertion_failed.h"

namespace {

std::unique_ptr<TGumpRecord> Gump(int32_t id, int32_t gump = 54)
{
    auto r = std::make_unique<TGumpRecord>();
    r->id = id;
    r->x = 40;
    r->y = 20;
    r->gump = gump;
    return r;
}

// Ids from head to tail, checking the back links on the way.
std::vector<int32_t> Ids(const TGumpList& list)
{
    std::vector<int32_t> ids;
    const GumpNode* previous = nullptr;
    for (const GumpNode* n = list.Head(); n != nullptr; n = n->next) {
        EXPECT_EQ(n->previous, previous);
        ids.push_back(n->data->id);
        previous = n;
    }
    EXPECT_EQ(list.Tail(), previous);
    return ids;
}

TEST(GumpList, SameIdTwiceKeepsTheFirstAndLeavesTheSecondWithTheCaller)
{
    TGumpList list;
    auto first = Gump(1, 49);
    auto second = Gump(1, 54);
    list.Insert(first);
    list.Insert(second);
    EXPECT_EQ(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Ids(list), std::vector<int32_t>{1});
    EXPECT_EQ(list.Find(1)->gump, 49);
}

TEST(GumpList, KeepsInsertionOrderAndUnlinksHeadAndOnly)
{
    TGumpList list;
    EXPECT_EQ(list.Find(1), nullptr);
    EXPECT_EQ(list.FindNode(1), nullptr);

    for (int32_t id : {7, 3, 9}) {
        auto g = Gump(id);
        list.Insert(g);
    }
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{7, 3, 9}));
    list.Remove(7);  // the head of three
    EXPECT_EQ(list.Head()->data->id, 3);
    EXPECT_EQ(list.Head()->previous, nullptr);
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{3, 9}));
    list.Remove(42);  // unknown: nothing
    list.Remove(9);   // the tail
    EXPECT_EQ(Ids(list), std::vector<int32_t>{3});
    list.Remove(3);  // the only one
    EXPECT_EQ(list.Head(), nullptr);
    EXPECT_EQ(list.Tail(), nullptr);

    auto again = Gump(5);
    list.Insert(again);
    EXPECT_EQ(Ids(list), std::vector<int32_t>{5});
}

TEST(GumpList, MiddleRemovalRelinksBothNeighbours)
{
    TGumpList list;
    for (int32_t id : {1, 2, 3}) {
        auto g = Gump(id);
        list.Insert(g);
    }
    list.Remove(2);
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{1, 3}));
}

TEST(GumpList, BrokenInvariantsRaiseTheirTexts)
{
    TGumpList list;
    std::unique_ptr<TGumpRecord> none;
    try {
        list.Insert(none);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Gump entry is nil on insert! (CLIGumps, line ", 0), 0u) << e.what();
    }

    auto g = Gump(1);
    list.Insert(g);
    GumpNode* head = list.Head();
    TGumpRecord* data = head->data;
    head->data = nullptr;  // a record lost behind the list's back
    try {
        list.Find(2);
        FAIL() << "no assertion";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(std::string(e.what()).rfind("GumpList entry had NIL data member!", 0), 0u) << e.what();
    }
    head->data = data;
}

}  // namespace
