// The initial-state archive: stored names and the world identity read from it.
#include <gtest/gtest.h>

#include "data/initial_state.h"
#include "platform/binary_file.h"
#include "support/temp_folder.h"
#include "formats/world_writer.h"

namespace {

formats::Bytes Text(const std::string& s) { return formats::Bytes(s.begin(), s.end()); }

}  // namespace

TEST(InitialState, StoredNamesEndAtTheirFirstZeroOrThirteenCharacters)
{
    const uint8_t shortName[13] = {'I', 'D', 'E', 'N', 'T', 'I', 'T', 'Y', 0, 'X', 'X', 'X', 'X'};
    const uint8_t fullName[13] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M'};
    const uint8_t leadingZero[13] = {0, 'A', 0};
    EXPECT_EQ(StoredFileName(shortName), "IDENTITY");
    EXPECT_EQ(StoredFileName(fullName), "ABCDEFGHIJKLM");
    EXPECT_EQ(StoredFileName(leadingZero), std::string(1, '\0') + "A") << "the first byte is always taken";
    EXPECT_EQ(FirstLine("EMBER VALE\r\nsecond"), "EMBER VALE");
    EXPECT_EQ(FirstLine("OLD\rSTYLE"), "OLD");
    EXPECT_EQ(FirstLine("NO END"), "NO END");
}

TEST(InitialState, IdentityIsTheFirstLineOfItsEntryWhereverItStands)
{
    support::TempFolder dir("initgame");
    formats::WriteFile(dir.Path() + "STATIC/INITGAME.DAT",
                       formats::MakeInitGame({{"VXIREG00", {0, 0}}, {"IDENTITY", Text("HIGH MOOR\r\nbuilt 2026\r\n")}}));
    EXPECT_EQ(ReadArchivedIdentity(dir.Path()), "HIGH MOOR");

    formats::WriteFile(dir.Path() + "STATIC/INITGAME.DAT", formats::MakeInitGame({{"VXIREG00", {0, 0}}}));
    try {
        ReadArchivedIdentity(dir.Path());
        FAIL() << "an archive without IDENTITY was accepted";
    } catch (const EInOutError& e) {
        EXPECT_NE(std::string(e.what()).find("no IDENTITY entry"), std::string::npos) << e.what();
    }
}
