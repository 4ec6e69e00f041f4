// Framing of streams and datagrams, the socket table and the message catalogue.
#include "net/protocol.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "alloc_counter.h"
#include "platform/assertion_failed.h"
#include "net/message_types.h"
#include "platform/console.h"

namespace net {
namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

struct Received {
    int32_t Index;
    uint32_t Type;
    std::string Payload;
    bool operator==(const Received&) const = default;
};

class Framing : public ::testing::Test {
protected:
    Framing() : format(table)
    {
        format.SetHandler([this](int32_t index, uint32_t type, std::string_view payload) {
            got.push_back({index, type, std::string(payload)});
        });
        index = table.AddSocket(&connection, "10.0.0.7", 4100);
    }

    // Feeds one read into the connection's buffer and frames it.
    void Read(std::string_view chunk)
    {
        buffer.Append(chunk);
        format.ProcessStream("10.0.0.7", 4100, buffer);
    }

    TSocketTable table;
    TVxProtocolFormat format;
    TReceiveBuffer buffer;
    std::vector<Received> got;
    int connection = 0;
    int udp = 0;
    int32_t index = 0;
};

TEST(VxProtocolFormat, MakeMessageWritesLengthAndTypeAsOneLittleEndianWord)
{
    EXPECT_EQ(TVxProtocolFormat::MakeMessage(msg::client_entergame, ""), Bytes({0x00, 0x00, 0x00, 0x29}));
    EXPECT_EQ(TVxProtocolFormat::MakeMessage(msg::client_udpport, Bytes({0xC5, 0x6D})),
              Bytes({0x02, 0x00, 0x00, 0x28, 0xC5, 0x6D}));
    const std::string text("a\0b", 3);
    EXPECT_EQ(TVxProtocolFormat::MakeMessage(msg::server_npc_say, text),
              Bytes({0x03, 0x00, 0x00, 0xD0}) + text);
    // A length that would spill into the type field is refused, not sent corrupted.
    EXPECT_THROW(TVxProtocolFormat::MakeMessage(msg::client_chat, std::string(65536, 'x')), EAssertionFailed);
    EXPECT_EQ(TVxProtocolFormat::MakeMessage(msg::client_chat, std::string(65535, 'x')).substr(0, 4),
              Bytes({0xFF, 0xFF, 0x00, 0x0F}));
}

TEST(VxProtocolFormat, ByteHelpersReadLittleEndianAndNeverPastTheEnd)
{
    const std::string raw = Bytes({0x05, 0x00, 0x00, 0xD0, 0xFE, 0xFF, 0xFF, 0xFF, 'x', 'y'});
    std::string_view bytes = raw;
    const std::string_view whole = bytes;
    EXPECT_EQ(TVxProtocolFormat::PayloadLength(bytes), 5);
    EXPECT_EQ(TVxProtocolFormat::ExtractType(bytes), msg::server_npc_say);
    EXPECT_EQ(TVxProtocolFormat::ExtractInteger(bytes), -2);
    EXPECT_EQ(bytes, "xy");
    EXPECT_FALSE(TVxProtocolFormat::IsIncomplete(whole.substr(0, 9)));
    EXPECT_TRUE(TVxProtocolFormat::IsIncomplete(whole.substr(0, 8)));

    char block[4] = {'q', 'q', 'q', 'q'};
    TVxProtocolFormat::ExtractBytes(bytes, block, sizeof block);
    EXPECT_EQ(std::string(block, 4), Bytes({'x', 'y', 0, 0}));
    EXPECT_TRUE(bytes.empty());

    // An empty view with no storage behind it reads as zeros.
    std::string_view nothing;
    EXPECT_EQ(TVxProtocolFormat::ExtractInteger(nothing), 0);
    EXPECT_EQ(TVxProtocolFormat::ExtractType(nothing), 0u);

    const uint16_t record[2] = {0x1234, 0xABCD};
    EXPECT_EQ(TVxProtocolFormat::BytesToString(record, 4), Bytes({0x34, 0x12, 0xCD, 0xAB}));
}

TEST_F(Framing, EmptyPayloadIsExactlyTheHeader)
{
    Read(Bytes({0, 0, 0, 0x29}));
    EXPECT_EQ(got, (std::vector<Received>{{index, msg::client_entergame, ""}}));
    EXPECT_TRUE(buffer.Empty());
}

TEST_F(Framing, WholeMessagesGoInOrderAndAPartialOneWaitsForItsRest)
{
    const std::string first = TVxProtocolFormat::MakeMessage(msg::server_welcome, "hello");
    const std::string second = TVxProtocolFormat::MakeMessage(msg::server_player_id, Bytes({1, 2, 3, 4}));
    const std::string third = TVxProtocolFormat::MakeMessage(msg::server_notice, std::string("n\0te", 4));

    Read(first + second + third.substr(0, 6));
    EXPECT_EQ(got, (std::vector<Received>{{index, msg::server_welcome, "hello"},
                                          {index, msg::server_player_id, Bytes({1, 2, 3, 4})}}));
    EXPECT_EQ(buffer.Size(), 6u);

    Read(third.substr(6));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2], (Received{index, msg::server_notice, std::string("n\0te", 4)}));
    EXPECT_TRUE(buffer.Empty());
}

TEST_F(Framing, HeaderSplitAcrossReads)
{
    const std::string message = TVxProtocolFormat::MakeMessage(msg::server_udpport, Bytes({0xE1, 0x30}));
    Read(message.substr(0, 2));
    Read(message.substr(2, 2));
    EXPECT_TRUE(got.empty());
    Read(message.substr(4));
    EXPECT_EQ(got, (std::vector<Received>{{index, msg::server_udpport, Bytes({0xE1, 0x30})}}));
}

TEST_F(Framing, LongAnnouncementKeepsEveryByteUntilComplete)
{
    const std::string payload(65535, '\x5A');
    const std::string message = TVxProtocolFormat::MakeMessage(msg::server_notice, payload);
    Read(message.substr(0, 104));
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(buffer.Size(), 104u);
    for (size_t at = 104; at < message.size(); at += 1460)
        Read(message.substr(at, 1460));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].Payload, payload);
}

TEST_F(Framing, IndexIsLookedUpAfreshForEveryMessage)
{
    // The handler drops the connection on the first message: the second one,
    // from the same read, no longer has an entry.
    format.SetHandler([this](int32_t i, uint32_t type, std::string_view) {
        got.push_back({i, type, ""});
        table.RemoveSocket(&connection);
    });
    Read(TVxProtocolFormat::MakeMessage(msg::server_full, "") + TVxProtocolFormat::MakeMessage(msg::server_full, ""));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].Index, index);
    EXPECT_EQ(got[1].Index, NoSocket);
}

TEST_F(Framing, AHandlerThatThrowsLosesOnlyItsOwnMessage)
{
    format.SetHandler([this](int32_t i, uint32_t type, std::string_view payload) {
        got.push_back({i, type, std::string(payload)});
        if (type == msg::server_identity)
            throw std::runtime_error("cannot load");
    });
    const std::string stream = TVxProtocolFormat::MakeMessage(msg::server_identity, "w") +
                               TVxProtocolFormat::MakeMessage(msg::server_nameok, "");
    EXPECT_THROW(Read(stream), std::runtime_error);
    EXPECT_EQ(got.size(), 1u);
    format.ProcessStream("10.0.0.7", 4100, buffer);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].Type, msg::server_nameok);
}

TEST_F(Framing, SteadyStateStreamAllocatesNothing)
{
    std::string burst;
    for (int i = 0; i < 200; ++i) {
        TVxProtocolFormat::AppendMessage(burst, msg::server_npc_state, std::string(45, char(i)));
        TVxProtocolFormat::AppendMessage(burst, msg::server_npc_say, "12345678 a line of speech");
    }
    long seen = 0;
    format.SetHandler([&seen](int32_t, uint32_t, std::string_view) { ++seen; });
    // Reads of odd sizes, so that messages straddle reads.
    auto feed = [&] {
        for (size_t at = 0; at < burst.size(); at += 1333)
            Read(std::string_view(burst).substr(at, 1333));
    };
    feed();  // grows the buffer once
    testing::StartCountingAllocations();
    feed();
    feed();
    EXPECT_EQ(testing::StopCountingAllocations(), 0);
    EXPECT_EQ(seen, 3 * 400);
}

TEST_F(Framing, DatagramsWithoutAWholeFirstMessageDispatchNothing)
{
    table.Entry(index).UDP = &udp;
    format.ProcessDatagram(&udp, 5000, Bytes({0x00, 0x00, 0x00}));
    format.ProcessDatagram(&udp, 5000, Bytes({0x05, 0x00, 0x00, 0x1A, 1, 2, 3, 4}));
    EXPECT_TRUE(got.empty());
}

TEST_F(Framing, DatagramDispatchesItsWholeMessagesAndDropsStrayBytes)
{
    table.Entry(index).UDP = &udp;
    const std::string datagram = TVxProtocolFormat::MakeMessage(msg::server_beat, Bytes({7, 1, 0, 0, 0})) +
                                 TVxProtocolFormat::MakeMessage(msg::server_keydown_ack, Bytes({1, 9, 0, 0, 0})) +
                                 Bytes({0x01, 0x00});
    format.ProcessDatagram(&udp, 5000, datagram);
    EXPECT_EQ(got, (std::vector<Received>{{index, msg::server_beat, Bytes({7, 1, 0, 0, 0})},
                                          {index, msg::server_keydown_ack, Bytes({1, 9, 0, 0, 0})}}));
}

TEST_F(Framing, UdpPortAnnouncementRecordsTheSourcePort)
{
    table.Entry(index).UDP = &udp;
    const std::string announce = TVxProtocolFormat::MakeMessage(msg::client_udpport, Bytes({0xC5, 0x6D}));
    format.ProcessDatagram(&udp, 40123, announce);
    EXPECT_EQ(table.Entry(index).UDPPort, 40123);  // the source port, not the payload's
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].Index, index);

    // Other types leave it alone; an endpoint without an entry reaches the handler as 64.
    format.ProcessDatagram(&udp, 1, TVxProtocolFormat::MakeMessage(msg::server_beat, Bytes({1, 0, 0, 0, 0})));
    EXPECT_EQ(table.Entry(index).UDPPort, 40123);
    int stranger = 0;
    format.ProcessDatagram(&stranger, 2, announce);
    EXPECT_EQ(got.back().Index, NoSocket);
    EXPECT_EQ(table.Entry(NoSocket).UDPPort, 0);
}

TEST(SocketTable, FullAtSixtyThreeAndReusesTheLowestFreeEntry)
{
    TSocketTable table;
    int conns[64];
    for (int i = 0; i < 63; ++i)
        EXPECT_EQ(table.AddSocket(&conns[i], "192.168.1." + std::to_string(i), 2000), i + 1);
    try {
        table.AddSocket(&conns[63], "192.168.2.1", 2000);
        FAIL() << "no assertion failure";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "CNT > MAX_SOCKETS in AddSocket");
    }
    EXPECT_TRUE(table.Entry(64).Address.empty());
    EXPECT_EQ(table.Entry(64).Socket, nullptr);

    table.RemoveSocket(&conns[4]);
    EXPECT_EQ(table.AddSocket(&conns[63], "192.168.2.1", 2001), 5);
    EXPECT_EQ(table.Entry(5).Socket, &conns[63]);
    EXPECT_EQ(table.FindSocket("192.168.2.1", 2001), 5);
}

TEST(SocketTable, FindSocketNeedsAddressAndPortToMatchExactly)
{
    TSocketTable table;
    int a = 0, b = 0;
    table.AddSocket(&a, "127.0.0.1", 12578);
    table.AddSocket(&b, "127.0.0.10", 12578);
    EXPECT_EQ(table.FindSocket("127.0.0.1", 12578), 1);
    EXPECT_EQ(table.FindSocket("127.0.0.10", 12578), 2);
    EXPECT_EQ(table.FindSocket("127.0.0.1", 12579), NoSocket);
    EXPECT_EQ(table.FindSocket("127.0.0.", 12578), NoSocket);
    // A free entry never matches, even with port 0 and an empty address.
    EXPECT_EQ(table.FindSocket("", 0), NoSocket);
}

TEST(SocketTable, RemoveKeepsTheUdpBindingForTheNextConnection)
{
    TSocketTable table;
    int conn = 0, again = 0, udp = 0;
    const int32_t i = table.AddSocket(&conn, "10.1.1.1", 3000);
    table.Entry(i).UDP = &udp;
    table.Entry(i).UDPPort = 28101;

    table.RemoveSocket(&conn);
    EXPECT_EQ(table.FindSocketByUDP(&udp), i);
    EXPECT_TRUE(table.Entry(i).Address.empty());
    EXPECT_EQ(table.Entry(i).Port, 0);
    EXPECT_EQ(table.Entry(i).UDPPort, 0);
    EXPECT_EQ(table.FindSocket("10.1.1.1", 3000), NoSocket);

    table.RemoveSocket(&conn);  // no longer there: nothing changes
    EXPECT_EQ(table.AddSocket(&again, "10.1.1.1", 3001), i);
    EXPECT_EQ(table.Entry(i).UDP, &udp);
    EXPECT_EQ(table.FindSocketByUDP(&conn), NoSocket);
}

TEST(MessageCatalogue, CodesAreDistinctInByteThreeAlone)
{
    std::set<uint32_t> seen;
    for (const TMessageInfo& info : MessageCatalogue) {
        EXPECT_EQ(info.Type & 0x00FFFFFF, 0u) << info.Name;
        EXPECT_TRUE(seen.insert(info.Type >> 24).second) << info.Name;
        EXPECT_EQ(info.Layout == 0, info.Payload != EPayload::Fixed && info.Payload != EPayload::FixedThenText)
            << info.Name;
    }
    EXPECT_EQ(MessageName(msg::server_npc_state), "server_npc_state");
    EXPECT_EQ(MessageName(0x11000000), "");
}

TEST(MessageCatalogue, ShortFixedPayloadIsReportedOnce)
{
    platform::ConsoleCapture console;
    EXPECT_FALSE(PayloadFits(msg::server_npc_state, std::string(44, '\0')));
    EXPECT_TRUE(PayloadFits(msg::server_npc_state, std::string(45, '\0')));
    EXPECT_TRUE(PayloadFits(msg::server_npc_say, std::string(8, '\0')));
    EXPECT_TRUE(PayloadFits(msg::server_welcome, ""));
    EXPECT_TRUE(PayloadFits(0x11000000, ""));
    ASSERT_EQ(console.Lines().size(), 1u);
    const std::string line = console.Lines()[0];
    EXPECT_NE(line.find("server_npc_state"), std::string::npos) << line;
    EXPECT_NE(line.find("44"), std::string::npos) << line;
}

}  // namespace
}  // namespace net
