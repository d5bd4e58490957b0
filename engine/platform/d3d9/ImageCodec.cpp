#include "platform/d3d9/ImageCodec.h"

#include <climits>
#include <cstring>

#include "platform/d3d9/ImageCodecFormats.h"

namespace ImageCodec {

namespace {

bool StartsWith(const uint8_t* data, size_t size, const char* signature, size_t length) {
    return size >= length && std::memcmp(data, signature, length) == 0;
}

bool SizeFits(const uint8_t* data, size_t size) {
    return data != nullptr && size > 0 && size <= static_cast<size_t>(INT_MAX);
}

struct Reader {
    bool (*ReadInfo)(const uint8_t*, size_t, Formats::Info&);
    bool (*Decode)(const uint8_t*, size_t, Image&);
};

const Reader* ReaderFor(FileFormat format) {
    static const Reader kPngReader = {Formats::PngInfo, Formats::PngDecode};
    static const Reader kJpegReader = {Formats::JpegInfo, Formats::JpegDecode};
    static const Reader kBmpReader = {Formats::BmpInfo, Formats::BmpDecode};
    static const Reader kTgaReader = {Formats::TgaInfo, Formats::TgaDecode};
    switch (format) {
        case kPng:
            return &kPngReader;
        case kJpg:
            return &kJpegReader;
        case kBmp:
            return &kBmpReader;
        case kTga:
            return &kTgaReader;
        default:
            return nullptr;
    }
}

}  // namespace

FileFormat Identify(const uint8_t* data, size_t size) {
    if (!SizeFits(data, size)) return kUnknown;
    if (StartsWith(data, size, "DDS ", 4)) return kDds;
    if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) return kPng;
    if (StartsWith(data, size, "\xFF\xD8", 2)) return kJpg;
    if (StartsWith(data, size, "BM", 2)) return kBmp;
    // TGA has no signature: it is TGA when the header reads as one.
    Formats::Info info;
    if (Formats::TgaInfo(data, size, info)) return kTga;
    return kUnknown;
}

bool ReadInfo(const uint8_t* data, size_t size, int& width, int& height, bool& hasAlpha,
              FileFormat& format) {
    format = Identify(data, size);
    const Reader* reader = ReaderFor(format);
    Formats::Info info;
    if (reader == nullptr || !reader->ReadInfo(data, size, info) ||
        !Formats::SidesFit(info.Width, info.Height)) {
        return false;
    }
    width = info.Width;
    height = info.Height;
    hasAlpha = info.HasAlpha;
    return true;
}

bool Decode(const uint8_t* data, size_t size, Image& image) {
    image = Image();
    const Reader* reader = ReaderFor(Identify(data, size));
    if (reader == nullptr) return false;
    if (!reader->Decode(data, size, image)) {
        image = Image();
        return false;
    }
    return true;
}

bool Encode(const Image& image, FileFormat format, bool writeAlpha, std::vector<uint8_t>& out) {
    out.clear();
    if (image.Width <= 0 || image.Height <= 0 ||
        image.Pixels.size() != static_cast<size_t>(image.Width) * image.Height) {
        return false;
    }
    bool ok = false;
    switch (format) {
        case kBmp:
            ok = Formats::BmpEncode(image, out);
            break;
        case kJpg:
            ok = Formats::JpegEncode(image, out);
            break;
        case kTga:
            ok = Formats::TgaEncode(image, writeAlpha, out);
            break;
        case kPng:
            ok = Formats::PngEncode(image, writeAlpha, out);
            break;
        default:
            break;
    }
    if (!ok) out.clear();
    return ok;
}

}  // namespace ImageCodec
