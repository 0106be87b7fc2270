#pragma once

#include <QPageSize>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tablora::cli {

// What the sheet command writes, chosen by the extension of -o (any case).
enum class OutputKind { Pdf, Png, Jpeg };

// Raises UsageError naming -o unless the path ends in .pdf, .png, .jpg or .jpeg.
OutputKind OutputKindOf(const std::string& path);

// What --manifest writes, chosen by its extension (any case).
enum class ManifestKind { Csv, Json };

// Raises UsageError naming --manifest unless the path ends in .csv or .json.
ManifestKind ManifestKindOf(const std::string& path);

// --paper: A4, Letter, Legal or A3 in any case; anything else is a UsageError naming it.
QPageSize::PageSizeId PaperSizeOf(const std::string& name);

struct PageRange {
  int from = 1;
  int to = 1;
};

// --pages FROM-TO, or N for N-N: whole numbers from 1 with FROM <= TO, else a UsageError.
PageRange ParsePageRange(const std::string& text);

// A CUPS option as lp's -o takes it: NAME=VALUE, or NAME alone for a yes-or-no option. The name
// is letters, digits and "-", "_", "."; anything else is a UsageError naming `option`.
std::pair<std::string, std::string> ParseCupsOption(const std::string& text, const std::string& option);

// The picture of one page: OUT.png gives OUT-001.png, OUT-002.png, ... (more digits past 999),
// OUT.jpeg OUT-001.jpeg; the extension keeps the case it was given in.
std::string PagePicturePath(const std::string& output, int32_t page);

// Refuses with a UsageError an output that is the same file as one of the inputs, before anything
// is written (see OutputThatIsInput).
void RefuseInputAsOutput(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);

}  // namespace tablora::cli
