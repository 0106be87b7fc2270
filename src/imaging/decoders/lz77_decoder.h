#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/decoders/decoder.h"

namespace tablora {

// zlib-wrapped Deflate data through zlib's inflate. It can be fed in slices: PNG image data
// arrives chunk by chunk and is asked for one row at a time; a TIFF strip is one zlib stream of
// its own, decoded with a reset before every call.
//
// Decode raises nothing: callers look at LastResult (zlib's code of the last inflate: 0 going on,
// 1 end of the stream, 2 a dictionary is wanted, negative on broken data), InputLeft and
// OutputLeft. Once the stream has ended or failed, later calls do nothing unless the decoder
// resets before each call.
class TLZ77Decoder : public TDecoder {
 public:
  TLZ77Decoder(int flushKind, bool resetEachCall);
  ~TLZ77Decoder() override;
  TLZ77Decoder(const TLZ77Decoder&) = delete;
  TLZ77Decoder& operator=(const TLZ77Decoder&) = delete;

  // inflateInit and inflateEnd; a failure of either raises "LZ77 decompression error.".
  void StartDecoding() override;
  void FinishDecoding() override;
  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) override;

  int LastResult() const { return lastResult_; }
  // Bytes of the last call's source not consumed, and of its destination not filled.
  std::size_t InputLeft() const { return inputLeft_; }
  std::size_t OutputLeft() const { return outputLeft_; }
  int FlushKind() const { return flushKind_; }
  bool ResetEachCall() const { return resetEachCall_; }

 private:
  z_stream stream_{};
  bool started_ = false;
  int lastResult_ = Z_OK;
  int flushKind_;
  bool resetEachCall_;
  std::size_t inputLeft_ = 0;
  std::size_t outputLeft_ = 0;
};

}  // namespace tablora
