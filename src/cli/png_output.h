#pragma once

#include <QImage>
#include <string>

namespace tablora::cli {

// Writes image as PNG into `temporary` (made by PendingOutputs::Add), checking every write, the
// flush to the disk and the close. Raises std::runtime_error "cannot write 'TARGET': REASON", or
// "the image is too large for PNG: W × H" for a picture PNG's encoder refuses. Stops with EAbort
// at Ctrl-C. Qt's own copy of the picture in another pixel format is charged to the memory budget.
void WritePng(const QImage& image, const std::string& temporary);

// The most pixels a side of a PNG picture may have here (libpng's own limit for writing).
constexpr int kLargestPngSide = 1000000;

}  // namespace tablora::cli
