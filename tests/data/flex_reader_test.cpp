// Walking flex archives: wrap, truncated tables, empty entries and archives.
#include <gtest/gtest.h>

#include "data/flex_reader.h"
#include "formats/flex_writer.h"
#include "support/temp_folder.h"

using formats::Bytes;

namespace {

std::string WriteArchive(const support::TempFolder& dir, const Bytes& bytes)
{
    const std::string path = dir.Path() + "ARCHIVE.FLX";
    formats::WriteFile(path, bytes);
    return path;
}

}  // namespace

TEST(FlexReader, VisitsEveryEntryOnceThenWrapsToTheFirst)
{
    support::TempFolder dir("flex");
    const std::vector<Bytes> entries = {{1, 2, 3}, {4}, {5, 6}};
    TFlexReader reader(WriteArchive(dir, formats::MakeFlex(entries)));
    EXPECT_EQ(reader.Count(), 3);

    std::vector<Bytes> seen;
    do {
        Bytes buf(size_t(reader.Size()));
        reader.ReadEntry(buf.data());
        seen.push_back(buf);
    } while (reader.Next());
    EXPECT_EQ(seen, entries);
    EXPECT_EQ(reader.Index(), 0);
    EXPECT_EQ(reader.Size(), 3);

    // Going on past the end cycles and reports each wrap.
    std::vector<int> indexes;
    std::vector<bool> nexts;
    for (int k = 0; k < 7; ++k) {
        nexts.push_back(reader.Next());
        indexes.push_back(reader.Index());
    }
    EXPECT_EQ(indexes, (std::vector<int>{1, 2, 0, 1, 2, 0, 1}));
    EXPECT_EQ(nexts, (std::vector<bool>{true, true, false, true, true, false, true}));
}

TEST(FlexReader, SingleEntryWrapsOnFirstNext)
{
    support::TempFolder dir("flex1");
    TFlexReader reader(WriteArchive(dir, formats::MakeFlex({{9, 9}})));
    EXPECT_FALSE(reader.Next());
    EXPECT_EQ(reader.Index(), 0);
    EXPECT_EQ(reader.Size(), 2);
}

TEST(FlexReader, TruncatedTableFailsAtTheFirstPairPastTheEnd)
{
    support::TempFolder dir("flextrunc");
    // Two empty entries hold no bytes, so the file ends right after their pairs.
    const std::string path = WriteArchive(dir, formats::MakeFlexDeclaring({{}, {}}, 5));
    TFlexReader reader(path);
    EXPECT_EQ(reader.Count(), 5);
    EXPECT_TRUE(reader.Next());
    EXPECT_EQ(reader.Index(), 1);
    try {
        reader.Next();
        FAIL() << "reading past the table was not reported";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("ARCHIVE.FLX"), std::string::npos) << e.what();
    }
}

TEST(FlexReader, ZeroSizeEntryLeavesTheBufferUntouched)
{
    support::TempFolder dir("flexempty");
    TFlexReader reader(WriteArchive(dir, formats::MakeFlex({{}, {7}})));
    EXPECT_EQ(reader.Size(), 0);
    uint8_t buf[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    reader.ReadEntry(buf);
    EXPECT_EQ(buf[0], 0xAA);
    EXPECT_TRUE(reader.Next());
    reader.ReadEntry(buf);
    EXPECT_EQ(buf[0], 7);
}

TEST(FlexReader, EntryRunningPastTheFileRaisesBeforeAnythingIsAllocated)
{
    support::TempFolder dir("flexpast");
    Bytes bytes = formats::MakeFlex({{1, 2, 3, 4}, {5, 6}});
    formats::SetU32(bytes, 128 + 4, 0x7FFFFFF0);  // entry 0 declares nearly 2 GB
    bytes.pop_back();                             // entry 1 lacks its last byte
    TFlexReader reader(WriteArchive(dir, bytes));
    std::vector<uint8_t> out;
    try {
        reader.ReadEntry(out);
        FAIL() << "entry 0 was not reported";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("ARCHIVE.FLX: entry 0 (2147483632 bytes at "), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(out.capacity(), 0u);
    ASSERT_TRUE(reader.Next());
    uint8_t buf[2] = {};
    EXPECT_THROW(reader.ReadEntry(buf), EInOutError);
    EXPECT_THROW(reader.ReadEntry(out), EInOutError);
}

TEST(FlexReader, ArchiveDeclaringNoEntriesIsEmpty)
{
    support::TempFolder dir("flexnone");
    for (int32_t declared : {0, -3}) {
        // Only the header: there is not even one table pair to read.
        Bytes bytes = formats::MakeFlexDeclaring({}, declared);
        TFlexReader reader(WriteArchive(dir, bytes));
        EXPECT_EQ(reader.Size(), 0);
        uint8_t buf = 0x55;
        reader.ReadEntry(&buf);
        EXPECT_EQ(buf, 0x55);
        EXPECT_FALSE(reader.Next());
        EXPECT_EQ(reader.Index(), 0);
    }
}

TEST(FlexReader, MissingOrHeaderlessFileRaises)
{
    support::TempFolder dir("flexmissing");
    EXPECT_THROW(TFlexReader(dir.Path() + "NOPE.FLX"), EInOutError);
    EXPECT_THROW(TFlexReader(WriteArchive(dir, Bytes(60, 0))), EInOutError);
}
