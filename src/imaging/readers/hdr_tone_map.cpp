#include "imaging/readers/hdr_tone_map.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/cancel.h"

namespace tablora {

namespace {

// Display light of a coded value in [0, 1], relative to the 203 cd/m² of graphics white.
float HdrLinear(THdr transfer, float coded) {
  constexpr float kReferenceWhite = 203.0f;
  if (transfer == THdr::hdPQ) {
    constexpr float m1 = 2610.0f / 16384, m2 = 2523.0f / 4096 * 128;
    constexpr float c1 = 3424.0f / 4096, c2 = 2413.0f / 4096 * 32, c3 = 2392.0f / 4096 * 32;
    const float p = std::pow(coded, 1 / m2);
    return 10000.0f * std::pow(std::max(p - c1, 0.0f) / (c2 - c3 * p), 1 / m1) / kReferenceWhite;
  }
  // HLG's scene light shown on a 1000 cd/m² display (its system gamma of 1.2 taken per channel).
  constexpr float a = 0.17883277f, b = 0.28466892f, c = 0.55991073f;
  const float scene = coded <= 0.5f ? coded * coded / 3 : (std::exp((coded - c) / a) + b) / 12;
  return 1000.0f * std::pow(scene, 1.2f) / kReferenceWhite;
}

uint8_t SrgbEncoded(float linear) {
  const float v = std::clamp(linear, 0.0f, 1.0f);
  const float e = v <= 0.0031308f ? 12.92f * v : 1.055f * std::pow(v, 1 / 2.4f) - 0.055f;
  return static_cast<uint8_t>(std::lround(e * 255));
}

}  // namespace

THdrSource HdrSourceOf(int colourPrimaries, int transferCharacteristics) {
  THdrSource source;
  if (transferCharacteristics == 16) source.transfer = THdr::hdPQ;
  if (transferCharacteristics == 18) source.transfer = THdr::hdHLG;
  static constexpr float kBt2020[3][3] = {
      {1.6605f, -0.5876f, -0.0728f}, {-0.1246f, 1.1329f, -0.0083f}, {-0.0182f, -0.1006f, 1.1187f}};
  static constexpr float kP3[3][3] = {{1.2249f, -0.2247f, 0.0f}, {-0.0420f, 1.0419f, 0.0f}, {-0.0197f, -0.0786f, 1.0979f}};
  const auto* matrix = colourPrimaries == 9 ? kBt2020 : colourPrimaries == 12 ? kP3 : nullptr;
  if (matrix != nullptr) std::memcpy(source.toSrgb, matrix, sizeof source.toSrgb);
  return source;
}

void ToneMap(const THdrSource& source, const uint8_t* plane, std::size_t stride, int bits, bool alpha, TBitmap& bitmap) {
  const int maximum = (1 << bits) - 1;
  std::vector<float> linear(static_cast<std::size_t>(maximum) + 1);
  for (int v = 0; v <= maximum; ++v) linear[static_cast<std::size_t>(v)] = HdrLinear(source.transfer, static_cast<float>(v) / maximum);
  // Extended Reinhard on the largest channel, white at 1000 cd/m²: hues stay, highlights roll off.
  constexpr float kWhite = 1000.0f / 203.0f;
  std::vector<uint8_t> encode(4097);
  for (std::size_t i = 0; i < encode.size(); ++i) encode[i] = SrgbEncoded(static_cast<float>(i) / 4096);
  const int channels = alpha ? 4 : 3;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const auto* in = reinterpret_cast<const uint16_t*>(plane + static_cast<std::size_t>(y) * stride);
    uint8_t* out = bitmap.ScanLine(y);
    if (y % 64 == 0) CheckCancel();
    for (int x = 0; x < bitmap.Width(); ++x, in += channels, out += channels) {
      float rgb[3];
      for (int k = 0; k < 3; ++k) rgb[k] = linear[std::min<int>(in[k], maximum)];
      float mapped[3];
      for (int k = 0; k < 3; ++k) {
        mapped[k] = std::max(0.0f, source.toSrgb[k][0] * rgb[0] + source.toSrgb[k][1] * rgb[1] + source.toSrgb[k][2] * rgb[2]);
      }
      const float peak = std::max({mapped[0], mapped[1], mapped[2]});
      const float scale = peak > 0 ? (1 + peak / (kWhite * kWhite)) / (1 + peak) : 1;
      for (int k = 0; k < 3; ++k) out[2 - k] = encode[static_cast<std::size_t>(std::clamp(mapped[k] * scale, 0.0f, 1.0f) * 4096)];
      if (alpha) out[3] = static_cast<uint8_t>((std::min<int>(in[3], maximum) * 255 + maximum / 2) / maximum);
    }
  }
}

}  // namespace tablora
