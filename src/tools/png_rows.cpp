// Row-by-row PNG writing with libpng. libpng reports errors by jumping back to the
// setjmp of the call that failed; each call into it sits in its own small function
// holding nothing that needs destroying, and the error becomes an EInOutError.
#include "tools/png_rows.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform/binary_file.h"
#include "platform/file_names.h"

namespace tools {

namespace {

void OnPngError(png_structp png, png_const_charp message)
{
    auto* buffer = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(buffer, 256, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

bool StartPicture(png_structp png, png_infop info, std::FILE* file, int width, int height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    // The overview is mostly flat runs: the fastest compression keeps writing
    // well ahead of the drawing and loses little size.
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    return true;
}

bool WriteRow(png_structp png, png_bytep row)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_row(png, row);
    return true;
}

bool EndPicture(png_structp png, png_infop info)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_end(png, info);
    return true;
}

}  // namespace

PngRowWriter::PngRowWriter(const std::string& path, int width, int height) : path_(path), width_(width)
{
    file_ = platform::OpenFile(path, "wb");
    if (file_ == nullptr)
        throw EInOutError("cannot create " + path + ": " + std::strerror(errno));
    try {
        row_ = new uint8_t[size_t(width) * 3];
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message_, OnPngError, OnPngWarning);
        png_infop info = png ? png_create_info_struct(png) : nullptr;
        png_ = png;
        info_ = info;
        if (info == nullptr)
            Fail("out of memory");
        if (!StartPicture(png, info, file_, width, height))
            Fail(message_);
    } catch (...) {
        Release();
        throw;
    }
}

PngRowWriter::~PngRowWriter()
{
    Release();
}

void PngRowWriter::Release()
{
    auto png = static_cast<png_structp>(png_);
    auto info = static_cast<png_infop>(info_);
    if (png != nullptr)
        png_destroy_write_struct(&png, info ? &info : nullptr);
    png_ = info_ = nullptr;
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = nullptr;
    delete[] row_;
    row_ = nullptr;
}

void PngRowWriter::WriteBgrRow(const uint8_t* bgr)
{
    for (int x = 0; x < width_; ++x) {
        row_[3 * x] = bgr[3 * x + 2];
        row_[3 * x + 1] = bgr[3 * x + 1];
        row_[3 * x + 2] = bgr[3 * x];
    }
    if (!WriteRow(static_cast<png_structp>(png_), row_))
        Fail(message_);
}

void PngRowWriter::Finish()
{
    if (!EndPicture(static_cast<png_structp>(png_), static_cast<png_infop>(info_)))
        Fail(message_);
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fflush(file) != 0 || std::ferror(file) != 0) {
        std::fclose(file);
        Fail("write failed");
    }
    if (std::fclose(file) != 0)
        Fail("write failed");
}

void PngRowWriter::Fail(const char* what)
{
    throw EInOutError(path_ + ": " + what);
}

}  // namespace tools
