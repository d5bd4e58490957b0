// The consumer game's helper: writes the sprite's texture, and checks the game's screenshot
// against what the game draws, worked out from the texture and the layout rather than from an
// earlier capture.
//
//   check_shot texture OUT.png   a 16 x 16 texture, its left half kLeft, its right half kRight
//   check_shot shot SHOT.png     exit 0 when the screenshot holds the sprite and the text
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kLeft = 0xE04020;  // RGB
constexpr uint32_t kRight = 0x30C050;
constexpr uint32_t kClear = 0x202040;  // the game's clear colour
constexpr uint32_t kInk = 0xFFFFFF;    // its text colour
// The game draws the sprite over [96, 160) x [40, 104), 4 screen pixels a texel, and its text
// from (16, 140) at the font's native size of 32, so a line fills [16, 320) x [140, 172).
constexpr int kSpriteLeft = 96, kSpriteTop = 40, kSpriteRight = 160, kSpriteBottom = 104;
constexpr int kTextLeft = 16, kTextTop = 140, kTextBottom = 172;

struct Image {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;  // RGB, row by row
    uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};

bool Read(const char* path, Image& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path)) return false;
    png.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) return false;
    image.Width = static_cast<int>(png.width);
    image.Height = static_cast<int>(png.height);
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        image.Pixels.push_back(uint32_t(rgb[i]) << 16 | uint32_t(rgb[i + 1]) << 8 | rgb[i + 2]);
    return true;
}

bool WriteTexture(const char* path) {
    std::vector<uint8_t> rgba;
    for (int y = 0; y < 16; y++) {
        for (int x = 0; x < 16; x++) {
            const uint32_t c = x < 8 ? kLeft : kRight;
            rgba.insert(rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 0xFF});
        }
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = 16;
    png.height = 16;
    png.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&png, path, 0, rgba.data(), 0, nullptr) != 0;
}

int Fail(const std::string& what) {
    fprintf(stderr, "check_shot: %s\n", what.c_str());
    return 1;
}

int CheckShot(const char* path) {
    Image shot;
    if (!Read(path, shot)) return Fail(std::string("cannot read ") + path);
    if (shot.Width != 320 || shot.Height != 200) return Fail("the screenshot is not 320 x 200");
    // Linear filtering blends texels across the middle of the sprite: pixels more than half a
    // texel (2 pixels) from it and inside the sprite show one half's colour exactly.
    for (int y = kSpriteTop; y < kSpriteBottom; y++) {
        for (int x = kSpriteLeft; x < kSpriteRight; x++) {
            const int middle = (kSpriteLeft + kSpriteRight) / 2;
            if (x >= middle - 3 && x < middle + 3) continue;
            const uint32_t want = x < middle ? kLeft : kRight;
            if (shot.At(x, y) != want) {
                char text[128];
                snprintf(text, sizeof text, "sprite pixel (%d, %d) is %06X, not %06X", x, y,
                         shot.At(x, y), want);
                return Fail(text);
            }
        }
    }
    int ink = 0;
    for (int y = 0; y < shot.Height; y++) {
        for (int x = 0; x < shot.Width; x++) {
            const bool sprite =
                x >= kSpriteLeft && x < kSpriteRight && y >= kSpriteTop && y < kSpriteBottom;
            const bool text = x >= kTextLeft && y >= kTextTop && y < kTextBottom;
            if (text) ink += shot.At(x, y) == kInk;
            if (!sprite && !text && shot.At(x, y) != kClear) {
                char message[128];
                snprintf(message, sizeof message, "pixel (%d, %d) is %06X outside what was drawn",
                         x, y, shot.At(x, y));
                return Fail(message);
            }
        }
    }
    // Fully covered texels of the glyphs' stems draw the text colour itself.
    if (ink < 200) return Fail("the text shows " + std::to_string(ink) + " ink pixels");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc == 3 ? argv[1] : "";
    if (command == "texture") return WriteTexture(argv[2]) ? 0 : Fail("cannot write the texture");
    if (command == "shot") return CheckShot(argv[2]);
    fprintf(stderr, "usage: check_shot texture OUT.png | check_shot shot SHOT.png\n");
    return 2;
}
