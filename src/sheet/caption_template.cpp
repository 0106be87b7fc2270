#include "sheet/caption_template.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "imaging/image_format.h"
#include "imaging/readers/video_reader.h"
#include "sheet/path_parts.h"
#include "sheet/photo_caption.h"

namespace tablora {

namespace {

// A template as literal runs and fields: literal[k] stands before field[k]; the last literal
// after the last field.
struct Parsed {
  std::vector<std::string> literals{std::string()};
  std::vector<std::string> fields;
  bool open = false;  // a "{" without its "}"
};

Parsed Parse(std::string_view text) {
  Parsed parsed;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
      parsed.literals.back() += c;
      ++i;
    } else if (c == '{') {
      const std::size_t end = text.find('}', i + 1);
      if (end == std::string_view::npos) {
        parsed.open = true;
        parsed.literals.back() += text.substr(i);
        break;
      }
      parsed.fields.emplace_back(text.substr(i + 1, end - i - 1));
      parsed.literals.emplace_back();
      i = end;
    } else {
      parsed.literals.back() += c;
    }
  }
  return parsed;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// "YYYY-MM-DD HH:MM:SS" as a calendar time; nothing when it is not one.
std::optional<std::tm> DateOf(const std::string& text) {
  std::tm tm{};
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min,
                  &tm.tm_sec) < 3) {
    return std::nullopt;
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return tm;
}

std::string Formatted(const std::tm& tm, const std::string& format) {
  char out[256];
  const std::size_t n = std::strftime(out, sizeof out, format.c_str(), &tm);
  return std::string(out, n);
}

std::string OneField(const TPhotoMetadata& metadata, CaptionField field, bool stars) {
  return CaptionLine(metadata, {field}, stars);
}

constexpr std::string_view kLabelKey = "Xmp.xmp.Label";

std::string KeyValue(const TPhotoMetadata& metadata, const std::function<std::string(std::string_view)>& lookUp,
                     std::string_view key) {
  if (lookUp) return lookUp(key);
  const auto it = metadata.byKey.find(key);
  return it == metadata.byKey.end() ? std::string() : it->second;
}

}  // namespace

std::vector<std::string> FillTemplatePieces(std::string_view text, const FieldValue& value) {
  const Parsed parsed = Parse(text);
  if (parsed.fields.empty()) {
    if (parsed.literals.front().empty()) return {};
    return {parsed.literals.front()};
  }
  std::vector<std::string> pieces;
  std::optional<std::size_t> lastKept;
  for (std::size_t k = 0; k < parsed.fields.size(); ++k) {
    const std::string filled = value(parsed.fields[k]).value_or(std::string());
    if (filled.empty()) continue;
    // Text before the first field is the first field's; between fields it joins a field to the
    // one before it.
    pieces.push_back((lastKept || k == 0 ? parsed.literals[k] : std::string()) + filled);
    lastKept = k;
  }
  if (lastKept && *lastKept + 1 == parsed.fields.size()) pieces.back() += parsed.literals.back();
  return pieces;
}

std::string FillTemplate(std::string_view text, const FieldValue& value) {
  std::string out;
  for (const std::string& piece : FillTemplatePieces(text, value)) out += piece;
  return out;
}

std::vector<std::string> UnknownFields(std::string_view text, const FieldValue& value) {
  const Parsed parsed = Parse(text);
  std::vector<std::string> unknown;
  for (const std::string& field : parsed.fields) {
    if (!value(field)) unknown.push_back("{" + field + "}");
  }
  if (parsed.open) unknown.push_back("{");
  return unknown;
}

std::optional<std::string> PictureField(std::string_view field, const PictureFacts& facts) {
  static const TPhotoMetadata kNone;
  const TPhotoMetadata& md = facts.metadata != nullptr ? *facts.metadata : kNone;
  const std::string_view name = NamePart(facts.entry);
  const std::size_t dot = name.rfind('.');
  if (field == "name") return std::string(facts.shownName.empty() ? name : facts.shownName);
  if (field == "stem") return std::string(name.substr(0, dot));
  if (field == "ext") return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
  if (field == "folder" || field == "path") {
    std::string folder(FolderPart(facts.entry));
    if (folder.size() > 1) folder.pop_back();
    if (field == "folder") {
      // The folder's own name; the sheet's folder itself goes by its name.
      if (folder == "/") {
        std::string base(facts.baseFolder);
        while (base.size() > 1 && base.back() == '/') base.pop_back();
        return base.substr(base.rfind('/') + 1);
      }
      return folder.substr(folder.rfind('/') + 1);
    }
    return std::string(facts.entry.substr(1));
  }
  if (field == "frame") return std::to_string(facts.frame);
  if (field == "frame-in-folder") return std::to_string(facts.frameInFolder);
  if (field == "date") return OneField(md, CaptionField::Date, facts.stars);
  if (StartsWith(field, "date:")) {
    const std::optional<std::tm> date = DateOf(md.dateTaken);
    return date ? Formatted(*date, std::string(field.substr(5))) : std::string();
  }
  if (field == "time") {
    const std::optional<std::tm> date = DateOf(md.dateTaken);
    return date && md.dateTaken.size() >= 16 ? Formatted(*date, "%H:%M") : std::string();
  }
  if (field == "exposure") return OneField(md, CaptionField::Exposure, facts.stars);
  if (field == "shutter") {
    TPhotoMetadata shutter;
    shutter.exposureNumerator = md.exposureNumerator;
    shutter.exposureDenominator = md.exposureDenominator;
    return OneField(shutter, CaptionField::Exposure, facts.stars);
  }
  if (field == "aperture") {
    TPhotoMetadata aperture;
    aperture.fNumber = md.fNumber;
    return OneField(aperture, CaptionField::Exposure, facts.stars);
  }
  if (field == "iso") return OneField(md, CaptionField::Iso, facts.stars);
  if (field == "focal") return OneField(md, CaptionField::Focal, facts.stars);
  if (field == "camera") return OneField(md, CaptionField::Camera, facts.stars);
  if (field == "lens") return OneField(md, CaptionField::Lens, facts.stars);
  if (field == "rating") return OneField(md, CaptionField::Rating, facts.stars);
  if (field == "title") return OneField(md, CaptionField::Title, facts.stars);
  if (field == "label") return KeyValue(md, facts.metadataKey, kLabelKey);
  if (field == "size") {
    if (facts.width <= 0 || facts.height <= 0) return std::string();
    return std::to_string(facts.width) + "\xC3\x97" + std::to_string(facts.height);
  }
  if (field == "megapixels") {
    if (facts.width <= 0 || facts.height <= 0) return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MP", static_cast<double>(facts.width) * facts.height / 1e6);
    return std::string(text);
  }
  if (field == "filesize") {
    std::error_code error;
    const auto bytes = std::filesystem::file_size(std::string(facts.baseFolder) + std::string(facts.entry), error);
    if (error) return std::string();
    char text[32];
    if (bytes >= 1000 * 1000) {
      std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    } else {
      std::snprintf(text, sizeof text, "%.0f kB", std::ceil(static_cast<double>(bytes) / 1e3));
    }
    return std::string(text);
  }
  if (field == "duration") return md.duration ? DurationText(*md.duration) : std::string();
  if (field == "fps") return md.frameRate ? FrameRateText(*md.frameRate) : std::string();
  if (field == "codec") return md.codec;
  if (field == "format") {
    std::string extension = dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const TImageFormat* format = FormatByExtension(extension);
    return format != nullptr ? std::string(format->name) : std::string();
  }
  if (IsMetadataKey(field)) return KeyValue(md, facts.metadataKey, field);
  return std::nullopt;
}

std::optional<std::string> PageField(std::string_view field, const PageFacts& facts) {
  if (field == "title") return facts.title;
  if (field == "page") return std::to_string(facts.page);
  if (field == "pages") return std::to_string(facts.pages);
  if (field == "date") return facts.date;
  if (field == "folder") return facts.folder;
  if (field == "count") return std::to_string(facts.count);
  if (IsMetadataKey(field)) return facts.metadataKey ? facts.metadataKey(field) : std::string();
  return std::nullopt;
}

std::vector<std::string> MetadataKeysOf(const SheetTemplate& layout) {
  std::vector<std::string> keys;
  const auto add = [&](const std::string& text) {
    for (const std::string& field : Parse(text).fields) {
      const std::string key = field == "label" ? std::string(kLabelKey) : field;
      if (IsMetadataKey(key) && std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
    }
  };
  for (const CaptionTemplate& caption : layout.captions) add(caption.text);
  for (const LineSlots* slots : {layout.header ? &*layout.header : nullptr, &layout.footer}) {
    if (slots == nullptr) continue;
    add(slots->left);
    add(slots->centre);
    add(slots->right);
  }
  return keys;
}

}  // namespace tablora
