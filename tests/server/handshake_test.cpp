// The server's memory of peer addresses, on a clock the test turns.
#include "handshake.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using server::TAddressBook;

TEST(AddressBook, FailuresNamesAndNewAccountsSlowAnAddressDownAndAreForgotten)
{
    TAddressBook book(16);
    uint32_t now = 1000;
    // Failures: two cost nothing, the third makes the next check wait 1 s, doubling
    // up to a minute.
    const uint32_t delays[] = {0, 0, 1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000};
    for (uint32_t delay : delays) {
        book.PasswordFailed("10.0.0.1", now);
        EXPECT_EQ(book.CheckDelayed("10.0.0.1", now), delay > 0) << delay;
        EXPECT_EQ(book.CheckDelayed("10.0.0.1", now + delay), false) << delay;
    }
    EXPECT_FALSE(book.CheckDelayed("10.0.0.2", now));

    // Names: five at once in a window, then one a second, the slowing told once.
    bool firstSlowed = false;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(book.NameAnswerTime("10.0.0.3", now, 5, firstSlowed), now) << i;
    EXPECT_EQ(book.NameAnswerTime("10.0.0.3", now, 5, firstSlowed), now + 1000);
    EXPECT_TRUE(firstSlowed);
    EXPECT_EQ(book.NameAnswerTime("10.0.0.3", now, 5, firstSlowed), now + 2000);
    EXPECT_FALSE(firstSlowed);
    EXPECT_EQ(book.NameAnswerTime("10.0.0.4", now, 5, firstSlowed), now);

    // New accounts: three a minute; one given back frees its place.
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(book.ReserveAccount("10.0.0.5", now + uint32_t(i), 3)) << i;
    EXPECT_FALSE(book.ReserveAccount("10.0.0.5", now + 10, 3));
    book.ReleaseAccount("10.0.0.5", now + 1);
    EXPECT_TRUE(book.ReserveAccount("10.0.0.5", now + 10, 3));
    EXPECT_FALSE(book.ReserveAccount("10.0.0.5", now + 11, 3));
    EXPECT_TRUE(book.ReserveAccount("10.0.0.5", now + server::AccountWindow, 3));

    // An hour after the last failure and with no window open, everything is forgotten.
    EXPECT_EQ(book.Size(), 4u);
    now += server::FailureMemory + 60000;
    book.Sweep(now);
    EXPECT_EQ(book.Size(), 0u);
}

TEST(AddressBook, StaysBoundedWhateverTheNumberOfAddressesKeepingTheLatest)
{
    TAddressBook book(16);
    for (int i = 0; i < 80; ++i)
        book.PasswordFailed("10.1.0." + std::to_string(i), 5000);
    EXPECT_EQ(book.Size(), 16u);
    // The latest is still delayed after its failures; the earliest was pushed out.
    const std::string last = "10.1.0.79", first = "10.1.0.0";
    book.PasswordFailed(last, 5000);
    book.PasswordFailed(last, 5000);
    EXPECT_TRUE(book.CheckDelayed(last, 5000));
    book.PasswordFailed(first, 5000);
    book.PasswordFailed(first, 5000);
    EXPECT_EQ(book.Size(), 16u);
    EXPECT_FALSE(book.CheckDelayed(first, 5000));  // its earlier failures were forgotten
}

// Checks start oldest first; one that must wait keeps its place, one whose connection
// is gone leaves, and a check started meanwhile queues behind the rest.
TEST(PasswordQueue, StartsInOrderKeepingTheWaitingAndDroppingTheGone)
{
    using EVerdict = server::TPasswordQueue::EVerdict;
    server::TPasswordQueue queue;
    for (int32_t i = 1; i <= 5; ++i)
        queue.Push(i, uint64_t(i) * 10);
    std::vector<int32_t> started;
    auto run = [&](const std::map<int32_t, EVerdict>& verdicts) {
        queue.Run([&](int32_t index, uint64_t serial) {
            EXPECT_EQ(serial, uint64_t(index) * 10);
            return verdicts.count(index) ? verdicts.at(index) : EVerdict::Ready;
        },
                  [&](int32_t index, uint64_t) {
                      started.push_back(index);
                      if (index == 1)
                          queue.Push(6, 60);  // checked again behind the others
                  });
    };
    run({{2, EVerdict::Wait}, {3, EVerdict::Gone}, {6, EVerdict::Wait}});
    EXPECT_EQ(started, (std::vector<int32_t>{1, 4, 5}));
    run({});
    EXPECT_EQ(started, (std::vector<int32_t>{1, 4, 5, 2, 6}));
    EXPECT_TRUE(queue.Empty());
}

}  // namespace
