// World installation: the game-folder check, extraction of INITGAME.DAT and the records.
#include "frontend/world_install.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

#include "data/flex_reader.h"
#include "frontend/vxa_config.h"
#include "platform/binary_file.h"
#include "platform/file_names.h"
#include "platform/game_path.h"

const std::vector<std::string>& RequiredGameFiles()
{
    static const std::vector<std::string> files = {
        "STATIC\\INITGAME.DAT", "STATIC\\PALETTES.FLX", "STATIC\\SHAPES.VGA", "STATIC\\SHPDIMS.DAT",
        "STATIC\\XFORM.TBL",    "STATIC\\TFA.DAT",      "STATIC\\FONTS.VGA",  "STATIC\\GUMPS.VGA",
        "STATIC\\POINTERS.SHP"};
    return files;
}

std::string MissingGameFileMessage(const std::string& gameFolder)
{
    for (const auto& file : RequiredGameFiles()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(platform::PathFromUtf8(platform::NativePath(gameFolder + file)), ec))
            return "This is not a Tessarine folder: " + file + " is missing in " + gameFolder;
    }
    return {};
}

std::string RefusedNameReason(const std::string& name)
{
    if (name.empty() || name[0] == '\0')
        return "the name is empty";
    if (name == "." || name == "..")
        return "the name is \"" + name + "\"";
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return "the name holds a control character";
        if (c == '/' || c == '\\')
            return "the name holds a path separator";
        if (c == ':')
            return "the name holds a drive colon";
    }
    return {};
}

namespace {

// Writes one extracted file beside its final name and renames it into place, so
// that a client killed half-way leaves the earlier file of that name whole (a
// reinstallation writes over the files of a world already recorded). The
// temporary name is longer than any stored name, so no entry can clash with it.
void WriteWorldFile(const std::string& target, const uint8_t* data, int32_t size)
{
    const std::string path = platform::NativePath(target);
    const std::string temp = path + ".vx-extracting";
    std::error_code ec;
    {
        std::ofstream out(platform::PathFromUtf8(temp), std::ios::binary | std::ios::trunc);
        if (!out)
            throw EInOutError(target + ": cannot create the file");
        out.write(reinterpret_cast<const char*>(data), size);
        out.close();
        if (!out) {
            std::filesystem::remove(platform::PathFromUtf8(temp), ec);
            throw EInOutError(target + ": cannot write the file");
        }
    }
    std::filesystem::rename(platform::PathFromUtf8(temp), platform::PathFromUtf8(path), ec);
    if (ec) {
        const std::string why = ec.message();
        std::filesystem::remove(platform::PathFromUtf8(temp), ec);
        throw EInOutError(target + ": cannot replace the file: " + why);
    }
}

}  // namespace

void ExtractInitGame(const std::string& gameFolder, const std::string& outputFolder, const ExtractionStatus& status)
{
    auto setLine = [&](int line, const std::string& text) {
        if (status.SetLine)
            status.SetLine(line, text);
    };
    auto repaint = [&] {
        if (status.Repaint)
            status.Repaint();
    };

    // Grows to the largest entry read (at most kExtractBufferSize), not that size at once.
    std::vector<uint8_t> buffer;
    setLine(1, "Opening INITGAME.DAT flex file...");
    repaint();
    TFlexReader reader(gameFolder + "STATIC\\INITGAME.DAT");
    repaint();
    auto fail = [&](const std::string& what) {
        throw EInOutError(reader.Path() + " entry " + std::to_string(reader.Index()) + ": " + what);
    };

    if (reader.Count() > 0) {
        do {
            setLine(2, "Searching for entries...");
            const int32_t size = reader.Size();
            if (size == 0) {
                repaint();
                continue;
            }
            setLine(1, "Reading INITGAME.DAT flex file..");
            setLine(2, "Reading entry...");
            repaint();
            if (size > kExtractBufferSize)
                fail(std::to_string(size) + " bytes, more than the " + std::to_string(kExtractBufferSize) +
                     " an entry may hold");
            if (size < kStoredNameSize)
                fail(std::to_string(size) + " bytes, shorter than its 13-byte name field");
            reader.ReadEntry(buffer);
            const std::string name = StoredFileName(buffer.data());
            if (const std::string why = RefusedNameReason(name); !why.empty())
                fail("refused file name: " + why);

            const std::string target = outputFolder + name;
            setLine(3, "Writing " + target + "...");
            repaint();
            WriteWorldFile(target, buffer.data() + kStoredNameSize, size - kStoredNameSize);
            setLine(3, "Wrote " + target);
            repaint();
        } while (reader.Next());
    }
    setLine(1, "Closing flex file..");
    setLine(2, "");
    setLine(3, "Done.");
    repaint();
    setLine(1, "");
}

std::string ReadIdentityLine(const std::string& worldDataFolder)
{
    const std::string path = worldDataFolder + "IDENTITY";
    std::ifstream in(platform::PathFromUtf8(platform::NativePath(path)), std::ios::binary);
    if (!in)
        throw EInOutError(path + ": file not found");
    std::string line;
    std::getline(in, line);
    if (in.bad())
        throw EInOutError(path + ": cannot read the file");
    return FirstLine(line);
}

InstalledWorld InstallWorldFrom(const std::string& gameFolder, TVxaConfig& config,
                                const std::function<void(const std::string&, const std::string&)>& extract)
{
    InstalledWorld world;
    world.GameFolder = gameFolder;
    world.WorldDataFolder = gameFolder + "CLIDAT" + platform::kSeparator;
    std::error_code ec;
    std::filesystem::create_directory(platform::PathFromUtf8(platform::NativePath(gameFolder + "CLIDAT")), ec);  // an existing folder is fine
    extract(world.GameFolder, world.WorldDataFolder);
    world.Identity = ReadIdentityLine(world.WorldDataFolder);
    // The three lists stay parallel: all of the world is recorded or none.
    ConfigChange change(config);
    config.AddItem(world.Identity, kListWorldTypes);
    config.AddItem(world.GameFolder, kListWorldDirectories);
    config.AddItem(world.WorldDataFolder, kListWorldGamedats);
    change.Commit();
    return world;
}
