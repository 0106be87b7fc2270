#pragma once

#include <QImage>
#include <string>

namespace tablora::cli {

constexpr int kDefaultJpegQuality = 90;

// Writes image as a baseline JPEG of the given quality (1..100) into `temporary` (made by
// PendingOutputs::Add) through libjpeg's compressor, its resolution in the JFIF density (dots per
// inch). Every write, the flush to the disk and the close are checked: std::runtime_error
// "cannot write 'TARGET': REASON". Stops with EAbort at Ctrl-C.
void WriteJpeg(const QImage& image, const std::string& temporary, int quality);

// The most pixels a side of a JPEG picture may have (the format's 16-bit sizes).
constexpr int kLargestJpegSide = 65535;

}  // namespace tablora::cli
