#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>

#include "imaging/bitmap.h"
#include "imaging/icc_profile.h"
#include "imaging/image_format.h"

namespace tablora {

class TIccTransform;

// JPEG XL through libjxl: the first frame at full size, turned upright by libjxl (so the file's
// orientation is not applied again), alpha kept as straight alpha (premultiplied files are
// divided back by libjxl). Colours: a picture stored in XYB is handed back as sRGB by libjxl
// itself; any other keeps the colours of its data, described by JxlProfile for the colour stage;
// CMYK (colour channels and a black channel, white at the top of the range) goes through its
// CMYK profile here, by the ink formula when lcms2 cannot use it. Every failure of libjxl is
// "Cannot load image. Invalid or unexpected JPEG XL image format."
class TJXLReader : public TFormatReader {
 public:
  TJXLReader();
  ~TJXLReader() override;
  TJXLReader(const TJXLReader&) = delete;
  TJXLReader& operator=(const TJXLReader&) = delete;

  void Load(std::span<const uint8_t> file) override;
  int Width() override { return width_; }
  int Height() override { return height_; }
  const TBitmap& Pixels() override;
  bool CmykSamples() override { return blackChannel_ >= 0; }
  // The CMYK profile the samples went through; for other pictures the file's own colours (the
  // ones libjxl converted from XYB, or those the colour stage converts), for `info` to name.
  std::vector<uint8_t> ReaderProfile() override;

 private:
  // Runs the decoder on until it reports one of `wanted` (or asks for the output buffer).
  int Run(int wanted);
  void ToSrgbFromCmyk();

  struct TDecoder;
  std::unique_ptr<TDecoder> decoder_;
  int width_ = 0;
  int height_ = 0;
  bool alpha_ = false;
  bool xyb_ = false;
  // The index of the black extra channel of a CMYK picture; -1: not CMYK.
  int blackChannel_ = -1;
  bool decoded_ = false;
  TIccProfile original_;
  std::shared_ptr<const TIccTransform> cmykTransform_;
  TBitmap bitmap_;
};

// A bare codestream (FF 0A) or the container's signature box.
bool IsJXL(std::span<const uint8_t> file);
// The size as shown, after the codestream's orientation; orientation 1.
std::optional<TImageHeader> ProbeJXL(std::span<const uint8_t> file);
// The colours of the pixels TJXLReader hands back for `file`: empty for sRGB (which is what libjxl
// makes of XYB pictures) and for CMYK ones (converted by the reader); otherwise the data's profile,
// as embedded or as libjxl builds it from the file's colour description (grey ones as an RGB
// profile of the same tone curve, which is what their grey-as-RGB pixels need).
TIccProfile JxlProfile(std::span<const uint8_t> file);

}  // namespace tablora
