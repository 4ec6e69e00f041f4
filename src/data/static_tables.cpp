// Static tables and the loading order of the static game data.
#include "data/static_tables.h"

#include <cstring>

#include "data/flex_reader.h"
#include "platform/binary_file.h"

uint8_t GamePalette[768] = {};
uint32_t ColourTable[256] = {};
uint8_t ColourTransforms[8][256] = {};
uint8_t ShapeDims[kShapeDimsCount][2] = {};
std::unique_ptr<TVxShapes> VxShapes;

namespace {

bool ShapeDimBit(int shape, int byte)
{
    shape &= 1023;
    if (shape < kShapeDimsFirst)
        return false;
    return (ShapeDims[shape - kShapeDimsFirst][byte] & 1) != 0;
}

void ReadWholeEntry(TFlexReader& reader, uint8_t* table, int32_t tableSize)
{
    // An entry larger than its table would overrun it: the file is damaged.
    if (reader.Size() > tableSize)
        throw EInOutError(reader.Path() + ": entry " + std::to_string(reader.Index()) + " is " +
                          std::to_string(reader.Size()) + " bytes, more than " + std::to_string(tableSize));
    reader.ReadEntry(table);
}

}  // namespace

bool ShapeObstacleX(int shape) { return ShapeDimBit(shape, 0); }
bool ShapeObstacleY(int shape) { return ShapeDimBit(shape, 1); }

void CyclePalette()
{
    static constexpr int kRanges[5][2] = {{224, 231}, {232, 239}, {240, 243}, {244, 247}, {248, 250}};
    uint32_t copy[256];
    std::memcpy(copy, ColourTable, sizeof copy);
    for (const auto& range : kRanges) {
        ColourTable[range[0]] = copy[range[1]];
        for (int k = range[0] + 1; k <= range[1]; ++k)
            ColourTable[k] = copy[k - 1];
    }
}

void BuildColourTableInto(uint32_t (&table)[256])
{
    for (int i = 0; i < 256; ++i)
        table[i] = uint32_t(GamePalette[3 * i + 2]) | uint32_t(GamePalette[3 * i + 1]) << 8 |
                   uint32_t(GamePalette[3 * i]) << 16;
}

void BuildColourTable() { BuildColourTableInto(ColourTable); }

namespace {

// The shapes, palette, transforms and dimensions of a game folder, read aside.
struct StaticData {
    std::unique_ptr<TVxShapes> Shapes;
    uint8_t Palette[768] = {};
    uint8_t Transforms[8][256] = {};
    uint8_t Dims[kShapeDimsCount][2] = {};
};

void ReadStaticData(StaticData& data, const std::string& gameFolder, const std::function<void(int)>& step,
                    ShapeDimensions dimensions)
{
    auto palettes = std::make_unique<TFlexReader>(gameFolder + "STATIC\\PALETTES.FLX");
    step(1);
    data.Shapes = std::make_unique<TVxShapes>(gameFolder + "STATIC\\SHAPES.VGA");
    step(2);
    if (dimensions == ShapeDimensions::Load)
        platform::ReadFilePrefix(gameFolder + "STATIC\\SHPDIMS.DAT", data.Dims, sizeof data.Dims);
    step(3);
    ReadWholeEntry(*palettes, data.Palette, sizeof data.Palette);
    palettes.reset();
    step(4);
    {
        TFlexReader file(gameFolder + "STATIC\\XFORM.TBL");
        for (auto& table : data.Transforms) {
            ReadWholeEntry(file, table, sizeof table);
            file.Next();
        }
    }
    step(5);
    for (uint8_t& b : data.Palette)
        b = uint8_t(b * 4);
    step(6);
    data.Shapes->SetPalette(data.Palette);
    step(7);
    platform::ReadFilePrefix(gameFolder + "STATIC\\TFA.DAT", data.Shapes->TileFlags, sizeof data.Shapes->TileFlags);
}

}  // namespace

void LoadStaticData(const std::string& gameFolder, const std::function<void(int)>& progress,
                    ShapeDimensions dimensions)
{
    auto step = [&](int n) {
        if (progress)
            progress(n);
    };
    // Everything is read aside and becomes the process's only once the last file has
    // been read: a folder that fails half-way leaves the shapes and tables in use whole.
    // The frame counts are the process's own table, which a new store fills as it
    // loads: they are put back when it fails.
    auto data = std::make_unique<StaticData>();
    auto frameCounts = std::make_unique<uint8_t[]>(sizeof FrameCounts);
    std::memcpy(frameCounts.get(), FrameCounts, sizeof FrameCounts);
    const bool shapesLoaded = ShapesLoaded;
    try {
        ReadStaticData(*data, gameFolder, step, dimensions);
    } catch (...) {
        std::memcpy(FrameCounts, frameCounts.get(), sizeof FrameCounts);
        ShapesLoaded = shapesLoaded;
        throw;
    }
    std::memcpy(GamePalette, data->Palette, sizeof GamePalette);
    BuildColourTable();
    std::memcpy(ColourTransforms, data->Transforms, sizeof ColourTransforms);
    if (dimensions == ShapeDimensions::Load)
        std::memcpy(ShapeDims, data->Dims, sizeof ShapeDims);
    VxShapes = std::move(data->Shapes);
    step(8);
}

void LoadInterfaceShapes(const std::string& gameFolder)
{
    VxShapes->LoadFonts(gameFolder + "STATIC\\FONTS.VGA");
    VxShapes->LoadGumps(gameFolder + "STATIC\\GUMPS.VGA");
    VxShapes->LoadPointers(gameFolder + "STATIC\\POINTERS.SHP");
}
