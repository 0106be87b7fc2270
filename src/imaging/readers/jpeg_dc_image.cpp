#include "imaging/readers/jpeg_dc_image.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "imaging/byte_reader.h"
#include "imaging/exceptions.h"
#include "imaging/readers/jpeg_decompressor.h"
#include "imaging/memory_budget.h"

namespace tablora {

namespace {

// Not a file this decoder takes, or damaged: libjpeg decides what becomes of it.
struct NotTaken {};

[[noreturn]] void Refuse() { throw NotTaken{}; }

class DcHuffman {
 public:
  // From a DHT table's 16 counts and its symbols.
  void Define(std::span<const uint8_t> counts, std::span<const uint8_t> symbols) {
    symbols_.assign(symbols.begin(), symbols.end());
    int code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
      first_[length] = code;
      firstIndex_[length] = index;
      code += counts[length - 1];
      index += counts[length - 1];
      last_[length] = code - 1;  // -1 when no code has this length
      // Codes of a length that fill all its values leave no prefix for longer ones; libjpeg
      // refuses such a table.
      if (code >= (1 << length)) Refuse();
      code <<= 1;
    }
    defined_ = true;
  }
  bool Defined() const { return defined_; }
  // libjpeg refuses a DC table with a symbol past 15 when a scan uses it.
  bool FitsDc() const {
    return std::all_of(symbols_.begin(), symbols_.end(), [](uint8_t s) { return s <= 15; });
  }

  template <class Bits>
  int Decode(Bits& bits) const {
    int code = 0;
    for (int length = 1; length <= 16; ++length) {
      code = (code << 1) | bits.Bit();
      if (code <= last_[length] && code >= first_[length]) {
        return symbols_[static_cast<std::size_t>(firstIndex_[length] + code - first_[length])];
      }
    }
    Refuse();
  }

 private:
  std::array<int, 17> first_{};
  std::array<int, 17> last_{};
  std::array<int, 17> firstIndex_{};
  std::vector<uint8_t> symbols_;
  bool defined_ = false;
};

// The entropy-coded bits of one scan: 0xFF 0x00 is a data byte 0xFF; any other marker ends the
// data, and a scan that needs bits past it is damaged.
class ScanBits {
 public:
  ScanBits(std::span<const uint8_t> file, std::size_t start) : file_(file), next_(start) {}

  int Bit() {
    if (count_ == 0) Fill();
    --count_;
    return (byte_ >> count_) & 1;
  }
  int Bits(int n) {
    int value = 0;
    for (int i = 0; i < n; ++i) value = (value << 1) | Bit();
    return value;
  }

  // At a restart: the rest of the byte is padding, and the restart marker due must come next
  // (libjpeg resynchronises on any other in ways of its own).
  void Restart() {
    count_ = 0;
    if (next_ + 1 >= file_.size() || file_[next_] != 0xFF) Refuse();
    std::size_t at = next_ + 1;
    while (at < file_.size() && file_[at] == 0xFF) ++at;  // fill bytes
    if (at >= file_.size() || file_[at] != 0xD0 + restarts_) Refuse();
    restarts_ = (restarts_ + 1) & 7;
    next_ = at + 1;
  }

  // Where the next marker other than a restart begins, from the current byte on.
  std::size_t NextMarker() const { return FindMarker(file_, next_); }

  static std::size_t FindMarker(std::span<const uint8_t> file, std::size_t from) {
    return JpegDecompressor::FindMarker(file, from);
  }

 private:
  void Fill() {
    if (next_ >= file_.size()) Refuse();
    const uint8_t byte = file_[next_];
    if (byte == 0xFF) {
      if (next_ + 1 >= file_.size() || file_[next_ + 1] != 0x00) Refuse();
      next_ += 2;
    } else {
      next_ += 1;
    }
    byte_ = byte;
    count_ = 8;
  }

  std::span<const uint8_t> file_;
  std::size_t next_;
  uint8_t byte_ = 0;
  int count_ = 0;
  int restarts_ = 0;
};

int Extend(int bits, int size) { return bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits; }

// One component's DC coefficients over its grid padded to whole MCUs.
struct DcPlane {
  const JpegDcComponent* component = nullptr;
  uint32_t stride = 0;  // blocks per row, padded
  std::vector<int16_t> dc;
  std::optional<int> quant;  // DC quantiser, latched at the component's first scan as libjpeg does
  bool firstScanDone = false;
  // Bits still unknown of coefficients 0 to 9 (-1: none known), as libjpeg counts them: it
  // smooths the blocks of a file that leaves any of them unknown, which moves DC values too.
  std::array<int, 10> missingBits{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

class DcDecoder {
 public:
  DcDecoder(std::span<const uint8_t> file, const JpegDcFrame& frame, const std::function<void()>& checkpoint)
      : file_(file), frame_(frame), checkpoint_(checkpoint) {}

  void Run() {
    const JpegDcFrame& f = frame_;
    if (f.components.size() != 3 || f.width == 0 || f.height == 0) Refuse();
    for (const JpegDcComponent& c : f.components) {
      if (c.h < 1 || c.v < 1 || c.h > 4 || c.v > 4) Refuse();
      hMax_ = std::max(hMax_, c.h);
      vMax_ = std::max(vMax_, c.v);
    }
    mcuColumns_ = (f.width + 8u * hMax_ - 1) / (8u * hMax_);
    mcuRows_ = (f.height + 8u * vMax_ - 1) / (8u * vMax_);
    planes_.resize(3);
    uint64_t blocks = 0;
    for (const JpegDcComponent& c : f.components) {
      blocks += uint64_t{mcuColumns_} * static_cast<uint32_t>(c.h) * mcuRows_ * static_cast<uint32_t>(c.v);
    }
    // Twice the bytes of the picture at 1/8: charged before they are taken.
    charge_.Set(blocks * sizeof(int16_t));
    for (std::size_t i = 0; i < 3; ++i) {
      const JpegDcComponent& c = f.components[i];
      // libjpeg cannot upsample by fractions either; and chroma subsampled both ways it turns with
      // a 2x2 transform that reads AC coefficients, which this does not have.
      if (hMax_ % c.h != 0 || vMax_ % c.v != 0) Refuse();
      if (hMax_ % (2 * c.h) == 0 && vMax_ % (2 * c.v) == 0) Refuse();
      planes_[i].component = &c;
      planes_[i].stride = mcuColumns_ * static_cast<uint32_t>(c.h);
      if (c.widthInBlocks > planes_[i].stride || c.heightInBlocks > mcuRows_ * static_cast<uint32_t>(c.v)) Refuse();
      planes_[i].dc.assign(std::size_t{planes_[i].stride} * mcuRows_ * static_cast<uint32_t>(c.v), 0);
    }
    ReadSegments();
    for (const DcPlane& plane : planes_) {
      if (std::any_of(plane.missingBits.begin(), plane.missingBits.end(), [](int bits) { return bits != 0; })) {
        Refuse();
      }
    }
  }

  // Pixels as libjpeg's 1x1 inverse DCT makes them, then upsampled and converted as it does.
  void Output(const std::function<uint8_t*(uint32_t)>& row) const {
    const uint32_t width = (frame_.width + 7) / 8;
    const uint32_t height = (frame_.height + 7) / 8;
    std::array<std::vector<uint8_t>, 3> lines;
    std::array<uint32_t, 3> lineOf{};
    for (std::size_t i = 0; i < 3; ++i) lines[i].resize(planes_[i].stride);
    const auto& tables = Tables();
    const int hStep[3] = {hMax_ / planes_[0].component->h, hMax_ / planes_[1].component->h,
                          hMax_ / planes_[2].component->h};
    const int vStep[3] = {vMax_ / planes_[0].component->v, vMax_ / planes_[1].component->v,
                          vMax_ / planes_[2].component->v};
    for (uint32_t y = 0; y < height; ++y) {
      for (std::size_t i = 0; i < 3; ++i) {
        const DcPlane& plane = planes_[i];
        const uint32_t line = y / static_cast<uint32_t>(vStep[i]);
        if (y != 0 && line == lineOf[i]) continue;
        lineOf[i] = line;
        const int16_t* dc = plane.dc.data() + std::size_t{line} * plane.stride;
        for (uint32_t k = 0; k < plane.stride; ++k) {
          lines[i][k] = static_cast<uint8_t>(std::clamp(((dc[k] * *plane.quant + 4) >> 3) + 128, 0, 255));
        }
      }
      uint8_t* out = row(y);
      for (uint32_t x = 0; x < width; ++x, out += 3) {
        const int luma = lines[0][x / hStep[0]];
        const int cb = lines[1][x / hStep[1]];
        const int cr = lines[2][x / hStep[2]];
        out[0] = Clamp(luma + tables.cbToBlue[cb]);
        out[1] = Clamp(luma + ((tables.cbToGreen[cb] + tables.crToGreen[cr]) >> 16));
        out[2] = Clamp(luma + tables.crToRed[cr]);
      }
    }
  }

 private:
  struct YccTables {
    std::array<int, 256> crToRed{}, cbToBlue{}, crToGreen{}, cbToGreen{};
  };

  // libjpeg's fixed-point YCbCr-to-RGB table, so the pixels match its to the bit.
  static const YccTables& Tables() {
    static const YccTables tables = [] {
      YccTables t;
      const auto fix = [](double x) { return static_cast<int>(x * 65536.0 + 0.5); };
      for (int i = 0; i < 256; ++i) {
        const int x = i - 128;
        t.crToRed[i] = (fix(1.40200) * x + (1 << 15)) >> 16;
        t.cbToBlue[i] = (fix(1.77200) * x + (1 << 15)) >> 16;
        t.crToGreen[i] = -fix(0.71414) * x;
        t.cbToGreen[i] = -fix(0.34414) * x + (1 << 15);
      }
      return t;
    }();
    return tables;
  }

  static uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

  void ReadSegments() {
    TByteReader in(file_);
    if (in.U16BE() != 0xFFD8) Refuse();
    int scans = 0;
    int frames = 0;
    while (in.Has(2)) {
      if (in.U8() != 0xFF) Refuse();
      uint8_t marker = in.U8();
      while (marker == 0xFF) marker = in.U8();
      if (marker == 0xD9) return;  // end of image
      const uint16_t length = in.U16BE();
      if (length < 2) Refuse();
      TByteReader segment(in.Bytes(length - 2u));
      // What libjpeg would refuse or treat in a way of its own is left to it: a second frame,
      // unknown markers, segments of a wrong length.
      if (marker == 0xC2) {
        if (++frames > 1) Refuse();
      } else if (marker == 0xC4) {
        ReadHuffmanTables(segment);
      } else if (marker == 0xDB) {
        ReadQuantTables(segment);
      } else if (marker == 0xDD) {
        restartInterval_ = segment.U16BE();
        if (segment.Remaining() != 0) Refuse();
      } else if (marker == 0xDA) {
        ++scans;
        in.Seek(ReadScan(segment, in.Position(), scans));
      } else if (!(marker >= 0xE0 && marker <= 0xEF) && marker != 0xFE && marker != 0xDC) {
        Refuse();  // APPn, comments and a line count pass; anything else is libjpeg's
      }
    }
    // The data ended without an end marker: what arrived counts, as for libjpeg.
  }

  void ReadHuffmanTables(TByteReader& in) {
    while (in.Remaining() > 0) {
      const uint8_t kind = in.U8();
      const auto counts = in.Bytes(16);
      std::size_t total = 0;
      for (const uint8_t count : counts) total += count;
      if (total > 256) Refuse();
      const auto symbols = in.Bytes(total);
      const int tableClass = kind >> 4;
      const int id = kind & 15;
      if (tableClass > 1 || id > 3) Refuse();
      DcHuffman table;
      table.Define(counts, symbols);
      (tableClass == 0 ? dcTables_ : acTables_)[static_cast<std::size_t>(id)] = std::move(table);
    }
  }

  void ReadQuantTables(TByteReader& in) {
    while (in.Remaining() > 0) {
      const uint8_t kind = in.U8();
      const int precision = kind >> 4;
      const int id = kind & 15;
      if (precision > 1 || id > 3) Refuse();
      const int first = precision == 0 ? in.U8() : in.U16BE();
      in.Skip(precision == 0 ? 63 : 126);
      quant_[static_cast<std::size_t>(id)] = first;
    }
  }

  // Reads a scan's header and, for a DC scan, its data; answers where the next marker starts.
  std::size_t ReadScan(TByteReader& header, std::size_t dataStart, int number) {
    const int count = header.U8();
    if (count < 1 || count > 3) Refuse();
    std::vector<DcPlane*> members;
    std::vector<const DcHuffman*> tables;
    std::vector<const DcHuffman*> acTables;
    for (int k = 0; k < count; ++k) {
      const int id = header.U8();
      const int selectors = header.U8();
      auto it = std::find_if(planes_.begin(), planes_.end(), [&](const DcPlane& p) { return p.component->id == id; });
      if (it == planes_.end() || std::find(members.begin(), members.end(), &*it) != members.end()) Refuse();
      if ((selectors >> 4) > 3 || (selectors & 15) > 3) Refuse();
      members.push_back(&*it);
      tables.push_back(&dcTables_[static_cast<std::size_t>(selectors >> 4)]);
      acTables.push_back(&acTables_[static_cast<std::size_t>(selectors & 15)]);
    }
    const int ss = header.U8();
    const int se = header.U8();
    const int approximation = header.U8();
    const int ah = approximation >> 4;
    const int al = approximation & 15;
    if (header.Remaining() != 0 || al > 13 || (ah != 0 && al != ah - 1)) Refuse();
    for (DcPlane* plane : members) {
      for (int k = ss; k <= std::min(se, 9); ++k) plane->missingBits[static_cast<std::size_t>(k)] = al;
    }
    if (ss != 0) {
      // AC coefficients: not needed, but a scan libjpeg would refuse is refused.
      if (se < ss || se > 63 || count != 1 || !acTables[0]->Defined()) Refuse();
      CountScan(members, number);
      return ScanBits::FindMarker(file_, dataStart);
    }
    if (se != 0) Refuse();
    for (DcPlane* plane : members) {
      if (!plane->quant) {
        const auto& q = quant_[static_cast<std::size_t>(plane->component->quantTable & 3)];
        if (!q) Refuse();
        plane->quant = *q;
      }
      // A refinement before the first DC scan of its component, or a second first scan.
      if ((ah != 0) != plane->firstScanDone) Refuse();
    }
    if (ah == 0) {
      for (const DcHuffman* table : tables) {
        if (!table->Defined() || !table->FitsDc()) Refuse();
      }
    }
    CountScan(members, number);
    ScanBits bits(file_, dataStart);
    if (members.size() == 1) {
      DcPlane& plane = *members[0];
      const uint32_t columns = plane.component->widthInBlocks;
      const uint32_t rows = plane.component->heightInBlocks;
      int predictor = 0;
      uint32_t mcus = 0;
      for (uint32_t by = 0; by < rows; ++by) {
        checkpoint_();
        for (uint32_t bx = 0; bx < columns; ++bx) {
          StartMcu(bits, mcus, {&predictor, 1});
          Block(bits, plane.dc[std::size_t{by} * plane.stride + bx], *tables[0], predictor, ah, al);
        }
      }
    } else {
      std::vector<int> predictors(members.size(), 0);
      uint32_t mcus = 0;
      for (uint32_t my = 0; my < mcuRows_; ++my) {
        checkpoint_();
        for (uint32_t mx = 0; mx < mcuColumns_; ++mx) {
          StartMcu(bits, mcus, predictors);
          for (std::size_t k = 0; k < members.size(); ++k) {
            DcPlane& plane = *members[k];
            const auto h = static_cast<uint32_t>(plane.component->h);
            const auto v = static_cast<uint32_t>(plane.component->v);
            for (uint32_t iy = 0; iy < v; ++iy) {
              for (uint32_t ix = 0; ix < h; ++ix) {
                // Blocks past the component's edge pad the MCU: decoded and kept, never shown.
                int16_t& dc = plane.dc[std::size_t{my * v + iy} * plane.stride + mx * h + ix];
                Block(bits, dc, *tables[k], predictors[k], ah, al);
              }
            }
          }
        }
      }
    }
    for (DcPlane* plane : members) plane->firstScanDone = true;
    return bits.NextMarker();
  }

  // libjpeg's bound on a file's scans, so the file fails here as it would there (and without the
  // work of a second decode up to the same point): the scans, and the blocks they walk, libjpeg's
  // padding blocks of interleaved scans included.
  void CountScan(const std::vector<DcPlane*>& members, int number) {
    uint64_t blocks = 0;
    if (members.size() == 1) {
      blocks = uint64_t{members[0]->component->widthInBlocks} * members[0]->component->heightInBlocks;
    } else {
      for (const DcPlane* plane : members) {
        blocks += uint64_t{mcuColumns_} * mcuRows_ * static_cast<uint32_t>(plane->component->h * plane->component->v);
      }
    }
    scanWork_ += blocks;
    uint64_t pictureBlocks = 0;
    for (const JpegDcComponent& c : frame_.components) pictureBlocks += uint64_t{c.widthInBlocks} * c.heightInBlocks;
    if (number > JpegDecompressor::kMaxScans || scanWork_ > JpegDecompressor::ScanWorkLimit(pictureBlocks)) {
      JpegDecompressor::ThrowTooManyScans(number - 1);
    }
  }

  void StartMcu(ScanBits& bits, uint32_t& mcus, std::span<int> predictors) const {
    if (restartInterval_ != 0 && mcus != 0 && mcus % restartInterval_ == 0) {
      bits.Restart();
      std::fill(predictors.begin(), predictors.end(), 0);
    }
    ++mcus;
  }

  static void Block(ScanBits& bits, int16_t& dc, const DcHuffman& table, int& predictor, int ah, int al) {
    if (ah != 0) {
      if (bits.Bit() != 0) dc = static_cast<int16_t>(dc | (1 << al));
      return;
    }
    const int size = table.Decode(bits);
    if (size > 11) Refuse();
    // Damaged data can run the predictor past any range: it wraps, as libjpeg's does in practice.
    if (size != 0) {
      const auto diff = static_cast<uint32_t>(Extend(bits.Bits(size), size));
      predictor = static_cast<int>(static_cast<uint32_t>(predictor) + diff);
    }
    dc = static_cast<int16_t>(static_cast<uint32_t>(predictor) << al);
  }

  std::span<const uint8_t> file_;
  const JpegDcFrame& frame_;
  const std::function<void()>& checkpoint_;
  std::array<DcHuffman, 4> dcTables_;
  std::array<DcHuffman, 4> acTables_;  // only whether they are there
  std::array<std::optional<int>, 4> quant_;
  unsigned restartInterval_ = 0;
  int hMax_ = 1;
  int vMax_ = 1;
  uint32_t mcuColumns_ = 0;
  uint32_t mcuRows_ = 0;
  uint64_t scanWork_ = 0;
  std::vector<DcPlane> planes_;
  TMemoryCharge charge_;
};

}  // namespace

bool DecodeJpegDcOnly(std::span<const uint8_t> file, const JpegDcFrame& frame,
                      const std::function<uint8_t*(uint32_t y)>& row, const std::function<void()>& checkpoint) {
  try {
    DcDecoder decoder(file, frame, checkpoint);
    decoder.Run();
    decoder.Output(row);
    return true;
  } catch (const NotTaken&) {
    return false;
  } catch (const EReadError&) {
    return false;
  }
}

}  // namespace tablora
