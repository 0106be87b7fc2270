#include "imaging/readers/jpeg_decompressor.h"

#include <jerror.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "imaging/cancel.h"
#include "imaging/exceptions.h"
#include "imaging/format.h"
#include "imaging/image_limits.h"

namespace tablora {

namespace {

// What the source hands libjpeg once the data is exhausted: an end-of-image marker, so the
// decoder finishes the image with what it has instead of failing.
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

// The texts of the codes this library adds to libjpeg's own, from kTooManyScans on.
const char* const kAddonMessages[] = {"Too many scans: more than %d"};

uint64_t RoundUp(uint64_t value, uint64_t step) { return step == 0 ? value : (value + step - 1) / step * step; }

}  // namespace

JpegDecompressor::JpegDecompressor() {
  info_.err = jpeg_std_error(&error_.pub);
  error_.formatStandard = error_.pub.format_message;
  error_.pub.addon_message_table = kAddonMessages;
  error_.pub.first_addon_message = kTooManyScans;
  error_.pub.last_addon_message = kTooManyScans;
  error_.pub.error_exit = &ErrorExit;
  error_.pub.emit_message = &EmitMessage;
  error_.pub.output_message = &OutputMessage;
  error_.pub.format_message = &FormatMessage;
  error_.pub.reset_error_mgr = &ResetErrorManager;
  Run([this] { jpeg_create_decompress(&info_); });
  created_ = true;
  monitor_.pub.progress_monitor = &MonitorProgress;
  monitor_.self = this;
  info_.progress = &monitor_.pub;
}

JpegDecompressor::~JpegDecompressor() {
  if (created_) jpeg_destroy_decompress(&info_);
}

uint64_t JpegDecompressor::WholeImageBytes() {
  bool multipleScans = false;
  Run([&] {
    jpeg_calc_output_dimensions(&info_);
    multipleScans = jpeg_has_multiple_scans(&info_) != 0;
  });
  uint64_t bytes = 0;
  // Mirrors libjpeg's requests for virtual arrays: the coefficient controller keeps every block of
  // a file read in several scans, the post-processor the whole picture for two-pass quantisation.
  if (multipleScans || info_.buffered_image) {
    for (int c = 0; c < info_.num_components; ++c) {
      const jpeg_component_info& component = info_.comp_info[c];
      bytes += RoundUp(component.width_in_blocks, static_cast<uint64_t>(component.h_samp_factor)) *
               RoundUp(component.height_in_blocks, static_cast<uint64_t>(component.v_samp_factor)) *
               sizeof(JBLOCK);
    }
  }
  if (info_.quantize_colors && info_.two_pass_quantize && info_.colormap == nullptr &&
      info_.out_color_components == 3) {
    bytes += uint64_t{info_.output_width} * 3 *
             RoundUp(info_.output_height, static_cast<uint64_t>(info_.max_v_samp_factor));
  }
  return bytes;
}

void JpegDecompressor::ChargeWholeImage() {
  const uint64_t bytes = WholeImageBytes();
  wholeImage_.Set(bytes);
  // Past the image-size limit libjpeg refuses them itself, before it allocates them.
  info_.mem->max_memory_to_use = static_cast<long>(std::min<uint64_t>(
      std::min(bytes, ImageSizeLimit()) + kLibraryWorkspace, static_cast<uint64_t>(std::numeric_limits<long>::max())));
}

void JpegDecompressor::MonitorProgress(j_common_ptr info) {
  auto* monitor = reinterpret_cast<Monitor*>(info->progress);
  if (info->is_decompressor && !monitor->self->CountScans(*reinterpret_cast<j_decompress_ptr>(info))) {
    info->err->msg_code = kTooManyScans;
    info->err->msg_parm.i[0] = monitor->self->scansCounted_ - 1;
    (*info->err->error_exit)(info);
  }
  if (!monitor->self->Watch()) monitor->self->AbortFromCallback();
}

// libjpeg calls the monitor once a scan's header is read and its geometry set up, before it takes
// any of the scan's data, so a scan too many is refused before it costs anything.
bool JpegDecompressor::CountScans(const jpeg_decompress_struct& info) {
  if (info.input_scan_number <= scansCounted_ || info.comps_in_scan <= 0) return true;
  const int added = info.input_scan_number - scansCounted_;
  scansCounted_ = info.input_scan_number;
  if (scansCounted_ > kMaxScans) return false;
  uint64_t pictureBlocks = 0;
  for (int c = 0; c < info.num_components; ++c) {
    pictureBlocks += uint64_t{info.comp_info[c].width_in_blocks} * info.comp_info[c].height_in_blocks;
  }
  // The blocks the scan's decoding loop visits: its MCUs, padding blocks included.
  const uint64_t scanBlocks = uint64_t{info.MCUs_per_row} * info.MCU_rows_in_scan *
                              static_cast<uint64_t>(std::max(info.blocks_in_MCU, 1));
  scanWork_ += scanBlocks * static_cast<uint64_t>(added);
  return scanWork_ <= ScanWorkLimit(pictureBlocks);
}

std::size_t JpegDecompressor::FindMarker(std::span<const uint8_t> file, std::size_t from) {
  const uint8_t* const begin = file.data();
  const uint8_t* const end = begin + file.size();
  for (const uint8_t* p = begin + std::min(from, file.size()); p < end;) {
    p = static_cast<const uint8_t*>(std::memchr(p, 0xFF, static_cast<std::size_t>(end - p)));
    if (p == nullptr || p + 1 >= end) break;
    const uint8_t marker = p[1];
    if (marker == 0xFF) {
      ++p;  // fill byte: the marker follows
    } else if (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7)) {
      p += 2;
    } else {
      return static_cast<std::size_t>(p - begin);
    }
  }
  return file.size();
}

void JpegDecompressor::CheckScanWork(std::span<const uint8_t> file, const jpeg_decompress_struct& info) {
  uint64_t pictureBlocks = 0;
  for (int c = 0; c < info.num_components; ++c) {
    pictureBlocks += uint64_t{info.comp_info[c].width_in_blocks} * info.comp_info[c].height_in_blocks;
  }
  const uint64_t mcus = ((uint64_t{info.image_width} + 8u * info.max_h_samp_factor - 1) / (8u * info.max_h_samp_factor)) *
                        ((uint64_t{info.image_height} + 8u * info.max_v_samp_factor - 1) / (8u * info.max_v_samp_factor));
  const uint64_t limit = ScanWorkLimit(pictureBlocks);
  uint64_t work = 0;
  int scans = 0;
  // Markers from the first on; entropy-coded data and stray bytes are passed over as libjpeg
  // passes over them.
  for (std::size_t at = FindMarker(file, 2); at + 4 <= file.size();) {
    const uint8_t marker = file[at + 1];
    if (marker == JPEG_EOI) return;
    const std::size_t length = (std::size_t{file[at + 2]} << 8) | file[at + 3];
    if (marker == 0xDA) {  // start of scan
      if (length < 3 || at + 5 > file.size()) return;
      const int count = file[at + 4];
      if (count < 1 || count > info.num_components || at + 5 + 2 * std::size_t(count) > file.size()) return;
      uint64_t blocks = 0;
      for (int k = 0; k < count; ++k) {
        const int id = file[at + 5 + 2 * std::size_t(k)];
        const jpeg_component_info* found = nullptr;
        for (int c = 0; c < info.num_components; ++c) {
          if (info.comp_info[c].component_id == id) found = &info.comp_info[c];
        }
        if (found == nullptr) return;
        blocks += count == 1 ? uint64_t{found->width_in_blocks} * found->height_in_blocks
                             : mcus * static_cast<uint64_t>(found->h_samp_factor * found->v_samp_factor);
      }
      work += blocks;
      if (++scans > kMaxScans || work > limit) ThrowTooManyScans(scans - 1);
    }
    at = FindMarker(file, at + 2 + length);
  }
}

void JpegDecompressor::ThrowTooManyScans(int scansThatFit) {
  throw EJPEG(Format("JPEG error #%d", kTooManyScans), Format("Too many scans: more than %d", scansThatFit));
}

bool JpegDecompressor::Watch() noexcept {
  try {
    CheckCancel();
    return !listener_ || listener_();
  } catch (...) {
    ParkException(std::current_exception());
    return false;
  }
}

void JpegDecompressor::SetSource(const uint8_t* data, std::size_t size) {
  source_.pub.init_source = &InitSource;
  source_.pub.fill_input_buffer = &FillInputBuffer;
  source_.pub.skip_input_data = &SkipInputData;
  source_.pub.resync_to_restart = &jpeg_resync_to_restart;
  source_.pub.term_source = &TermSource;
  source_.pub.next_input_byte = nullptr;
  source_.pub.bytes_in_buffer = 0;
  source_.data = data;
  source_.size = size;
  source_.started = false;
  info_.src = &source_.pub;
  scansCounted_ = 0;
  scanWork_ = 0;
}

bool JpegDecompressor::Invoke(void (*fn)(void*), void* arg) {
  if (setjmp(error_.jump) != 0) return false;
  fn(arg);
  return true;
}

void JpegDecompressor::ThrowPendingError() {
  if (parked_) {
    std::exception_ptr error = std::move(parked_);
    parked_ = nullptr;
    std::rethrow_exception(error);
  }
  throw EJPEG(Format("JPEG error #%d", error_.code), error_.text);
}

void JpegDecompressor::AbortFromCallback() { std::longjmp(error_.jump, 1); }

void JpegDecompressor::ErrorExit(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  manager->code = manager->pub.msg_code;
  (*manager->formatStandard)(info, manager->text);
  std::longjmp(manager->jump, 1);
}

// Warnings and traces are ignored: a damaged file decodes as far as the library can take it.
void JpegDecompressor::EmitMessage(j_common_ptr, int) {}
void JpegDecompressor::OutputMessage(j_common_ptr) {}
void JpegDecompressor::FormatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }

void JpegDecompressor::ResetErrorManager(j_common_ptr info) {
  info->err->num_warnings = 0;
  info->err->msg_code = 0;
}

void JpegDecompressor::InitSource(j_decompress_ptr) {}

boolean JpegDecompressor::FillInputBuffer(j_decompress_ptr info) {
  auto* source = reinterpret_cast<MemorySource*>(info->src);
  if (!source->started) {
    source->started = true;
    if (source->size == 0) ERREXIT(info, JERR_INPUT_EMPTY);
    // The whole file is already in memory: one refill hands all of it over without copying.
    source->pub.next_input_byte = source->data;
    source->pub.bytes_in_buffer = source->size;
    return TRUE;
  }
  WARNMS(info, JWRN_JPEG_EOF);
  source->pub.next_input_byte = kEndOfImage;
  source->pub.bytes_in_buffer = sizeof kEndOfImage;
  return TRUE;
}

void JpegDecompressor::SkipInputData(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* source = info->src;
  const auto wanted = static_cast<unsigned long>(count);
  if (source->bytes_in_buffer == 0) FillInputBuffer(info);
  if (wanted <= source->bytes_in_buffer) {
    source->next_input_byte += wanted;
    source->bytes_in_buffer -= wanted;
    return;
  }
  // A skip past the end of the data lands on the end-of-image marker.
  source->bytes_in_buffer = 0;
  FillInputBuffer(info);
}

void JpegDecompressor::TermSource(j_decompress_ptr) {}

}  // namespace tablora
