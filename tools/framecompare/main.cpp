// framecompare REFERENCE.png OTHER.png [options]
//
// Compares two pictures of one scene, drawn by two devices, pixel by pixel over red, green
// and blue (alpha is left out: a back buffer without alpha may save anything there). It
// prints the share of pixels that are identical, within 2 and within 8 levels in every
// channel, and the largest difference, optionally writes a difference image and a picture of
// the two side by side with it, and fails when a share falls below the threshold given.
// Rectangles named with --ignore (what differs from run to run, such as measured frame
// times) are left out of the figures and shown grey in the difference image.
//
// Exit status: 0 when the pictures meet every threshold, 1 when one does not, 2 when a file
// cannot be read or written or the pictures differ in size.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Picture {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgba;  // 4 bytes a pixel, row by row
};

bool Read(const std::string& path, Picture& picture, std::string& error) {
    int channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> data(
        stbi_load(path.c_str(), &picture.Width, &picture.Height, &channels, 4), stbi_image_free);
    if (data == nullptr) {
        const char* reason = stbi_failure_reason();
        error = "cannot read " + path + ": " + (reason != nullptr ? reason : "unknown reason");
        return false;
    }
    picture.Rgba.assign(data.get(),
                        data.get() + static_cast<size_t>(picture.Width) * picture.Height * 4);
    return true;
}

int Difference(const uint8_t* a, const uint8_t* b) {
    int largest = 0;
    for (int c = 0; c < 3; c++) largest = std::max(largest, std::abs(int(a[c]) - int(b[c])));
    return largest;
}

// The reference dimmed to a quarter where the two agree, so that the scene stays
// recognisable, and a colour by size where they do not: blue up to 2 levels, yellow up to
// 8, red beyond.
void DiffPixel(const uint8_t* reference, int difference, uint8_t* out) {
    if (difference == 0) {
        for (int c = 0; c < 3; c++) out[c] = reference[c] / 4;
    } else if (difference <= 2) {
        out[0] = 0x30, out[1] = 0x60, out[2] = 0xFF;
    } else if (difference <= 8) {
        out[0] = 0xFF, out[1] = 0xE0, out[2] = 0x20;
    } else {
        out[0] = 0xFF, out[1] = 0x20, out[2] = 0x20;
    }
    out[3] = 0xFF;
}

struct Area {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool Holds(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
};

bool ParseArea(const std::string& text, Area& area) {
    char end = 0;
    return std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &area.Left, &area.Top, &area.Right,
                       &area.Bottom, &end) == 4 &&
           area.Left < area.Right && area.Top < area.Bottom;
}

double Percent(long count, long total) {
    return total == 0 ? 100.0 : 100.0 * static_cast<double>(count) / static_cast<double>(total);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Compares two pictures of one scene pixel by pixel: the shares identical, within 2 and "
        "within 8 levels, the largest difference, and a difference image."};
    std::string referencePath, otherPath, diffPath, sidePath, name;
    double minIdentical = 0, minWithin2 = 0, minWithin8 = 0;
    int maxDifference = 255;
    std::vector<std::string> ignoreTexts;
    app.add_option("REFERENCE", referencePath, "the first picture (PNG)")->required();
    app.add_option("OTHER", otherPath, "the second picture (PNG), of the same size")->required();
    app.add_option("--diff", diffPath, "write the difference image here (PNG)");
    app.add_option("--side-by-side", sidePath,
                   "write the two pictures and the difference image side by side here (PNG)");
    app.add_option("--name", name, "the scene's name in the report line");
    app.add_option("--min-identical", minIdentical, "least share of identical pixels, percent");
    app.add_option("--min-within2", minWithin2, "least share within 2 levels, percent");
    app.add_option("--min-within8", minWithin8, "least share within 8 levels, percent");
    app.add_option("--max-difference", maxDifference, "largest difference allowed, levels");
    app.add_option("--ignore", ignoreTexts, "leave out the rectangle LEFT,TOP,RIGHT,BOTTOM");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    std::vector<Area> ignored;
    for (const std::string& text : ignoreTexts) {
        Area area;
        if (!ParseArea(text, area)) {
            std::fprintf(stderr, "framecompare: --ignore takes LEFT,TOP,RIGHT,BOTTOM, not %s\n",
                         text.c_str());
            return 2;
        }
        ignored.push_back(area);
    }
    Picture reference, other;
    std::string error;
    if (!Read(referencePath, reference, error) || !Read(otherPath, other, error)) {
        std::fprintf(stderr, "framecompare: %s\n", error.c_str());
        return 2;
    }
    if (reference.Width != other.Width || reference.Height != other.Height) {
        std::fprintf(stderr, "framecompare: the pictures differ in size: %d x %d and %d x %d\n",
                     reference.Width, reference.Height, other.Width, other.Height);
        return 2;
    }

    const long pixels = static_cast<long>(reference.Width) * reference.Height;
    long total = 0, identical = 0, within2 = 0, within8 = 0;
    int largest = 0;
    std::vector<uint8_t> diff(reference.Rgba.size());
    for (long i = 0; i < pixels; i++) {
        const int x = static_cast<int>(i % reference.Width),
                  y = static_cast<int>(i / reference.Width);
        if (std::any_of(ignored.begin(), ignored.end(),
                        [x, y](const Area& a) { return a.Holds(x, y); })) {
            std::fill_n(&diff[i * 4], 3, uint8_t{0x40});
            diff[i * 4 + 3] = 0xFF;
            continue;
        }
        total++;
        const int d = Difference(&reference.Rgba[i * 4], &other.Rgba[i * 4]);
        identical += d == 0;
        within2 += d <= 2;
        within8 += d <= 8;
        largest = std::max(largest, d);
        DiffPixel(&reference.Rgba[i * 4], d, &diff[i * 4]);
    }
    const double pIdentical = Percent(identical, total), pWithin2 = Percent(within2, total),
                 pWithin8 = Percent(within8, total);
    std::printf("%s%s%.2f%% identical, %.2f%% within 2, %.2f%% within 8, largest difference %d\n",
                name.c_str(), name.empty() ? "" : ": ", pIdentical, pWithin2, pWithin8, largest);

    const int w = reference.Width, h = reference.Height;
    if (!diffPath.empty() && stbi_write_png(diffPath.c_str(), w, h, 4, diff.data(), w * 4) == 0) {
        std::fprintf(stderr, "framecompare: cannot write %s\n", diffPath.c_str());
        return 2;
    }
    if (!sidePath.empty()) {
        constexpr int kGap = 4;
        const int sideWidth = 3 * w + 2 * kGap;
        std::vector<uint8_t> side(static_cast<size_t>(sideWidth) * h * 4, 0xFF);
        const std::vector<uint8_t>* parts[3] = {&reference.Rgba, &other.Rgba, &diff};
        for (int p = 0; p < 3; p++)
            for (int y = 0; y < h; y++)
                std::copy_n(
                    parts[p]->data() + static_cast<size_t>(y) * w * 4, w * 4,
                    side.data() + (static_cast<size_t>(y) * sideWidth + p * (w + kGap)) * 4);
        if (stbi_write_png(sidePath.c_str(), sideWidth, h, 4, side.data(), sideWidth * 4) == 0) {
            std::fprintf(stderr, "framecompare: cannot write %s\n", sidePath.c_str());
            return 2;
        }
    }

    struct Check {
        const char* What;
        double Value, Least;
    } checks[] = {{"identical", pIdentical, minIdentical},
                  {"within 2", pWithin2, minWithin2},
                  {"within 8", pWithin8, minWithin8}};
    int status = 0;
    for (const Check& c : checks) {
        if (c.Value >= c.Least) continue;
        std::fprintf(stderr, "framecompare: %s%s%.2f%% %s, below the threshold of %.2f%%\n",
                     name.c_str(), name.empty() ? "" : ": ", c.Value, c.What, c.Least);
        status = 1;
    }
    if (largest > maxDifference) {
        std::fprintf(stderr, "framecompare: %s%slargest difference %d, above the threshold of %d\n",
                     name.c_str(), name.empty() ? "" : ": ", largest, maxDifference);
        status = 1;
    }
    return status;
}
