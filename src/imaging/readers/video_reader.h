#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "imaging/bitmap.h"
#include "imaging/image_format.h"
#include "imaging/metadata.h"

namespace tablora {

// What a clip's container tells without decoding anything.
struct TVideoFacts {
  std::string container;  // "QuickTime / MOV", "Matroska / WebM"
  std::string codec;      // "H.264", "HEVC", "VP9"
  double duration = 0;    // seconds; 0: not known
  double frameRate = 0;   // frames a second; 0: not known
  int rotation = 0;       // clockwise quarter turns the display matrix asks for, in degrees
  uint32_t width = 0;     // the picture as stored, its sample aspect applied; 0: not known
  uint32_t height = 0;
};

// A video clip through FFmpeg (libavformat, libavcodec, libswscale), its poster frame as the
// picture: the first keyframe at or after a tenth of its duration that is not nearly black (of
// the first few tried; else the first of them), decoded once and scaled by libswscale straight
// to the size asked for, in sRGB from the stream's colour description (HLG and PQ tone-mapped).
// FFmpeg reads the file's mapped bytes and nothing else. The display matrix is reported as the
// header's orientation, the picture stays as stored. Every failure of FFmpeg is "Cannot load
// image. Invalid or unexpected video image format."
class TVideoReader : public TFormatReader {
 public:
  TVideoReader();
  ~TVideoReader() override;
  TVideoReader(const TVideoReader&) = delete;
  TVideoReader& operator=(const TVideoReader&) = delete;

  void Load(std::span<const uint8_t> file) override;
  int Width() override { return width_; }
  int Height() override { return height_; }
  void PrepareFor(int32_t width, int32_t height) override;
  const TBitmap& Pixels() override;
  // container, codec, duration ("0:07"), frame rate ("25 fps"), rotation ("90°"), poster (its
  // time, "1.000 s").
  TReaderDetails Details() override;
  TSampleColour SampleColour() override { return TSampleColour::scSrgb; }

  // Keyframes looked at for one that is not nearly black.
  static constexpr int kPosterTries = 4;

 private:
  struct TState;
  std::unique_ptr<TState> state_;
  int width_ = 0;
  int height_ = 0;
  int32_t wantWidth_ = 0;
  int32_t wantHeight_ = 0;
  bool decoded_ = false;
  double posterSeconds_ = -1;
  TBitmap bitmap_;
};

// The containers FFmpeg reads for us by their first bytes: ISO media and QuickTime (not HEIF,
// AVIF or Canon's CR3, which share the box structure), Matroska and WebM, AVI, MPEG transport
// streams (.mts with 188-byte packets, .m2ts with 192).
bool IsVideo(std::span<const uint8_t> file);
// The stored size (sample aspect applied) and the display matrix as orientation, any scale: from
// the container's header alone (a transport stream's size is not there: 0).
std::optional<TImageHeader> ProbeVideo(std::span<const uint8_t> file);
// The container's facts, from its first packets where its header lacks them; nothing when FFmpeg
// does not open the file or it has no video.
std::optional<TVideoFacts> ReadVideoFacts(std::span<const uint8_t> file);

// The row's metadata reader: a clip's duration, frame rate and codec (the whole file, whose index
// may be last); false, reading nothing, for bytes that are no clip.
bool VideoMetadata(std::span<const uint8_t> file, TPhotoMetadata& metadata);

// A duration as a clip's badge shows it: "0:07", "12:30", "1:02:03" (rounded to the second).
std::string DurationText(double seconds);
// "25 fps", "29.97 fps".
std::string FrameRateText(double framesPerSecond);

}  // namespace tablora
