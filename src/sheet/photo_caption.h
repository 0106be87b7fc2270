#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/metadata.h"

namespace tablora {

// What the second caption line under a picture's name may show, in the order the user chose.
enum class CaptionField { Date, Exposure, Camera, Lens, Focal, Iso, Rating, Title };

// The order of the pictures within each folder.
enum class SortOrder { Name, Natural, Date };

// The names the command line and the settings use: "date", "exposure", "camera", "lens",
// "focal", "iso", "rating", "title"; "name", "natural", "date".
std::string_view CaptionFieldName(CaptionField field);
std::optional<CaptionField> CaptionFieldNamed(std::string_view name);
std::string_view SortOrderName(SortOrder order);
std::optional<SortOrder> SortOrderNamed(std::string_view name);
// "date,exposure" as its fields, duplicates dropped; nothing when a name is unknown. An empty
// text is no fields.
std::optional<std::vector<CaptionField>> ParseCaptionFields(std::string_view list);
std::string CaptionFieldList(const std::vector<CaptionField>& fields);

// The caption line of the fields, two spaces between them, fields the picture lacks left out:
// "2024-06-01 14:03  1/250 s  f/8  ISO 100". Exposure is the shutter time, f-number and ISO;
// a chosen iso that exposure already shows is not repeated. The rating shows as five stars
// (★★★☆☆) with stars, else as "3/5"; a picture rated 0 or rejected has no rating to show.
std::string CaptionLine(const TPhotoMetadata& metadata, const std::vector<CaptionField>& fields, bool stars);

// Reads a picture's metadata for the sheet; the program's reader is ReadPhotoMetadata.
class MetadataReader {
 public:
  virtual ~MetadataReader() = default;
  virtual TPhotoMetadata Read(const std::string& path) = 0;
  // The same with the values of these exiv2 keys (TPhotoMetadata::byKey); a reader that knows
  // none leaves them out.
  virtual TPhotoMetadata ReadWithKeys(const std::string& path, const std::vector<std::string>& keys) {
    (void)keys;
    return Read(path);
  }
};

class FileMetadataReader : public MetadataReader {
 public:
  TPhotoMetadata Read(const std::string& path) override { return ReadPhotoMetadata(path); }
  TPhotoMetadata ReadWithKeys(const std::string& path, const std::vector<std::string>& keys) override {
    return ReadPhotoMetadata(path, keys);
  }
};

}  // namespace tablora
