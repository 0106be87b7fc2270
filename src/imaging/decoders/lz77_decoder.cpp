#include "imaging/decoders/lz77_decoder.h"

#include <algorithm>
#include <climits>

#include "imaging/exceptions.h"

namespace tablora {

namespace {

constexpr const char* kLZ77Error = "LZ77 decompression error.";

// zlib counts in unsigned int; a larger span is handed over in parts by the caller's next call.
uInt Clamped(std::size_t size) { return static_cast<uInt>(std::min<std::size_t>(size, UINT_MAX)); }

}  // namespace

TLZ77Decoder::TLZ77Decoder(int flushKind, bool resetEachCall)
    : flushKind_(flushKind), resetEachCall_(resetEachCall) {}

TLZ77Decoder::~TLZ77Decoder() {
  if (started_) inflateEnd(&stream_);
}

void TLZ77Decoder::StartDecoding() {
  if (started_) inflateEnd(&stream_);
  stream_ = z_stream{};
  started_ = false;
  if (inflateInit(&stream_) < 0) throw ECompressionError(kLZ77Error);
  started_ = true;
  // A new stream: whatever ended or broke the last one no longer stands.
  lastResult_ = Z_OK;
}

void TLZ77Decoder::FinishDecoding() {
  // A decoder never started has nothing to end; zlib would refuse it with a stream error.
  if (!started_) return;
  started_ = false;
  if (inflateEnd(&stream_) < 0) throw ECompressionError(kLZ77Error);
}

TDecodeResult TLZ77Decoder::Decode(std::span<const uint8_t> source,
                                   std::span<uint8_t> destination) {
  inputLeft_ = source.size();
  outputLeft_ = destination.size();
  if (!started_) {
    lastResult_ = Z_STREAM_ERROR;
    return {};
  }
  if (resetEachCall_) lastResult_ = inflateReset(&stream_);
  // Nothing fits an empty destination (zlib would take its missing buffer for a misuse).
  if (lastResult_ != Z_OK || destination.empty()) return {};

  stream_.next_in = const_cast<Bytef*>(source.data());  // zlib's API is not const-correct
  stream_.avail_in = Clamped(source.size());
  stream_.next_out = destination.data();
  stream_.avail_out = Clamped(destination.size());
  lastResult_ = inflate(&stream_, flushKind_);
  // zlib reports a call that could make no progress (an empty slice, no room) as a buffer
  // error, which it documents as not fatal: the stream goes on with the next slice.
  if (lastResult_ == Z_BUF_ERROR) lastResult_ = Z_OK;

  const TDecodeResult result{static_cast<std::size_t>(stream_.next_in - source.data()),
                             static_cast<std::size_t>(stream_.next_out - destination.data())};
  inputLeft_ = source.size() - result.consumed;
  outputLeft_ = destination.size() - result.produced;
  return result;
}

}  // namespace tablora
