#include "imaging/jpeg_decompressor.h"

#include <jerror.h>

#include <cstring>

#include "imaging/exceptions.h"
#include "imaging/format.h"

namespace tablora {

namespace {

// What the source hands libjpeg once the data is exhausted: an end-of-image marker, so the
// decoder finishes the image with what it has instead of failing.
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

}  // namespace

JpegDecompressor::JpegDecompressor() {
  info_.err = jpeg_std_error(&error_.pub);
  error_.pub.error_exit = &ErrorExit;
  error_.pub.emit_message = &EmitMessage;
  error_.pub.output_message = &OutputMessage;
  error_.pub.format_message = &FormatMessage;
  error_.pub.reset_error_mgr = &ResetErrorManager;
  Run([this] { jpeg_create_decompress(&info_); });
  created_ = true;
}

JpegDecompressor::~JpegDecompressor() {
  if (created_) jpeg_destroy_decompress(&info_);
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
  throw EJPEG(Format("JPEG error #%d", error_.code));
}

void JpegDecompressor::AbortFromCallback() { std::longjmp(error_.jump, 1); }

void JpegDecompressor::ErrorExit(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  manager->code = manager->pub.msg_code;
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
