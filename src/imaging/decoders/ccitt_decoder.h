#pragma once

#include <cstdint>
#include <span>

#include "imaging/decoders/decoder.h"

namespace tablora {

// Bilevel fax data of TIFF strips into rows of 1-bit pixels, most significant bit first, 1 for
// black; every row starts on a byte. The destination is cleared first, so rows the data does not
// reach stay white, as do the unused low bits of each row's last byte. Each call decodes one
// strip from scratch (the first reference line of two-dimensional coding is white). The source
// is only read: fill order 2 is undone as the bits are taken.
//
// Broken data raises nothing, except uncompressed mode, which is refused with "Cannot load
// image. Compression error found in TIF/TIFF file.". A row whose runs run past the width loses
// the run that does; a row cut short by an invalid code, an EOL or the end of the data is white
// from there on; a code counts when its last bit is the strip's last bit.
class TCCITTDecoder : public TDecoder {
 public:
  // T4Options bit: lines may be coded two-dimensionally, each tagged by the bit after its EOL.
  static constexpr uint32_t kTwoDimensional = 1;

  // options: the T4Options (or T6Options) value; reverseBits: fill order 2; wordAligned: the
  // word-aligned form of modified Huffman (compression 32771); width: pixels per row.
  TCCITTDecoder(uint32_t options, bool reverseBits, bool wordAligned, uint32_t width)
      : Options(options), ReverseBits(reverseBits), WordAligned(wordAligned), Width(width) {}

  const uint32_t Options;
  const bool ReverseBits;
  const bool WordAligned;
  const uint32_t Width;

 protected:
  enum class TCoding {
    ModifiedHuffman,  // compressions 2 and 32771: one-dimensional rows, no EOLs, aligned rows
    T4,               // compression 3: every row after an EOL
    T6,               // compression 4: two-dimensional rows, no EOLs; an EOL ends the strip
  };
  TDecodeResult DecodeStrip(TCoding coding, std::span<const uint8_t> source,
                            std::span<uint8_t> destination) const;
};

// TIFF compression 3 (ITU-T T.4): one-dimensional rows, or with T4Options bit 0 one- and
// two-dimensional rows as the tag bit after each EOL says. Each row is found by its EOL (fill
// bits before it are skipped); after a row cut short by an EOL the next row starts right after
// that EOL.
class TCCITTFax3Decoder : public TCCITTDecoder {
 public:
  using TCCITTDecoder::TCCITTDecoder;
  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) override;
};

// TIFF compression 2 (modified Huffman) and 32771 (its word-aligned form): one-dimensional rows
// without EOLs, each coded row starting on a byte, or on a 16-bit boundary of the source in the
// word-aligned form. An invalid code ends its row, and the next row starts at the next boundary.
class TCCITTMHDecoder : public TCCITTDecoder {
 public:
  using TCCITTDecoder::TCCITTDecoder;
  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) override;
};

// TIFF compression 4 (ITU-T T.6, Group 4): every row coded against the one above it. With no EOLs
// to find the next row by, a row cut short by an invalid code is followed by the next right away;
// an EOL (the end-of-facsimile block) ends the strip.
class TCCITTFax4Decoder : public TCCITTDecoder {
 public:
  using TCCITTDecoder::TCCITTDecoder;
  TDecodeResult Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) override;
};

}  // namespace tablora
