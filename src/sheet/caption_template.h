#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/metadata.h"
#include "sheet/sheet_template.h"

namespace tablora {

// A field's text: empty when the field has no value for this picture or page, nothing when the
// field is not one of those the template may hold.
using FieldValue = std::function<std::optional<std::string>(std::string_view field)>;

// A template's text with its fields ("{name}", "{date:%d.%m.%Y}") filled. A field without a value
// vanishes together with the text that joins it to the field before it; text before the first
// field and after the last belongs to those fields ("ISO {iso}" vanishes whole). "{{" and "}}"
// stand for braces.
std::string FillTemplate(std::string_view text, const FieldValue& value);
// The same text in pieces that can be left out whole: each field with the text that joins it to
// the one before (the first with the text before it, the last with the text after it).
std::vector<std::string> FillTemplatePieces(std::string_view text, const FieldValue& value);
// The fields of a template that `value` does not know, and "{" left open, for a message.
std::vector<std::string> UnknownFields(std::string_view text, const FieldValue& value);

// What a caption line may show of one picture.
struct PictureFacts {
  std::string_view entry;       // "/2024/Rome/IMG_0001.JPG", relative to the sheet's folder
  // The name {name} shows in place of the file's own: a pair's "IMG_0001.CR3 + JPG".
  std::string_view shownName;
  std::string_view baseFolder;  // the sheet's folder
  int32_t frame = 0;            // the picture's number within the sheet
  int32_t frameInFolder = 0;    // its number within its folder
  const TPhotoMetadata* metadata = nullptr;
  bool stars = false;  // ratings as stars, else "3/5"
  // Pixels of the picture upright, when known; 0 otherwise.
  int32_t width = 0;
  int32_t height = 0;
  // Any other field, by its exiv2 name ("Exif.Photo.LensModel"); null: the metadata's byKey.
  std::function<std::string(std::string_view key)> metadataKey;
};
// Fields: name stem ext folder path frame frame-in-folder date date:FORMAT time exposure shutter
// aperture iso focal camera lens rating title size megapixels filesize format, of video clips
// duration ("1:02:03") fps codec, and exiv2 keys.
std::optional<std::string> PictureField(std::string_view field, const PictureFacts& facts);

// What a header or footer line may show of its page.
struct PageFacts {
  std::string title;
  int32_t page = 0;
  int32_t pages = 0;
  std::string date;    // today, YYYY-MM-DD
  std::string folder;  // the folder of the page's first picture
  int32_t count = 0;   // pictures in the sheet
  // The page's first picture's value of an exiv2 key; null: those are empty.
  std::function<std::string(std::string_view key)> metadataKey;
};
// Fields: title page pages date folder count, and exiv2 keys.
std::optional<std::string> PageField(std::string_view field, const PageFacts& facts);

// The exiv2 keys a layout's captions, header and footer show ({label} is one too), each once: what
// the metadata reader is asked for. None for a layout without them, which so costs nothing more.
std::vector<std::string> MetadataKeysOf(const SheetTemplate& layout);

}  // namespace tablora
