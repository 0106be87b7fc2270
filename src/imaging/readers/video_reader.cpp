#include "imaging/readers/video_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <string_view>
#include <utility>
#include <string>
#include <vector>

#include "imaging/cancel.h"
#include "imaging/checked.h"
#include "imaging/exceptions.h"
#include "imaging/image_limits.h"
#include "imaging/memory_budget.h"
#include "imaging/raster_graphic.h"
#include "imaging/readers/hdr_tone_map.h"

namespace tablora {

namespace {

[[noreturn]] void Invalid() { RaiseImageErrorFmt(gesInvalidImage, "video"); }

// FFmpeg writes its complaints about damaged files to stderr; a cell says what went wrong itself.
void QuietFfmpeg() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// ---- the file's bytes as FFmpeg's input ----

struct TMemoryInput {
  std::span<const uint8_t> bytes;
  std::size_t position = 0;
};

int ReadInput(void* opaque, uint8_t* buffer, int size) {
  auto& input = *static_cast<TMemoryInput*>(opaque);
  if (size <= 0) return 0;
  const std::size_t left = input.bytes.size() - input.position;
  if (left == 0) return AVERROR_EOF;
  const std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(size));
  std::memcpy(buffer, input.bytes.data() + input.position, n);
  input.position += n;
  return static_cast<int>(n);
}

int64_t SeekInput(void* opaque, int64_t offset, int whence) {
  auto& input = *static_cast<TMemoryInput*>(opaque);
  const auto size = static_cast<int64_t>(input.bytes.size());
  if ((whence & AVSEEK_SIZE) != 0) return size;
  int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<int64_t>(input.position); break;
    case SEEK_END: base = size; break;
    default: return AVERROR(EINVAL);
  }
  // Positions beyond the bytes are refused rather than clamped: a demuxer that asked for one
  // learns that the file is shorter than its index says.
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0 || base + offset > size) return AVERROR(EINVAL);
  input.position = static_cast<std::size_t>(base + offset);
  return base + offset;
}

// Cancel and the work budget, seen by FFmpeg between its reads. The exception waits here until
// FFmpeg has returned: it must not cross FFmpeg's frames.
struct TInterrupt {
  std::exception_ptr raised;
  static int Check(void* opaque) {
    auto& self = *static_cast<TInterrupt*>(opaque);
    if (self.raised) return 1;
    try {
      CheckCancel();
    } catch (...) {
      self.raised = std::current_exception();
      return 1;
    }
    return 0;
  }
  void Rethrow() {
    if (raised) std::rethrow_exception(std::exchange(raised, nullptr));
  }
};

// The clip is the bytes it was handed: a container's references to other files (QuickTime's
// data references) stay unread.
int RefuseOtherFiles(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

// One container opened over the bytes, its video stream chosen; nothing decoded.
class TDemuxer {
 public:
  explicit TDemuxer(std::span<const uint8_t> file) {
    QuietFfmpeg();
    input_.bytes = file;
    constexpr int kBufferBytes = 32 * 1024;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferBytes));
    if (buffer == nullptr) throw std::bad_alloc();
    io_ = avio_alloc_context(buffer, kBufferBytes, 0, &input_, ReadInput, nullptr, SeekInput);
    if (io_ == nullptr) {
      av_free(buffer);
      throw std::bad_alloc();
    }
    format_ = avformat_alloc_context();
    if (format_ == nullptr) throw std::bad_alloc();
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->interrupt_callback = {TInterrupt::Check, &interrupt_};
    // Only the containers of the extensions we admit: FFmpeg would otherwise take a JPEG for a
    // clip, or a playlist whose entries name other files and addresses.
    format_->format_whitelist = av_strdup("mov,matroska,avi,mpegts");
    format_->protocol_whitelist = av_strdup("none");
    format_->io_open = RefuseOtherFiles;
    if (format_->format_whitelist == nullptr || format_->protocol_whitelist == nullptr) {
      avformat_free_context(format_);
      format_ = nullptr;
      throw std::bad_alloc();
    }
    // The file is in memory: FFmpeg needs no more than its first bytes to tell the container.
    format_->probesize = 1 << 20;
    format_->max_analyze_duration = 5 * AV_TIME_BASE;
    // On failure avformat_open_input frees the context it was given.
    const int opened = avformat_open_input(&format_, nullptr, nullptr, nullptr);
    interrupt_.Rethrow();
    if (opened < 0) {
      format_ = nullptr;
      return;
    }
    const int best = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best >= 0 && !Attached(format_->streams[best])) stream_ = format_->streams[best];
  }
  ~TDemuxer() {
    if (format_ != nullptr) avformat_close_input(&format_);
    if (io_ != nullptr) {
      av_freep(&io_->buffer);
      avio_context_free(&io_);
    }
  }
  TDemuxer(const TDemuxer&) = delete;
  TDemuxer& operator=(const TDemuxer&) = delete;

  AVFormatContext* Format() const { return format_; }
  AVStream* Stream() const { return stream_; }
  // Fills in what the header left out (the size of a transport stream's pictures) by reading
  // and parsing the first packets.
  void FindStreamInfo() {
    const int found = avformat_find_stream_info(format_, nullptr);
    interrupt_.Rethrow();
    if (found < 0) Invalid();
  }
  TInterrupt& Interrupt() { return interrupt_; }

  // The picture's size, its sample aspect applied to the width.
  std::pair<uint32_t, uint32_t> ShownSize() const {
    const AVCodecParameters& p = *stream_->codecpar;
    if (p.width <= 0 || p.height <= 0) return {0, 0};
    uint64_t width = static_cast<uint64_t>(p.width);
    const AVRational sar = av_guess_sample_aspect_ratio(format_, stream_, nullptr);
    if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) {
      width = static_cast<uint64_t>(std::llround(static_cast<double>(p.width) * sar.num / sar.den));
      // A sample aspect beyond any real one is a damaged header; the stored width stands.
      const auto stored = static_cast<uint64_t>(p.width);
      if (width == 0 || width > stored * 4 || width * 4 < stored) width = stored;
    }
    return {static_cast<uint32_t>(width), static_cast<uint32_t>(p.height)};
  }

  // Clockwise degrees the display matrix turns the stored picture by: 0, 90, 180 or 270.
  int Rotation() const {
    const uint8_t* matrix = av_stream_get_side_data(stream_, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (matrix == nullptr) return 0;
    const double anticlockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(anticlockwise)) return 0;
    const long quarters = std::lround(-anticlockwise / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
  }

 private:
  // A cover picture in the container is no frame of the clip.
  static bool Attached(const AVStream* stream) { return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0; }

  TMemoryInput input_;
  TInterrupt interrupt_;
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVStream* stream_ = nullptr;
};

int OrientationOfRotation(int clockwise) {
  switch (clockwise) {
    case 90: return 6;
    case 180: return 3;
    case 270: return 8;
    default: return 1;
  }
}

// The codec's common name; FFmpeg's short name, upper-cased, for the rest.
std::string CodecName(AVCodecID id) {
  switch (id) {
    case AV_CODEC_ID_H264: return "H.264";
    case AV_CODEC_ID_HEVC: return "HEVC";
    case AV_CODEC_ID_MPEG2VIDEO: return "MPEG-2";
    case AV_CODEC_ID_MPEG4: return "MPEG-4";
    case AV_CODEC_ID_MJPEG: return "Motion JPEG";
    case AV_CODEC_ID_PRORES: return "ProRes";
    default: break;
  }
  std::string name = avcodec_get_name(id);
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return name;
}

double Seconds(int64_t value, AVRational base) {
  return static_cast<double>(value) * base.num / base.den;
}

TVideoFacts FactsOf(const TDemuxer& demuxer) {
  const AVFormatContext& format = *demuxer.Format();
  const AVStream& stream = *demuxer.Stream();
  TVideoFacts facts;
  facts.container = format.iformat->long_name != nullptr ? format.iformat->long_name : format.iformat->name;
  facts.codec = CodecName(stream.codecpar->codec_id);
  if (stream.duration > 0 && stream.time_base.num > 0 && stream.time_base.den > 0) {
    facts.duration = Seconds(stream.duration, stream.time_base);
  } else if (format.duration > 0) {
    facts.duration = static_cast<double>(format.duration) / AV_TIME_BASE;
  }
  AVRational rate = stream.avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = stream.r_frame_rate;
  if (rate.num > 0 && rate.den > 0) facts.frameRate = av_q2d(rate);
  facts.rotation = demuxer.Rotation();
  const auto [w, h] = demuxer.ShownSize();
  facts.width = w;
  facts.height = h;
  return facts;
}

// Formats whose range libswscale takes from their name: the same samples in full range.
AVPixelFormat WithoutJpegRange(AVPixelFormat format, bool& full) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P: full = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: full = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: full = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: full = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: full = true; return AV_PIX_FMT_YUV411P;
    default: return format;
  }
}

struct TFrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using TFrame = std::unique_ptr<AVFrame, TFrameFree>;

struct TPacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using TPacket = std::unique_ptr<AVPacket, TPacketFree>;

struct TCodecFree {
  void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
using TCodec = std::unique_ptr<AVCodecContext, TCodecFree>;

struct TScaleFree {
  void operator()(SwsContext* scale) const { sws_freeContext(scale); }
};

// Mean luma of a sample grid of the frame's first plane, 0 (black) to 1 (white), the range's
// black and white taken into account; nothing for frames that are not YUV.
std::optional<double> MeanLuma(const AVFrame& frame) {
  const auto format = static_cast<AVPixelFormat>(frame.format);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc == nullptr || (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL)) != 0 ||
      desc->nb_components < 1 || frame.data[0] == nullptr || frame.width <= 0 || frame.height <= 0) {
    return std::nullopt;
  }
  const AVComponentDescriptor& luma = desc->comp[0];
  if (luma.plane != 0 || luma.depth < 8 || luma.depth > 16 || luma.step <= 0) return std::nullopt;
  const bool wide = luma.depth > 8;
  const bool bigEndian = (desc->flags & AV_PIX_FMT_FLAG_BE) != 0;
  bool full = frame.color_range == AVCOL_RANGE_JPEG;
  WithoutJpegRange(format, full);
  const double scale = static_cast<double>(1 << (luma.depth - 8));
  const double black = full ? 0 : 16 * scale;
  const double white = full ? ((1 << luma.depth) - 1) : 235 * scale;
  constexpr int kGrid = 24;
  double sum = 0;
  int count = 0;
  for (int j = 0; j < kGrid; ++j) {
    const int y = (2 * j + 1) * frame.height / (2 * kGrid);
    const uint8_t* row = frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.linesize[0];
    for (int i = 0; i < kGrid; ++i) {
      const int x = (2 * i + 1) * frame.width / (2 * kGrid);
      const uint8_t* at = row + static_cast<std::ptrdiff_t>(x) * luma.step + luma.offset;
      unsigned value = at[0];
      if (wide) value = bigEndian ? (at[0] << 8 | at[1]) : (at[1] << 8 | at[0]);
      value >>= luma.shift;
      sum += value;
      ++count;
    }
  }
  return std::clamp((sum / count - black) / (white - black), 0.0, 1.0);
}

// A picture whose mean luma stays under this shows nothing worth a cell: a fade-in, a lens cap.
constexpr double kNearlyBlack = 0.06;

}  // namespace

// ---- the reader ----

struct TVideoReader::TState {
  explicit TState(std::span<const uint8_t> file) : demuxer(file) {}

  TDemuxer demuxer;
  TVideoFacts facts;
  TCodec codec;

  // Opens the decoder; the frames it may make are held to the image-size limit.
  void OpenDecoder() {
    const AVCodecParameters& parameters = *demuxer.Stream()->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters.codec_id);
    if (decoder == nullptr) Invalid();
    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec) throw std::bad_alloc();
    if (avcodec_parameters_to_context(codec.get(), &parameters) < 0) Invalid();
    // The program decodes a page's pictures on every core already.
    codec->thread_count = 1;
    codec->max_pixels = std::max<int64_t>(static_cast<int64_t>(std::min<uint64_t>(ImageSizeLimit() / 4, INT64_MAX)), 1);
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) Invalid();
  }

  // The picture of one packet: sent alone, then the decoder drained and reset for the next.
  TFrame DecodeAlone(AVPacket& packet) {
    TFrame frame(av_frame_alloc());
    if (!frame) throw std::bad_alloc();
    bool got = false;
    if (avcodec_send_packet(codec.get(), &packet) >= 0 && avcodec_send_packet(codec.get(), nullptr) >= 0) {
      for (;;) {
        CheckCancel();
        TFrame next(av_frame_alloc());
        if (!next) throw std::bad_alloc();
        if (avcodec_receive_frame(codec.get(), next.get()) < 0) break;
        // The first picture out is the packet's; later ones would be frames it held back.
        if (!got) {
          frame = std::move(next);
          got = true;
        }
      }
    }
    avcodec_flush_buffers(codec.get());
    return got ? std::move(frame) : TFrame();
  }

  // Reads the next packet of the video stream; false at the end (or on damage past repair).
  bool NextPacket(AVPacket& packet) {
    for (;;) {
      CheckCancel();
      av_packet_unref(&packet);
      const int read = av_read_frame(demuxer.Format(), &packet);
      demuxer.Interrupt().Rethrow();
      if (read < 0) return false;
      if (packet.stream_index == demuxer.Stream()->index) return true;
    }
  }

  void Rewind() {
    AVStream& stream = *demuxer.Stream();
    const int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    if (av_seek_frame(demuxer.Format(), stream.index, start, AVSEEK_FLAG_BACKWARD) < 0) {
      // Demuxers that cannot seek by time still read from the first byte again.
      avio_seek(demuxer.Format()->pb, 0, SEEK_SET);
      avformat_flush(demuxer.Format());
    }
    demuxer.Interrupt().Rethrow();
  }

  // The first keyframe at or after a tenth of the clip that is not nearly black, of the first
  // kPosterTries; else the first of them; else (no keyframe there, or none flagged) the first
  // picture the stream gives from its start.
  TFrame Poster() {
    AVStream& stream = *demuxer.Stream();
    TPacket packet(av_packet_alloc());
    if (!packet) throw std::bad_alloc();
    int64_t target = 0;
    if (facts.duration > 0 && stream.time_base.num > 0 && stream.time_base.den > 0) {
      const int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
      // A damaged header's duration can lie beyond any timestamp: held within them.
      const double tenth = facts.duration / 10 * stream.time_base.den / stream.time_base.num;
      if (__builtin_add_overflow(start, static_cast<int64_t>(std::clamp(tenth, 0.0, 1e15)), &target)) target = start;
      if (avformat_seek_file(demuxer.Format(), stream.index, target, target, INT64_MAX, 0) < 0) Rewind();
      demuxer.Interrupt().Rethrow();
    }
    TFrame first;
    int tries = 0;
    while (tries < kPosterTries && NextPacket(*packet)) {
      if ((packet->flags & AV_PKT_FLAG_KEY) == 0) continue;
      const int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      if (time != AV_NOPTS_VALUE && time < target) continue;
      TFrame frame = DecodeAlone(*packet);
      if (!frame) continue;
      ++tries;
      const std::optional<double> luma = MeanLuma(*frame);
      if (!luma || *luma >= kNearlyBlack) return frame;
      if (!first) first = std::move(frame);
    }
    if (first) return first;
    // From the start, every packet in turn until a picture comes out.
    Rewind();
    constexpr int kMaxPackets = 600;
    TFrame frame(av_frame_alloc());
    if (!frame) throw std::bad_alloc();
    for (int n = 0; n < kMaxPackets && NextPacket(*packet); ++n) {
      if (avcodec_send_packet(codec.get(), packet.get()) < 0) continue;
      if (avcodec_receive_frame(codec.get(), frame.get()) >= 0) return frame;
    }
    if (avcodec_send_packet(codec.get(), nullptr) >= 0 && avcodec_receive_frame(codec.get(), frame.get()) >= 0) {
      return frame;
    }
    Invalid();
  }
};

bool IsVideo(std::span<const uint8_t> file) {
  const auto at = [&](std::size_t offset, std::string_view text) {
    return file.size() >= offset + text.size() && std::memcmp(file.data() + offset, text.data(), text.size()) == 0;
  };
  if (at(4, "ftyp")) {
    // Brands of still pictures and raw files that use the same boxes are other readers'.
    for (std::string_view brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis", "crx "}) {
      if (at(8, brand)) return false;
    }
    return file.size() >= 12;
  }
  // QuickTime files of old may begin with any of their top-level boxes.
  for (std::string_view box : {"moov", "mdat", "wide", "free", "skip", "pnot"}) {
    if (at(4, box)) return true;
  }
  if (at(0, "\x1A\x45\xDF\xA3")) return true;           // EBML: Matroska, WebM
  if (at(0, "RIFF") && at(8, "AVI ")) return true;        // AVI
  for (const std::size_t packet : {std::size_t{188}, std::size_t{192}}) {
    // Transport streams: a sync byte every packet (M2TS packets carry a 4-byte time code first).
    const std::size_t first = packet == 188 ? 0 : 4;
    if (file.size() >= first + 2 * packet + 1 && file[first] == 0x47 && file[first + packet] == 0x47 &&
        file[first + 2 * packet] == 0x47) {
      return true;
    }
  }
  return false;
}

namespace {

// `complete`: what the header leaves out (a transport stream's size, duration and rate) is found
// by reading the stream's first packets.
std::optional<TVideoFacts> FactsOfBytes(std::span<const uint8_t> file, bool complete) {
  if (file.empty()) return std::nullopt;
  try {
    TDemuxer demuxer(file);
    if (demuxer.Format() == nullptr || demuxer.Stream() == nullptr) return std::nullopt;
    TVideoFacts facts = FactsOf(demuxer);
    if (complete && (facts.width == 0 || facts.duration <= 0 || facts.frameRate <= 0)) {
      demuxer.FindStreamInfo();
      facts = FactsOf(demuxer);
    }
    return facts;
  } catch (const Exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<TVideoFacts> ReadVideoFacts(std::span<const uint8_t> file) { return FactsOfBytes(file, true); }

std::optional<TImageHeader> ProbeVideo(std::span<const uint8_t> file) {
  // Called for every cell more than once: the header alone.
  const std::optional<TVideoFacts> facts = FactsOfBytes(file, false);
  if (!facts) return std::nullopt;
  TImageHeader header;
  header.width = facts->width;
  header.height = facts->height;
  header.orientation = OrientationOfRotation(facts->rotation);
  header.anyScale = true;
  return header;
}

std::string DurationText(double seconds) {
  const auto total = static_cast<int64_t>(std::llround(std::clamp(seconds, 0.0, 1e9)));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(total / 3600),
                  static_cast<int>(total / 60 % 60), static_cast<int>(total % 60));
  } else {
    std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(total / 60), static_cast<int>(total % 60));
  }
  return text;
}

std::string FrameRateText(double framesPerSecond) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", framesPerSecond);
  std::string out = text;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out + " fps";
}

TVideoReader::TVideoReader() = default;
TVideoReader::~TVideoReader() = default;

void TVideoReader::Load(std::span<const uint8_t> file) {
  if (file.empty()) Invalid();
  auto state = std::make_unique<TState>(file);
  TDemuxer& demuxer = state->demuxer;
  if (demuxer.Format() == nullptr || demuxer.Stream() == nullptr) Invalid();
  // Transport streams tell the size of their pictures only in the stream itself.
  if (demuxer.Stream()->codecpar->width <= 0 || demuxer.Stream()->codecpar->height <= 0) demuxer.FindStreamInfo();
  state->facts = FactsOf(demuxer);
  const AVCodecParameters& parameters = *demuxer.Stream()->codecpar;
  if (state->facts.width == 0 || state->facts.height == 0) Invalid();
  CheckImageSize(parameters.width, parameters.height, 24);
  CheckImageSize(state->facts.width, state->facts.height, 24);
  width_ = static_cast<int>(state->facts.width);
  height_ = static_cast<int>(state->facts.height);
  state_ = std::move(state);
}

void TVideoReader::PrepareFor(int32_t width, int32_t height) {
  if (decoded_) return;
  wantWidth_ = width;
  wantHeight_ = height;
}

const TBitmap& TVideoReader::Pixels() {
  if (decoded_) return bitmap_;
  if (!state_) Invalid();
  TState& state = *state_;
  const AVCodecParameters& parameters = *state.demuxer.Stream()->codecpar;
  // The decoder's frames (up to 16 bits a sample, 4:4:4 at worst, a few held for reference)
  // and the scaler's rows.
  const std::optional<uint64_t> frameBytes =
      CheckedProduct({static_cast<uint64_t>(parameters.width), static_cast<uint64_t>(parameters.height), 6, 4});
  if (!frameBytes) Invalid();
  TMemoryCharge work(*frameBytes);
  try {
    state.OpenDecoder();
    TFrame poster = state.Poster();
    const AVFrame& frame = *poster;
    if (frame.width <= 0 || frame.height <= 0 || frame.format < 0) Invalid();
    CheckImageSize(frame.width, frame.height, 24);
    const AVRational base = state.demuxer.Stream()->time_base;
    const int64_t start = state.demuxer.Stream()->start_time != AV_NOPTS_VALUE ? state.demuxer.Stream()->start_time : 0;
    if (frame.best_effort_timestamp != AV_NOPTS_VALUE && base.den > 0) {
      // In floating point: a damaged stream's timestamps may lie any distance apart.
      const double ticks = static_cast<double>(frame.best_effort_timestamp) - static_cast<double>(start);
      posterSeconds_ = std::max(0.0, ticks * base.num / base.den);
    }

    // The size asked for, in the clip's proportions, never more than its shown size.
    TImageHeader header;
    header.width = static_cast<uint32_t>(width_);
    header.height = static_cast<uint32_t>(height_);
    header.anyScale = true;
    const auto [w, h] = wantWidth_ > 0 && wantHeight_ > 0 ? DecodeSizeFor(header, wantWidth_, wantHeight_)
                                                         : std::pair<uint32_t, uint32_t>{header.width, header.height};
    const int outWidth = static_cast<int>(std::max<uint32_t>(w, 1));
    const int outHeight = static_cast<int>(std::max<uint32_t>(h, 1));
    CheckImageSize(outWidth, outHeight, 24);

    bool fullRange = frame.color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat source = WithoutJpegRange(static_cast<AVPixelFormat>(frame.format), fullRange);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(source);
    if (desc == nullptr) Invalid();
    const bool deep = desc->comp[0].depth > 8;
    const THdrSource hdr = deep ? HdrSourceOf(frame.color_primaries, frame.color_trc) : THdrSource{};
    const bool toneMapped = hdr.transfer != THdr::hdNone;
    const AVPixelFormat target = toneMapped ? AV_PIX_FMT_RGB48LE : AV_PIX_FMT_BGR24;
    std::unique_ptr<SwsContext, TScaleFree> scale(sws_getContext(frame.width, frame.height, source, outWidth, outHeight,
                                                                  target, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!scale) Invalid();
    // Pictures that do not say which matrix they were coded with follow the convention of
    // their size: BT.709 from HD up, BT.601 below.
    AVColorSpace space = frame.colorspace;
    if (space == AVCOL_SPC_UNSPECIFIED || space == AVCOL_SPC_RESERVED || space == AVCOL_SPC_RGB || space > AVCOL_SPC_ICTCP) {
      space = frame.height >= 720 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    }
    if ((desc->flags & AV_PIX_FMT_FLAG_RGB) == 0) {
      sws_setColorspaceDetails(scale.get(), sws_getCoefficients(space), fullRange ? 1 : 0,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    bitmap_.SetPixelFormat(pf24bit);
    bitmap_.SetSize(outWidth, outHeight);
    CheckCancel();
    // libswscale writes whole vector blocks, past a row's last pixel and past the last row: its
    // rows go into a buffer with room to spare (and charged), then into the bitmap.
    const std::size_t rowBytes = static_cast<std::size_t>(outWidth) * (toneMapped ? 6 : 3);
    const std::size_t stride = (rowBytes + 63) & ~std::size_t{63};
    constexpr std::size_t kSlack = 256;
    const std::size_t bufferBytes = stride * static_cast<std::size_t>(outHeight) + kSlack;
    TMemoryCharge rows(bufferBytes);
    std::vector<uint8_t> buffer(bufferBytes);
    uint8_t* planes[4] = {buffer.data(), nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(stride), 0, 0, 0};
    if (sws_scale(scale.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) != outHeight) Invalid();
    if (toneMapped) {
      ToneMap(hdr, buffer.data(), stride, 16, false, bitmap_);
    } else {
      for (int y = 0; y < outHeight; ++y) {
        std::memcpy(bitmap_.ScanLine(y), buffer.data() + stride * static_cast<std::size_t>(y), rowBytes);
      }
    }
  } catch (...) {
    bitmap_.ReleaseContents();
    throw;
  }
  // The decoder and its frames go now; the facts stay for Details.
  state.codec.reset();
  decoded_ = true;
  return bitmap_;
}

TReaderDetails TVideoReader::Details() {
  if (!state_) return {};
  const TVideoFacts& facts = state_->facts;
  TReaderDetails details{{"container", facts.container}, {"codec", facts.codec}};
  if (facts.duration > 0) details.emplace_back("duration", DurationText(facts.duration));
  if (facts.frameRate > 0) details.emplace_back("frame rate", FrameRateText(facts.frameRate));
  details.emplace_back("rotation", std::to_string(facts.rotation) + "\xC2\xB0");
  if (posterSeconds_ >= 0) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", posterSeconds_);
    details.emplace_back("poster", text);
  }
  return details;
}

bool VideoMetadata(std::span<const uint8_t> bytes, TPhotoMetadata& metadata) {
  if (!IsVideo(bytes)) return false;
  if (const std::optional<TVideoFacts> facts = ReadVideoFacts(bytes)) {
    if (facts->duration > 0) metadata.duration = facts->duration;
    if (facts->frameRate > 0) metadata.frameRate = facts->frameRate;
    metadata.codec = facts->codec;
  }
  return true;
}

}  // namespace tablora
