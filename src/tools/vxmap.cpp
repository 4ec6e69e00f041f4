// vxmap: the map viewer's drawing without a window, written to PNG, and its
// whole-world overview.
//
//   vxmap shape   --game DIR --shape S --frame F [--grid] --out FILE.png
//   vxmap chunk   --game DIR --chunk C --out FILE.png
//   vxmap view    --game DIR --x X --y Y [--lift L] [--scale] --out FILE.png
//   vxmap makemap --game DIR --out FILE.raw [--png FILE.png] [--lift L] [--threads N]
//   vxmap --help | --version
//
// Every command first loads what the map viewer's "Begin" loads, in its order, and
// draws with the process-wide state the map viewer has: an actor list holding
// only its all-zero head, AnimTick 0, buffers that start zeroed.
#include <QImage>

#include <charconv>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/npc_list.h"
#include "platform/binary_file.h"
#include "platform/file_names.h"
#include "platform/game_path.h"
#include "platform/version.h"
#include "tools/map_viewer.h"
#include "view/scaler.h"
#include "view/world_renderer.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  vxmap shape --game DIR --shape S --frame F [--grid] --out FILE.png\n"
    "      draws frame F of shape slot S (0-1500) with its hot spot at (160, 100);\n"
    "      --grid puts the map viewer's grid behind it\n"
    "  vxmap chunk --game DIR --chunk C --out FILE.png\n"
    "      draws chunk pattern C (0-3071), its last cell's hot spot at (208, 158)\n"
    "  vxmap view --game DIR --x X --y Y [--lift L] [--scale] --out FILE.png\n"
    "      draws the world around tile (X, Y) (0-3071) in column order, levels below\n"
    "      L (0-16, default 16), with the movable objects of GAMEDAT\\VXIREG;\n"
    "      --scale doubles the picture to 640 x 400 with the procedural scaler\n"
    "  vxmap makemap --game DIR --out FILE.raw [--png FILE.png] [--lift L] [--threads N]\n"
    "      writes the map viewer's overview: 3101 x 3050 pixels, one per tile, 3 bytes\n"
    "      each in blue, green, red order, no header, printing each band's centre row;\n"
    "      --png also writes it as PNG; --threads 1 or 2 (default: 2 on a machine with\n"
    "      two cores or more) gives the same bytes\n"
    "  vxmap --help | --version\n"
    "DIR is the game folder holding STATIC\\ and GAMEDAT\\; every command loads the\n"
    "whole world first, as the map viewer's Begin does.\n";

// A mistake on the command line: reported with the usage, exit status 2.
struct UsageError {
    std::string message;
};

class Arguments {
public:
    Arguments(int argc, char** argv, const std::set<std::string>& valued, const std::set<std::string>& flags)
    {
        for (int i = 2; i < argc; ++i) {
            const std::string name = argv[i];
            if (flags.count(name)) {
                values_[name] = "";
            } else if (valued.count(name)) {
                if (i + 1 >= argc)
                    throw UsageError{name + " needs a value"};
                values_[name] = argv[++i];
            } else {
                throw UsageError{"unknown argument '" + name + "'"};
            }
        }
    }

    bool Has(const std::string& name) const { return values_.count(name) != 0; }

    std::string Text(const std::string& name) const
    {
        const auto it = values_.find(name);
        if (it == values_.end())
            throw UsageError{name + " is required"};
        return it->second;
    }

    int Number(const std::string& name, int low, int high, std::optional<int> fallback = std::nullopt) const
    {
        if (!Has(name) && fallback)
            return *fallback;
        const std::string text = Text(name);
        int value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size())
            throw UsageError{name + " '" + text + "' is not a whole number"};
        if (value < low || value > high)
            throw UsageError{name + " " + text + " is outside " + std::to_string(low) + "-" + std::to_string(high)};
        return value;
    }

private:
    std::map<std::string, std::string> values_;
};

void WritePng(const std::string& path, const uint32_t* pixels, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xFF000000u | pixels[size_t(y) * size_t(width) + size_t(x)];
    }
    if (!image.save(QString::fromStdString(path), "PNG"))
        throw std::runtime_error("cannot write " + path);
}

void WritePicture(const std::string& path, bool scale)
{
    if (!scale) {
        WritePng(path, &ColourBuffer[0][0], kViewWidth, kViewHeight);
        return;
    }
    std::vector<uint32_t> doubled(size_t(4) * kViewWidth * kViewHeight, 0);
    ScaleDouble(&ColourBuffer[0][0], kViewWidth, kViewWidth, kViewHeight, doubled.data(), 2 * kViewWidth);
    WritePng(path, doubled.data(), 2 * kViewWidth, 2 * kViewHeight);
}

void Begin(const std::string& game)
{
    tools::MapViewerBegin(game);
}

std::string GameFolder(const Arguments& args)
{
    return platform::WithTrailingSeparator(args.Text("--game"));
}

int Shape(int argc, char** argv)
{
    const Arguments args(argc, argv, {"--game", "--shape", "--frame", "--out"}, {"--grid"});
    const std::string game = GameFolder(args);
    const int shape = args.Number("--shape", 0, MAXSHAPENUM);
    const int frame = args.Number("--frame", 0, 255);
    const std::string out = args.Text("--out");

    Begin(game);
    tools::DrawShapeView(shape, frame, args.Has("--grid"));
    WritePicture(out, false);
    return 0;
}

int Chunk(int argc, char** argv)
{
    const Arguments args(argc, argv, {"--game", "--chunk", "--out"}, {});
    const std::string game = GameFolder(args);
    const int chunk = args.Number("--chunk", 0, kChunkPatternCount - 1);
    const std::string out = args.Text("--out");

    Begin(game);
    tools::DrawChunkView(chunk);
    WritePicture(out, false);
    return 0;
}

int View(int argc, char** argv)
{
    const Arguments args(argc, argv, {"--game", "--x", "--y", "--lift", "--out"}, {"--scale"});
    const std::string game = GameFolder(args);
    const int x = args.Number("--x", 0, kWorldTiles - 1);
    const int y = args.Number("--y", 0, kWorldTiles - 1);
    const int lift = args.Number("--lift", 0, 16, 16);
    const std::string out = args.Text("--out");

    Begin(game);
    tools::DrawMapView(x, y, lift);
    WritePicture(out, args.Has("--scale"));
    return 0;
}

int MakeMap(int argc, char** argv)
{
    const Arguments args(argc, argv, {"--game", "--out", "--png", "--lift", "--threads"}, {});
    const std::string game = GameFolder(args);
    tools::MakeMapOptions options;
    options.RawPath = args.Text("--out");
    if (args.Has("--png"))
        options.PngPath = args.Text("--png");
    options.LiftLimit = args.Number("--lift", 0, 16, 16);
    options.Threads = args.Number("--threads", 1, 2, std::thread::hardware_concurrency() >= 2 ? 2 : 1);
    options.SamplesOnly = true;  // no view is shown

    Begin(game);
    tools::MakeMapObserver quiet;
    tools::MakeMap(options, quiet);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    platform::Utf8Arguments arguments(argc, argv);
    argc = arguments.Count();
    argv = arguments.Argv();
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("vxmap %s\n", platform::ProgramVersion);
        return 0;
    }
    // The map viewer's actor list: the head alone, every field zero.
    NPCList = std::make_unique<net::TNPCList>();
    try {
        for (int i = 2; i < argc; ++i) {
            if (std::string(argv[i]) == "--help") {
                std::fputs(kUsage, stdout);
                return 0;
            }
        }
        if (command == "shape")
            return Shape(argc, argv);
        if (command == "chunk")
            return Chunk(argc, argv);
        if (command == "view")
            return View(argc, argv);
        if (command == "makemap")
            return MakeMap(argc, argv);
        throw UsageError{command.empty() ? "no command given" : "unknown command '" + command + "'"};
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vxmap: %s\n%s", e.message.c_str(),
                     command.empty() ? kUsage : "run 'vxmap --help' for the usage\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vxmap: %s\n", e.what());
        return 1;
    }
}
