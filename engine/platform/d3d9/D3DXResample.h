// Rescaling of 0xAARRGGBB images for texture loading and mip generation. Channels are
// filtered independently (no premultiplication), as texture tools traditionally do.
#pragma once

#include <cstdint>
#include <vector>

namespace D3DXResample {

enum class Filter {
    kNone,   // no scaling: the overlap is copied, the rest is transparent black
    kPoint,  // nearest texel
    kBox,    // area average when shrinking, linear when growing
};

// Filter of a D3DX_FILTER_* word (flags above the type ignored); D3DX_DEFAULT gives kBox.
Filter FromFilterWord(uint32_t word);

// Scales src (sw x sh) to dw x dh. Equal sizes copy exactly whatever the filter.
std::vector<uint32_t> Resize(const std::vector<uint32_t>& src, int sw, int sh, int dw, int dh,
                             Filter filter);

}  // namespace D3DXResample
