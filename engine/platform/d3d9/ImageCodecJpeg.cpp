// JPEG through libjpeg. Its errors leave by longjmp, so each step that may fail runs in a
// function of its own whose frame holds nothing with a destructor; buffers are made between
// the steps.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "platform/d3d9/ImageCodecFormats.h"

namespace ImageCodec {
namespace Formats {

namespace {

// A progressive file may hold any number of scans, each a pass over the whole image; real
// encoders write about ten. Beyond this a file only costs time.
constexpr int kMaxScans = 100;

constexpr int kQuality = 95;

struct ErrorTrap {
    jpeg_error_mgr Manager;
    jmp_buf Jump;
};

[[noreturn]] void Escape(j_common_ptr common) {
    std::longjmp(reinterpret_cast<ErrorTrap*>(common->err)->Jump, 1);
}

// Warnings that mean pixels are missing or made up end the decode; the others (stray bytes
// between segments, unusual headers) leave the picture whole and are ignored, as is all text.
void OnMessage(j_common_ptr common, int level) {
    if (level >= 0) return;
    switch (common->err->msg_code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
            Escape(common);
        default:
            break;
    }
}

void OnProgress(j_common_ptr common) {
    if (common->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > kMaxScans) {
        Escape(common);
    }
}

struct Decoder {
    jpeg_decompress_struct Info;
    ErrorTrap Trap;
    jpeg_progress_mgr Progress;
    bool Cmyk = false;
};

void InstallTrap(jpeg_error_mgr& manager) {
    manager.error_exit = Escape;
    manager.emit_message = OnMessage;
    manager.output_message = [](j_common_ptr) {};
}

bool StartDecoder(Decoder& d, const uint8_t* data, size_t size, bool headerOnly) {
    if (setjmp(d.Trap.Jump)) return false;
    jpeg_create_decompress(&d.Info);
    // Creation clears every field but the error manager, so the monitor goes in after it.
    d.Progress.progress_monitor = OnProgress;
    d.Info.progress = &d.Progress;
    jpeg_mem_src(&d.Info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&d.Info, TRUE) != JPEG_HEADER_OK) return false;
    if (!SidesFit(d.Info.image_width, d.Info.image_height)) return false;
    if (headerOnly) return true;
    // Huffman-coded data spends at least one bit on every 8x8 block (two in sequential files,
    // a DC and an end-of-block code), so a file too short for that cannot hold the picture it
    // claims: refuse it before the pixels are allocated.
    if (!d.Info.arith_code) {
        const uint64_t blocks =
            uint64_t((d.Info.image_width + 7) / 8) * uint64_t((d.Info.image_height + 7) / 8);
        if (uint64_t(size) * 8 < blocks * (d.Info.progressive_mode ? 1 : 2)) return false;
    }
    d.Cmyk = d.Info.jpeg_color_space == JCS_CMYK || d.Info.jpeg_color_space == JCS_YCCK;
    d.Info.out_color_space = d.Cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&d.Info);
    return d.Info.output_width == d.Info.image_width && d.Info.output_height == d.Info.image_height;
}

bool ReadRows(Decoder& d, uint32_t* pixels) {
    if (setjmp(d.Trap.Jump)) return false;
    const JDIMENSION w = d.Info.output_width;
    while (d.Info.output_scanline < d.Info.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(pixels + size_t(d.Info.output_scanline) * w);
        if (jpeg_read_scanlines(&d.Info, &row, 1) != 1) return false;
    }
    jpeg_finish_decompress(&d.Info);
    return true;
}

// Files with four channels store inverted ink amounts, so each colour is the product of its
// channel and the key.
void CmykToArgb(std::vector<uint32_t>& pixels) {
    for (uint32_t& p : pixels) {
        uint8_t cmyk[4];
        std::memcpy(cmyk, &p, 4);
        const uint32_t k = cmyk[3];
        p = Argb(0xFF, cmyk[0] * k / 255, cmyk[1] * k / 255, cmyk[2] * k / 255);
    }
}

struct Encoder {
    jpeg_compress_struct Info;
    ErrorTrap Trap;
    unsigned char* Buffer = nullptr;
    unsigned long Size = 0;
};

bool WriteRows(Encoder& e, const Image& image, JSAMPROW row) {
    if (setjmp(e.Trap.Jump)) return false;
    jpeg_create_compress(&e.Info);
    jpeg_mem_dest(&e.Info, &e.Buffer, &e.Size);
    e.Info.image_width = JDIMENSION(image.Width);
    e.Info.image_height = JDIMENSION(image.Height);
    e.Info.input_components = 3;
    e.Info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&e.Info);
    jpeg_set_quality(&e.Info, kQuality, TRUE);
    jpeg_start_compress(&e.Info, TRUE);
    while (e.Info.next_scanline < e.Info.image_height) {
        const uint32_t* in = &image.Pixels[size_t(e.Info.next_scanline) * size_t(image.Width)];
        for (int x = 0; x < image.Width; ++x) {
            row[x * 3] = JSAMPLE(in[x] >> 16);
            row[x * 3 + 1] = JSAMPLE(in[x] >> 8);
            row[x * 3 + 2] = JSAMPLE(in[x]);
        }
        jpeg_write_scanlines(&e.Info, &row, 1);
    }
    jpeg_finish_compress(&e.Info);
    return true;
}

}  // namespace

bool JpegInfo(const uint8_t* data, size_t size, Info& info) {
    Decoder d;
    d.Info.err = jpeg_std_error(&d.Trap.Manager);
    InstallTrap(d.Trap.Manager);
    const bool ok = StartDecoder(d, data, size, true);
    if (ok) {
        info.Width = int(d.Info.image_width);
        info.Height = int(d.Info.image_height);
        info.HasAlpha = false;
    }
    jpeg_destroy_decompress(&d.Info);
    return ok;
}

bool JpegDecode(const uint8_t* data, size_t size, Image& image) {
    Decoder d;
    d.Info.err = jpeg_std_error(&d.Trap.Manager);
    InstallTrap(d.Trap.Manager);
    bool ok = StartDecoder(d, data, size, false);
    if (ok) {
        image.Width = int(d.Info.output_width);
        image.Height = int(d.Info.output_height);
        image.HasAlpha = false;
        image.Pixels.resize(size_t(image.Width) * size_t(image.Height));
        ok = ReadRows(d, image.Pixels.data());
    }
    jpeg_destroy_decompress(&d.Info);
    if (!ok) return false;
    if (d.Cmyk) {
        CmykToArgb(image.Pixels);
    } else {
        BgraBytesToTexels(image.Pixels);
    }
    return true;
}

bool JpegEncode(const Image& image, std::vector<uint8_t>& out) {
    Encoder e;
    e.Info.err = jpeg_std_error(&e.Trap.Manager);
    InstallTrap(e.Trap.Manager);
    std::vector<JSAMPLE> row(size_t(image.Width) * 3);
    const bool ok = WriteRows(e, image, row.data());
    if (ok) out.assign(e.Buffer, e.Buffer + e.Size);
    jpeg_destroy_compress(&e.Info);
    std::free(e.Buffer);
    return ok;
}

}  // namespace Formats
}  // namespace ImageCodec
