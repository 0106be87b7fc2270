#include "imaging/decoders/ccitt_decoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/format.h"
#include "imaging/raster_graphic.h"

namespace tablora {

namespace {

// ---- The codes of ITU-T T.4 -------------------------------------------------------------------

struct TCode {
  uint16_t bits;  // the code, right-aligned
  uint8_t length;
  uint16_t run;
};

constexpr TCode kWhiteTerminating[64] = {
    {0x35, 8, 0},  {0x07, 6, 1},  {0x07, 4, 2},  {0x08, 4, 3},  {0x0B, 4, 4},  {0x0C, 4, 5},  {0x0E, 4, 6},
    {0x0F, 4, 7},  {0x13, 5, 8},  {0x14, 5, 9},  {0x07, 5, 10}, {0x08, 5, 11}, {0x08, 6, 12}, {0x03, 6, 13},
    {0x34, 6, 14}, {0x35, 6, 15}, {0x2A, 6, 16}, {0x2B, 6, 17}, {0x27, 7, 18}, {0x0C, 7, 19}, {0x08, 7, 20},
    {0x17, 7, 21}, {0x03, 7, 22}, {0x04, 7, 23}, {0x28, 7, 24}, {0x2B, 7, 25}, {0x13, 7, 26}, {0x24, 7, 27},
    {0x18, 7, 28}, {0x02, 8, 29}, {0x03, 8, 30}, {0x1A, 8, 31}, {0x1B, 8, 32}, {0x12, 8, 33}, {0x13, 8, 34},
    {0x14, 8, 35}, {0x15, 8, 36}, {0x16, 8, 37}, {0x17, 8, 38}, {0x28, 8, 39}, {0x29, 8, 40}, {0x2A, 8, 41},
    {0x2B, 8, 42}, {0x2C, 8, 43}, {0x2D, 8, 44}, {0x04, 8, 45}, {0x05, 8, 46}, {0x0A, 8, 47}, {0x0B, 8, 48},
    {0x52, 8, 49}, {0x53, 8, 50}, {0x54, 8, 51}, {0x55, 8, 52}, {0x24, 8, 53}, {0x25, 8, 54}, {0x58, 8, 55},
    {0x59, 8, 56}, {0x5A, 8, 57}, {0x5B, 8, 58}, {0x4A, 8, 59}, {0x4B, 8, 60}, {0x32, 8, 61}, {0x33, 8, 62},
    {0x34, 8, 63},
};

constexpr TCode kWhiteMakeUp[27] = {
    {0x1B, 5, 64},   {0x12, 5, 128},  {0x17, 6, 192},  {0x37, 7, 256},  {0x36, 8, 320},  {0x37, 8, 384},
    {0x64, 8, 448},  {0x65, 8, 512},  {0x68, 8, 576},  {0x67, 8, 640},  {0xCC, 9, 704},  {0xCD, 9, 768},
    {0xD2, 9, 832},  {0xD3, 9, 896},  {0xD4, 9, 960},  {0xD5, 9, 1024}, {0xD6, 9, 1088}, {0xD7, 9, 1152},
    {0xD8, 9, 1216}, {0xD9, 9, 1280}, {0xDA, 9, 1344}, {0xDB, 9, 1408}, {0x98, 9, 1472}, {0x99, 9, 1536},
    {0x9A, 9, 1600}, {0x18, 6, 1664}, {0x9B, 9, 1728},
};

constexpr TCode kBlackTerminating[64] = {
    {0x37, 10, 0},  {0x02, 3, 1},   {0x03, 2, 2},   {0x02, 2, 3},   {0x03, 3, 4},   {0x03, 4, 5},
    {0x02, 4, 6},   {0x03, 5, 7},   {0x05, 6, 8},   {0x04, 6, 9},   {0x04, 7, 10},  {0x05, 7, 11},
    {0x07, 7, 12},  {0x04, 8, 13},  {0x07, 8, 14},  {0x18, 9, 15},  {0x17, 10, 16}, {0x18, 10, 17},
    {0x08, 10, 18}, {0x67, 11, 19}, {0x68, 11, 20}, {0x6C, 11, 21}, {0x37, 11, 22}, {0x28, 11, 23},
    {0x17, 11, 24}, {0x18, 11, 25}, {0xCA, 12, 26}, {0xCB, 12, 27}, {0xCC, 12, 28}, {0xCD, 12, 29},
    {0x68, 12, 30}, {0x69, 12, 31}, {0x6A, 12, 32}, {0x6B, 12, 33}, {0xD2, 12, 34}, {0xD3, 12, 35},
    {0xD4, 12, 36}, {0xD5, 12, 37}, {0xD6, 12, 38}, {0xD7, 12, 39}, {0x6C, 12, 40}, {0x6D, 12, 41},
    {0xDA, 12, 42}, {0xDB, 12, 43}, {0x54, 12, 44}, {0x55, 12, 45}, {0x56, 12, 46}, {0x57, 12, 47},
    {0x64, 12, 48}, {0x65, 12, 49}, {0x52, 12, 50}, {0x53, 12, 51}, {0x24, 12, 52}, {0x37, 12, 53},
    {0x38, 12, 54}, {0x27, 12, 55}, {0x28, 12, 56}, {0x58, 12, 57}, {0x59, 12, 58}, {0x2B, 12, 59},
    {0x2C, 12, 60}, {0x5A, 12, 61}, {0x66, 12, 62}, {0x67, 12, 63},
};

constexpr TCode kBlackMakeUp[27] = {
    {0x0F, 10, 64},   {0xC8, 12, 128},  {0xC9, 12, 192},  {0x5B, 12, 256},  {0x33, 12, 320},
    {0x34, 12, 384},  {0x35, 12, 448},  {0x6C, 13, 512},  {0x6D, 13, 576},  {0x4A, 13, 640},
    {0x4B, 13, 704},  {0x4C, 13, 768},  {0x4D, 13, 832},  {0x72, 13, 896},  {0x73, 13, 960},
    {0x74, 13, 1024}, {0x75, 13, 1088}, {0x76, 13, 1152}, {0x77, 13, 1216}, {0x52, 13, 1280},
    {0x53, 13, 1344}, {0x54, 13, 1408}, {0x55, 13, 1472}, {0x5A, 13, 1536}, {0x5B, 13, 1600},
    {0x64, 13, 1664}, {0x65, 13, 1728},
};

// Shared by both colours.
constexpr TCode kExtendedMakeUp[13] = {
    {0x08, 11, 1792}, {0x0C, 11, 1856}, {0x0D, 11, 1920}, {0x12, 12, 1984}, {0x13, 12, 2048},
    {0x14, 12, 2112}, {0x15, 12, 2176}, {0x16, 12, 2240}, {0x17, 12, 2304}, {0x1C, 12, 2368},
    {0x1D, 12, 2432}, {0x1E, 12, 2496}, {0x1F, 12, 2560},
};

// ---- Lookup tables built from the codes -------------------------------------------------------

enum TKind : uint8_t {
  kInvalid = 0,
  kTerminating,
  kMakeUp,
  kEndOfLine,     // eleven zeros; the rest of the EOL (more zeros, then a 1) is skipped later
  kUncompressed,  // the code that switches to uncompressed mode
  kLink,          // the code is longer than 8 bits: value is where its second-level block starts
  kPass,
  kHorizontal,
  kVertical,   // value = offset + 3
  kExtension,  // the two-dimensional extension prefix 0000001
};

struct TEntry {
  uint16_t value = 0;
  uint8_t length = 0;
  TKind kind = kInvalid;
};

// Codes are looked up by the next 13 bits: the first 8 pick an entry, and codes longer than 8
// bits continue in a block of 32 entries picked by the other 5.
constexpr unsigned kWindowBits = 13;
constexpr unsigned kFirstBits = 8;
constexpr unsigned kSecondBits = kWindowBits - kFirstBits;

class TRunTable {
 public:
  TEntry Lookup(uint32_t window) const {
    const TEntry entry = first_[window >> kSecondBits];
    if (entry.kind != kLink) return entry;
    return second_[entry.value + (window & ((1u << kSecondBits) - 1))];
  }

  void Add(uint32_t bits, unsigned length, TKind kind, uint16_t value) {
    if (length <= kFirstBits) {
      Fill(first_.data() + (bits << (kFirstBits - length)), 1u << (kFirstBits - length),
           {value, static_cast<uint8_t>(length), kind});
      return;
    }
    TEntry& link = first_[bits >> (length - kFirstBits)];
    if (link.kind != kLink) {
      if (link.kind != kInvalid) throw std::logic_error("fax code tables overlap");
      link = {static_cast<uint16_t>(second_.size()), 0, kLink};
      second_.resize(second_.size() + (1u << kSecondBits));
    }
    const uint32_t rest = bits & ((1u << (length - kFirstBits)) - 1);
    Fill(second_.data() + link.value + (rest << (kWindowBits - length)), 1u << (kWindowBits - length),
         {value, static_cast<uint8_t>(length), kind});
  }

 private:
  static void Fill(TEntry* at, uint32_t count, TEntry entry) {
    for (uint32_t i = 0; i < count; ++i) {
      if (at[i].kind != kInvalid) throw std::logic_error("fax code tables overlap");
      at[i] = entry;
    }
  }

  std::array<TEntry, 1u << kFirstBits> first_{};
  std::vector<TEntry> second_;
};

struct TTables {
  TRunTable white;
  TRunTable black;
  std::array<TEntry, 128> modes{};  // by the next 7 bits
};

TRunTable BuildRunTable(std::span<const TCode> terminating, std::span<const TCode> makeUp) {
  TRunTable table;
  for (const TCode& c : terminating) table.Add(c.bits, c.length, kTerminating, c.run);
  for (const TCode& c : makeUp) table.Add(c.bits, c.length, kMakeUp, c.run);
  for (const TCode& c : kExtendedMakeUp) table.Add(c.bits, c.length, kMakeUp, c.run);
  table.Add(0x000, 11, kEndOfLine, 0);
  table.Add(0x00F, 12, kUncompressed, 0);  // 000000001111
  return table;
}

const TTables& Tables() {
  static const TTables tables = [] {
    TTables t;
    t.white = BuildRunTable(kWhiteTerminating, kWhiteMakeUp);
    t.black = BuildRunTable(kBlackTerminating, kBlackMakeUp);
    const struct {
      uint8_t bits, length;
      TKind kind;
      uint16_t value;
    } modes[] = {
        {0x1, 4, kPass, 0},     {0x1, 3, kHorizontal, 0}, {0x1, 1, kVertical, 3},  {0x3, 3, kVertical, 4},
        {0x3, 6, kVertical, 5}, {0x3, 7, kVertical, 6},   {0x2, 3, kVertical, 2},  {0x2, 6, kVertical, 1},
        {0x2, 7, kVertical, 0}, {0x1, 7, kExtension, 0},  {0x0, 7, kEndOfLine, 0},
    };
    for (const auto& m : modes) {
      const uint32_t count = 1u << (7 - m.length);
      for (uint32_t i = 0; i < count; ++i)
        t.modes[(m.bits << (7 - m.length)) + i] = {m.value, m.length, m.kind};
    }
    return t;
  }();
  return tables;
}

// ---- Bits -------------------------------------------------------------------------------------

constexpr std::array<uint8_t, 256> kReversed = [] {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = 0;
    for (unsigned b = 0; b < 8; ++b) r |= ((i >> b) & 1u) << (7 - b);
    table[i] = static_cast<uint8_t>(r);
  }
  return table;
}();

inline uint64_t ReverseBitsOfEachByte(uint64_t v) {
  v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
  v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
  return ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
}

// Most significant bit first (after reversal for fill order 2). Bits are taken from the top of
// the buffer; below the valid ones it holds zeros or the very bits the next load puts there, so
// past the end of the data the reader sees zeros, and Available() tells how many bits are real.
class TBitReader {
 public:
  TBitReader(std::span<const uint8_t> source, bool reverse)
      : begin_(source.data()), in_(source.data()), end_(source.data() + source.size()), reverse_(reverse) {}

  // At least 32 bits in the buffer unless the data ends first.
  void Fill() {
    if (count_ >= 32) return;
    if (end_ - in_ >= 8) {
      uint64_t v;
      std::memcpy(&v, in_, 8);
      v = __builtin_bswap64(v);
      if (reverse_) v = ReverseBitsOfEachByte(v);
      buffer_ |= v >> count_;
      in_ += (63 - count_) >> 3;
      count_ |= 56;
      return;
    }
    while (count_ < 56 && in_ < end_) {  // at most 63 bits, so that any count can be skipped
      const uint8_t byte = reverse_ ? kReversed[*in_] : *in_;
      ++in_;
      buffer_ |= static_cast<uint64_t>(byte) << (56 - count_);
      count_ += 8;
    }
  }

  unsigned Available() const { return count_; }
  uint32_t Peek(unsigned n) const { return static_cast<uint32_t>(buffer_ >> (64 - n)); }
  void Skip(unsigned n) {
    buffer_ <<= n;
    count_ -= n;
  }
  bool AtEnd() {
    Fill();
    return count_ == 0;
  }
  std::size_t ConsumedBytes() const { return static_cast<std::size_t>((ConsumedBits() + 7) / 8); }

  // Skips zeros up to and including the next 1; false when the data ends first.
  bool SkipPastOne() {
    for (;;) {
      Fill();
      if (count_ == 0) return false;
      if ((buffer_ >> (64 - count_)) == 0) {
        Skip(count_);
        continue;
      }
      Skip(static_cast<unsigned>(__builtin_clzll(buffer_)) + 1);
      return true;
    }
  }

  // Moves on until eleven zeros, the start of an EOL, are next; false when the data ends first.
  bool FindEndOfLine() {
    for (;;) {
      Fill();
      if (count_ < 11) return false;
      if ((buffer_ >> 53) == 0) return true;
      Skip(static_cast<unsigned>(__builtin_clzll(buffer_)) + 1);
    }
  }

  // Drops bits up to the next multiple of unitBits from the start of the data.
  void Align(unsigned unitBits) {
    const unsigned drop = static_cast<unsigned>((unitBits - ConsumedBits() % unitBits) % unitBits);
    Fill();
    Skip(std::min(drop, count_));
  }

 private:
  uint64_t ConsumedBits() const { return 8 * static_cast<uint64_t>(in_ - begin_) - count_; }

  const uint8_t* begin_;
  const uint8_t* in_;
  const uint8_t* end_;
  bool reverse_;
  uint64_t buffer_ = 0;
  unsigned count_ = 0;
};

// ---- Rows -------------------------------------------------------------------------------------

enum class TStop { None, EndOfLine, BadCode, EndOfData };

// A row is held as its changing elements: the positions where the colour changes, starting from
// white at 0 (change 1 ends the first white run, change 2 the first black one, ...). Slot 0 holds
// a 0 before the first change, so that a vertical mode to the left can step back onto it, and a
// reference line ends with the width repeated, so that every search stops there.
//
// The bookkeeping follows libtiff's, the decoder that reads these files everywhere today, so that
// pictures that are not quite right come out as they do elsewhere: a row whose runs run past the
// width loses the runs that do and is white from its last change on, a one-dimensional row drops
// a white and black pair of empty runs, and the first changing element of the reference line is
// not searched for before the row has a change.
class TStripDecoder {
 public:
  TStripDecoder(std::span<const uint8_t> source, bool reverse, uint32_t width)
      : bits_(source, reverse), tables_(Tables()), width_(width) {
    // Every change costs at least one bit of the source, and a sound row has at most one more
    // change than pixels; the slack takes the end of a row and the sentinels.
    capacity_ = static_cast<std::size_t>(std::min<uint64_t>(width_, 8 * uint64_t{source.size()})) + 4;
    current_.assign(capacity_ + kSlack, 0);
    reference_.assign(capacity_ + kSlack, width_);
    reference_[0] = 0;
  }

  TStop Expand1D();
  TStop Expand2D();
  void EndRow();
  void Paint(uint8_t* row, std::size_t room) const;
  void TakeAsReference();
  TBitReader& Bits() { return bits_; }

 private:
  static constexpr std::size_t kSlack = 12;

  bool Change(int64_t x) {
    if (count_ >= capacity_) return false;
    current_[++count_] = x;
    a0_ = x;
    pending_ = 0;
    return true;
  }
  TStop ReadRun(const TRunTable& table, int64_t& run);

  TBitReader bits_;
  const TTables& tables_;
  const int64_t width_;
  std::size_t capacity_;
  std::vector<int64_t> current_;
  std::vector<int64_t> reference_;
  std::size_t count_ = 0;  // changes of the current row, in current_[1 .. count_]
  int64_t a0_ = 0;
  int64_t pending_ = 0;  // pixels passed over since the last change
};

// One run of a colour: make-up codes, then the terminating code. On a stop, run holds the
// make-up pixels read before it.
TStop TStripDecoder::ReadRun(const TRunTable& table, int64_t& run) {
  run = 0;
  for (;;) {
    bits_.Fill();
    const TEntry entry = table.Lookup(bits_.Peek(kWindowBits));
    if (entry.length > bits_.Available()) return TStop::EndOfData;
    switch (entry.kind) {
      case kTerminating:
        bits_.Skip(entry.length);
        run += entry.value;
        return TStop::None;
      case kMakeUp:
        bits_.Skip(entry.length);
        run += entry.value;
        break;
      case kEndOfLine:
        bits_.Skip(entry.length);
        return TStop::EndOfLine;
      case kUncompressed:
        throw ECompressionError(Format(gesCompression, "TIF/TIFF"));
      default:
        return TStop::BadCode;
    }
  }
}

TStop TStripDecoder::Expand1D() {
  count_ = 0;
  a0_ = 0;
  pending_ = 0;
  for (;;) {
    for (const TRunTable* table : {&tables_.white, &tables_.black}) {
      int64_t run;
      const TStop stop = ReadRun(*table, run);
      a0_ += run;
      if (stop != TStop::None) {
        pending_ = run;
        return stop;
      }
      if (!Change(a0_)) return TStop::BadCode;
      if (a0_ >= width_) return TStop::None;
    }
    if (current_[count_] == current_[count_ - 1] && current_[count_ - 1] == current_[count_ - 2]) count_ -= 2;
  }
}

TStop TStripDecoder::Expand2D() {
  count_ = 0;
  a0_ = 0;
  pending_ = 0;
  std::size_t b1 = 1;  // index of b1 in reference_
  const auto findB1 = [&] {
    if (count_ > 0) {
      while (reference_[b1] <= a0_ && reference_[b1] < width_) b1 += 2;
    }
  };
  while (a0_ < width_) {
    bits_.Fill();
    const TEntry mode = tables_.modes[bits_.Peek(7)];
    if (mode.length > bits_.Available()) return TStop::EndOfData;
    switch (mode.kind) {
      case kPass:
        bits_.Skip(mode.length);
        findB1();
        pending_ += reference_[b1 + 1] - a0_;
        a0_ = reference_[b1 + 1];
        b1 += 2;
        break;
      case kHorizontal: {
        bits_.Skip(mode.length);
        const bool black = (count_ & 1) != 0;
        for (const TRunTable* table :
             {black ? &tables_.black : &tables_.white, black ? &tables_.white : &tables_.black}) {
          int64_t run;
          const TStop stop = ReadRun(*table, run);
          a0_ += run;
          if (stop != TStop::None) {
            pending_ += run;
            return stop;
          }
          if (!Change(a0_)) return TStop::BadCode;
        }
        break;
      }
      case kVertical: {
        const int64_t offset = static_cast<int64_t>(mode.value) - 3;
        bits_.Skip(mode.length);
        findB1();
        if (reference_[b1] + offset < a0_) return TStop::BadCode;
        if (!Change(reference_[b1] + offset)) return TStop::BadCode;
        if (offset < 0) {
          --b1;
        } else {
          ++b1;
        }
        break;
      }
      case kExtension:
        if (bits_.Available() < 10) return TStop::EndOfData;
        if ((bits_.Peek(10) & 7) == 7) throw ECompressionError(Format(gesCompression, "TIF/TIFF"));
        return TStop::BadCode;
      default:  // the start of an EOL
        if (bits_.Available() < 11) return TStop::EndOfData;
        if (bits_.Peek(11) != 0) return TStop::BadCode;
        bits_.Skip(11);
        return TStop::EndOfLine;
    }
  }
  return TStop::None;
}

void TStripDecoder::EndRow() {
  if (pending_ != 0) {
    current_[++count_] = a0_;
    pending_ = 0;
  }
  int64_t last = current_[count_];  // slot 0 holds 0
  while (last > width_) last = current_[--count_];
  if (last == width_) return;
  if (count_ & 1) current_[++count_] = last;
  current_[++count_] = width_;
}

void TStripDecoder::Paint(uint8_t* row, std::size_t room) const {
  // A last row that the destination holds only in part is painted as far as it goes.
  const int64_t limit =
      room >= (static_cast<uint64_t>(width_) + 7) / 8 ? width_ : static_cast<int64_t>(room) * 8;
  for (std::size_t j = 1; j <= count_; j += 2) {
    const int64_t x0 = current_[j];
    const int64_t x1 = std::min(j + 1 <= count_ ? current_[j + 1] : width_, limit);
    if (x0 >= x1) continue;
    const auto first = static_cast<std::size_t>(x0 >> 3);
    const auto last = static_cast<std::size_t>((x1 - 1) >> 3);
    const auto head = static_cast<uint8_t>(0xFF >> (x0 & 7));
    const auto tail = static_cast<uint8_t>(0xFF << (7 - ((x1 - 1) & 7)));
    if (first == last) {
      row[first] |= head & tail;
    } else {
      row[first] |= head;
      std::memset(row + first + 1, 0xFF, last - first - 1);
      row[last] |= tail;
    }
  }
}

// The row just decoded becomes the reference for the next one.
void TStripDecoder::TakeAsReference() {
  std::swap(current_, reference_);
  std::fill(reference_.begin() + static_cast<std::ptrdiff_t>(count_) + 1,
            reference_.begin() + static_cast<std::ptrdiff_t>(count_) + 6, width_);
}

}  // namespace

TDecodeResult TCCITTDecoder::DecodeStrip(TCoding coding, std::span<const uint8_t> source,
                                         std::span<uint8_t> destination) const {
  if (destination.empty()) return {};
  std::memset(destination.data(), 0, destination.size());
  const uint64_t rowBytes = (uint64_t{Width} + 7) / 8;
  if (rowBytes == 0) return {};
  TStripDecoder strip(source, ReverseBits, Width);
  TBitReader& bits = strip.Bits();
  const bool twoDimensionalT4 = coding == TCoding::T4 && (Options & kTwoDimensional) != 0;
  bool afterEndOfLine = false;
  std::size_t produced = 0;
  uint32_t rows = 0;
  for (uint64_t rowStart = 0; rowStart < destination.size(); rowStart += rowBytes) {
    // A page may hold tens of thousands of rows in one strip.
    if ((++rows & 0xFF) == 0) CheckCancel();
    bool twoDimensional = coding == TCoding::T6;
    if (coding == TCoding::T4) {
      // A row found by its EOL, or one that starts right after the EOL that cut the row above.
      if (!afterEndOfLine && !bits.FindEndOfLine()) break;
      if (!bits.SkipPastOne()) break;
      if (twoDimensionalT4) {
        if (bits.AtEnd()) break;
        twoDimensional = bits.Peek(1) == 0;
        bits.Skip(1);
      }
    } else if (bits.AtEnd()) {
      break;
    }
    const TStop stop = twoDimensional ? strip.Expand2D() : strip.Expand1D();
    strip.EndRow();
    const auto room = static_cast<std::size_t>(std::min<uint64_t>(rowBytes, destination.size() - rowStart));
    strip.Paint(destination.data() + rowStart, room);
    produced = static_cast<std::size_t>(rowStart + room);
    if (coding == TCoding::T6 || twoDimensionalT4) strip.TakeAsReference();
    if (stop == TStop::EndOfData) break;
    if (coding == TCoding::T6 && stop == TStop::EndOfLine) break;  // end of the facsimile block
    afterEndOfLine = stop == TStop::EndOfLine;
    if (coding == TCoding::ModifiedHuffman) bits.Align(WordAligned ? 16 : 8);
  }
  return {bits.ConsumedBytes(), produced};
}

TDecodeResult TCCITTFax3Decoder::Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) {
  return DecodeStrip(TCoding::T4, source, destination);
}

TDecodeResult TCCITTMHDecoder::Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) {
  return DecodeStrip(TCoding::ModifiedHuffman, source, destination);
}

TDecodeResult TCCITTFax4Decoder::Decode(std::span<const uint8_t> source, std::span<uint8_t> destination) {
  return DecodeStrip(TCoding::T6, source, destination);
}

}  // namespace tablora
