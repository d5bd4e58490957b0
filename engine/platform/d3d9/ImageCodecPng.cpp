// PNG through libpng. Errors leave libpng by longjmp, so each step that may fail runs in a
// function of its own whose frame holds nothing with a destructor; buffers are made between
// the steps.
#include <png.h>

#include <algorithm>
#include <csetjmp>

#include "platform/d3d9/ImageCodecFormats.h"

namespace ImageCodec {
namespace Formats {

namespace {

// Deflate never expands data by more than this factor (258-byte matches in two bits), so
// compressed image data smaller than the pixels over this cannot be a whole image.
constexpr uint64_t kMaxInflateRatio = 1032;

struct MemoryReader {
    const uint8_t* Data;
    size_t Size;
    size_t Pos;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > reader->Size - reader->Pos) png_error(png, "truncated");
    std::memcpy(out, reader->Data + reader->Pos, count);
    reader->Pos += count;
}

void AppendToVector(png_structp png, png_bytep bytes, png_size_t count) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), bytes, bytes + count);
}

void FlushNothing(png_structp) {}

// The engine reports a refused image by its result; libpng's own messages are not wanted
// on standard error.
void QuietError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void QuietWarning(png_structp, png_const_charp) {}

// The header chunk's fields and the sum of the image data chunks present in the file,
// walked without libpng so a file that cannot hold its pixels is refused before any
// allocation.
bool PngHoldsItsPixels(const uint8_t* data, size_t size, Info& info) {
    if (size < 33 || std::memcmp(data + 12, "IHDR", 4) != 0) return false;
    const uint32_t w = ReadU32Be(data + 16);
    const uint32_t h = ReadU32Be(data + 20);
    if (!SidesFit(w, h)) return false;
    const uint32_t depth = data[24];
    const uint32_t colour = data[25];
    const uint32_t channels = colour == 0 || colour == 3 ? 1
                              : colour == 4              ? 2
                              : colour == 2              ? 3
                                                         : 4;
    info.Width = int(w);
    info.Height = int(h);
    info.HasAlpha = colour == 4 || colour == 6;

    uint64_t compressed = 0;
    for (size_t p = 8; p + 8 <= size;) {
        const uint64_t length = ReadU32Be(data + p);
        const uint8_t* type = data + p + 4;
        const uint64_t present = std::min<uint64_t>(length, size - p - 8);
        if (std::memcmp(type, "IDAT", 4) == 0) compressed += present;
        if (std::memcmp(type, "tRNS", 4) == 0) info.HasAlpha = true;
        if (std::memcmp(type, "IEND", 4) == 0) break;
        p += 8 + size_t(present) + 4;
    }
    const uint64_t pixelBytes = (uint64_t(w) * h * channels * depth + 7) / 8;
    return compressed * kMaxInflateRatio >= pixelBytes;
}

// Reads the header and sets the transforms that turn every PNG layout into 8-bit blue,
// green, red, alpha.
bool ReadHeader(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);
    const int colour = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (depth == 16) png_set_strip_16(png);
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    if ((colour & PNG_COLOR_MASK_ALPHA) == 0 && !png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == size_t(png_get_image_width(png, info)) * 4;
}

bool ReadRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    // The trailing chunks add nothing to the pixels, so a file cut after its image data
    // still loads.
    png_read_image(png, rows);
    return true;
}

bool WriteRows(png_structp png, png_infop info, const Image& image, bool alpha, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, png_uint_32(image.Width), png_uint_32(image.Height), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t comp = alpha ? 4 : 3;
    for (int y = 0; y < image.Height; ++y) {
        const uint32_t* in = &image.Pixels[size_t(y) * size_t(image.Width)];
        for (int x = 0; x < image.Width; ++x) {
            png_bytep p = row + size_t(x) * comp;
            p[0] = png_byte(in[x] >> 16);
            p[1] = png_byte(in[x] >> 8);
            p[2] = png_byte(in[x]);
            if (alpha) p[3] = png_byte(in[x] >> 24);
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool PngInfo(const uint8_t* data, size_t size, Info& info) {
    return PngHoldsItsPixels(data, size, info);
}

bool PngDecode(const uint8_t* data, size_t size, Image& image) {
    Info header;
    if (!PngHoldsItsPixels(data, size, header)) return false;
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    MemoryReader reader = {data, size, 0};
    bool ok = info != nullptr;
    if (ok) {
        png_set_read_fn(png, &reader, ReadFromMemory);
        ok = ReadHeader(png, info);
    }
    if (ok) {
        const png_uint_32 w = png_get_image_width(png, info);
        const png_uint_32 h = png_get_image_height(png, info);
        const int colour = png_get_color_type(png, info);
        image.Width = int(w);
        image.Height = int(h);
        image.HasAlpha = (colour & PNG_COLOR_MASK_ALPHA) != 0;
        image.Pixels.resize(size_t(w) * h);
        std::vector<png_bytep> rows(h);
        for (png_uint_32 y = 0; y < h; ++y) {
            rows[y] = reinterpret_cast<png_bytep>(&image.Pixels[size_t(y) * w]);
        }
        ok = ReadRows(png, rows.data());
    }
    png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    if (ok) BgraBytesToTexels(image.Pixels);
    return ok;
}

bool PngEncode(const Image& image, bool alpha, std::vector<uint8_t>& out) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    std::vector<png_byte> row(size_t(image.Width) * 4);
    bool ok = info != nullptr;
    if (ok) {
        png_set_write_fn(png, &out, AppendToVector, FlushNothing);
        ok = WriteRows(png, info, image, alpha, row.data());
    }
    png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    return ok;
}

}  // namespace Formats
}  // namespace ImageCodec
