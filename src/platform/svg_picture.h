#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>

#include "imaging/bitmap.h"
#include "imaging/types.h"

namespace tablora {

// An SVG drawing's width and height in its own units; nothing when the bytes are no drawing Qt
// can render, or one without a size.
std::optional<std::pair<double, double>> SvgSize(std::span<const uint8_t> svg);

// The drawing scaled to width x height pixels over an opaque background; nothing when it cannot
// be rendered.
std::optional<TBitmap> RenderSvg(std::span<const uint8_t> svg, int width, int height, TColor background);

}  // namespace tablora
