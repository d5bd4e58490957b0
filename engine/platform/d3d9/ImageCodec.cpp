#include "platform/d3d9/ImageCodec.h"

#include <climits>
#include <cstring>

// The decoders are compiled here once and kept private to this file, so another part of the
// program that embeds the same headers cannot clash with us at link time.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb_image.h>
// The JPEG writer shifts negative ints (defined since C++20, undefined before), which the
// undefined-behaviour checker would stop on. Its functions are all file-local, so marking every
// static declaration of that header exempt from shift checks covers it and touches nothing
// else; the C headers it pulls in are included first so the macro never reaches them.
#include <assert.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#pragma GCC diagnostic ignored "-Wattributes"
#pragma push_macro("static")
#define static static __attribute__((no_sanitize("shift")))
#include <stb_image_write.h>
#pragma pop_macro("static")
#pragma GCC diagnostic pop

namespace ImageCodec {

namespace {

bool StartsWith(const uint8_t* data, size_t size, const char* signature, size_t length) {
    return size >= length && std::memcmp(data, signature, length) == 0;
}

// stb takes an int length; anything larger is not an image we would load anyway.
bool SizeFits(const uint8_t* data, size_t size) {
    return data != nullptr && size > 0 && size <= static_cast<size_t>(INT_MAX);
}

void AppendBytes(void* context, void* bytes, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* p = static_cast<const uint8_t*>(bytes);
    out->insert(out->end(), p, p + size);
}

// Byte at p, or 0 past the end, as the decoder's reader gives it.
uint8_t ByteAt(const uint8_t* data, size_t size, size_t p) {
    return p < size ? data[p] : 0;
}

// Walks the Huffman tables of one table segment whose length field is at p, as the decoder
// will. False when a table claims more than 256 codes; next is where the decoder goes on, or
// size when it would give up on the segment anyway.
bool HuffmanSegmentFits(const uint8_t* data, size_t size, size_t p, size_t& next) {
    long left = long((ByteAt(data, size, p) << 8) | ByteAt(data, size, p + 1)) - 2;
    p += 2;
    while (left > 0) {
        long codes = 0;
        for (size_t i = 1; i <= 16; ++i) codes += ByteAt(data, size, p + i);
        if (codes > 256) return false;
        p += 17 + size_t(codes);
        left -= 17 + codes;
    }
    next = left == 0 ? p : size;
    return true;
}

// The JPEG decoder builds each Huffman table from the code counts in the file and writes past
// its arrays when they add up to more than 256. Refuse such files before it sees them: walk
// the segments up to the first scan as the decoder does, then check every table marker in the
// rest (valid scan data never holds one; later scans may bring real tables).
bool JpegTablesFit(const uint8_t* data, size_t size) {
    size_t p = 2;
    bool inScans = false;
    while (p + 1 < size) {
        if (data[p] != 0xFF) {
            ++p;  // the decoder skips stray bytes while it looks for a marker
            continue;
        }
        while (p < size && data[p] == 0xFF) ++p;
        if (p >= size) break;
        const uint8_t marker = data[p++];
        if (marker == 0xC4) {
            size_t next = size;
            if (!HuffmanSegmentFits(data, size, p, next)) return false;
            if (!inScans) p = next;
        } else if (!inScans && marker != 0x00 && marker != 0x01 &&
                   (marker < 0xD0 || marker > 0xD9)) {
            const size_t length = (size_t(ByteAt(data, size, p)) << 8) | ByteAt(data, size, p + 1);
            p += length;
            inScans = marker == 0xDA;
        }
    }
    return true;
}

}  // namespace

FileFormat Identify(const uint8_t* data, size_t size) {
    if (!SizeFits(data, size)) return kUnknown;
    if (StartsWith(data, size, "DDS ", 4)) return kDds;
    if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) return kPng;
    // The decoder takes anything that starts like this as a JPEG.
    if (StartsWith(data, size, "\xFF\xD8", 2)) return JpegTablesFit(data, size) ? kJpg : kUnknown;
    if (StartsWith(data, size, "BM", 2)) return kBmp;
    int w = 0, h = 0, comp = 0;
    // Only the four decoders are compiled in, so whatever else the decoder accepts is TGA.
    if (stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &comp) != 0) return kTga;
    return kUnknown;
}

bool ReadInfo(const uint8_t* data, size_t size, int& width, int& height, bool& hasAlpha,
              FileFormat& format) {
    format = Identify(data, size);
    if (format == kUnknown || format == kDds) return false;
    int w = 0, h = 0, comp = 0;
    if (stbi_info_from_memory(data, static_cast<int>(size), &w, &h, &comp) == 0) return false;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) return false;
    width = w;
    height = h;
    hasAlpha = comp == 2 || comp == 4;
    return true;
}

bool Decode(const uint8_t* data, size_t size, Image& image) {
    image = Image();
    int w = 0, h = 0;
    bool alpha = false;
    FileFormat format = kUnknown;
    // The header check comes first so a tiny file claiming a huge size costs nothing.
    if (!ReadInfo(data, size, w, h, alpha, format)) return false;
    int fw = 0, fh = 0, comp = 0;
    stbi_uc* rgba = stbi_load_from_memory(data, static_cast<int>(size), &fw, &fh, &comp, 4);
    if (rgba == nullptr) return false;
    if (fw != w || fh != h) {
        stbi_image_free(rgba);
        return false;
    }
    image.Width = w;
    image.Height = h;
    image.HasAlpha = comp == 2 || comp == 4;
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    image.Pixels.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const stbi_uc* p = rgba + i * 4;
        image.Pixels[i] = (uint32_t(p[3]) << 24) | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) |
                          uint32_t(p[2]);
    }
    stbi_image_free(rgba);
    return true;
}

bool Encode(const Image& image, FileFormat format, bool writeAlpha, std::vector<uint8_t>& out) {
    out.clear();
    if (image.Width <= 0 || image.Height <= 0 ||
        image.Pixels.size() != static_cast<size_t>(image.Width) * image.Height) {
        return false;
    }
    const bool alpha = writeAlpha && (format == kPng || format == kTga);
    const int comp = alpha ? 4 : 3;
    std::vector<uint8_t> bytes(image.Pixels.size() * comp);
    for (size_t i = 0; i < image.Pixels.size(); ++i) {
        const uint32_t argb = image.Pixels[i];
        uint8_t* p = &bytes[i * comp];
        p[0] = uint8_t(argb >> 16);
        p[1] = uint8_t(argb >> 8);
        p[2] = uint8_t(argb);
        if (alpha) p[3] = uint8_t(argb >> 24);
    }
    const int stride = image.Width * comp;
    int ok = 0;
    switch (format) {
        case kBmp:
            ok = stbi_write_bmp_to_func(AppendBytes, &out, image.Width, image.Height, comp,
                                        bytes.data());
            break;
        case kJpg:
            ok = stbi_write_jpg_to_func(AppendBytes, &out, image.Width, image.Height, comp,
                                        bytes.data(), 95);
            break;
        case kTga:
            ok = stbi_write_tga_to_func(AppendBytes, &out, image.Width, image.Height, comp,
                                        bytes.data());
            break;
        case kPng:
            ok = stbi_write_png_to_func(AppendBytes, &out, image.Width, image.Height, comp,
                                        bytes.data(), stride);
            break;
        default:
            return false;
    }
    if (ok == 0) out.clear();
    return ok != 0;
}

}  // namespace ImageCodec
