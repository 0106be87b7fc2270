#include "sheet/photo_caption.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tablora {

namespace {

constexpr std::pair<CaptionField, std::string_view> kFieldNames[] = {
    {CaptionField::Date, "date"},   {CaptionField::Exposure, "exposure"}, {CaptionField::Camera, "camera"},
    {CaptionField::Lens, "lens"},   {CaptionField::Focal, "focal"},       {CaptionField::Iso, "iso"},
    {CaptionField::Rating, "rating"}, {CaptionField::Title, "title"}};

constexpr std::pair<SortOrder, std::string_view> kOrderNames[] = {
    {SortOrder::Name, "name"}, {SortOrder::Natural, "natural"}, {SortOrder::Date, "date"}};

// 8, 2.8, 5.6, 22: one decimal at most, none when it is 0.
std::string Short(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::round(value * 10.0) / 10.0);
  std::string out = text;
  if (out.size() > 2 && out.compare(out.size() - 2, 2, ".0") == 0) out.resize(out.size() - 2);
  return out;
}

// 1/250 s for times under a second that are the reciprocal of a whole number, as cameras show
// them; 0.4 s, 1 s, 2.5 s, 30 s for the others.
std::string ExposureTime(uint32_t numerator, uint32_t denominator) {
  const double seconds = static_cast<double>(numerator) / denominator;
  if (seconds < 1.0) {
    const double reciprocal = 1.0 / seconds;
    const double whole = std::round(reciprocal);
    if (whole >= 2.0 && std::abs(reciprocal - whole) <= whole * 0.02) return "1/" + Short(whole) + " s";
  }
  return Short(seconds) + " s";
}

}  // namespace

std::string_view CaptionFieldName(CaptionField field) {
  for (const auto& [f, name] : kFieldNames) {
    if (f == field) return name;
  }
  return {};
}

std::optional<CaptionField> CaptionFieldNamed(std::string_view name) {
  for (const auto& [f, n] : kFieldNames) {
    if (n == name) return f;
  }
  return std::nullopt;
}

std::string_view SortOrderName(SortOrder order) {
  for (const auto& [o, name] : kOrderNames) {
    if (o == order) return name;
  }
  return {};
}

std::optional<SortOrder> SortOrderNamed(std::string_view name) {
  for (const auto& [o, n] : kOrderNames) {
    if (n == name) return o;
  }
  return std::nullopt;
}

std::optional<std::vector<CaptionField>> ParseCaptionFields(std::string_view list) {
  std::vector<CaptionField> fields;
  if (list.empty()) return fields;
  for (;;) {
    const std::size_t comma = list.find(',');
    const std::string_view name = list.substr(0, comma);
    const std::optional<CaptionField> field = CaptionFieldNamed(name);
    if (!field) return std::nullopt;
    if (std::find(fields.begin(), fields.end(), *field) == fields.end()) fields.push_back(*field);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return fields;
}

std::string CaptionFieldList(const std::vector<CaptionField>& fields) {
  std::string list;
  for (const CaptionField field : fields) {
    if (!list.empty()) list += ',';
    list += CaptionFieldName(field);
  }
  return list;
}

std::string CaptionLine(const TPhotoMetadata& m, const std::vector<CaptionField>& fields, bool stars) {
  std::vector<std::string> parts;
  const auto add = [&](std::string part) {
    if (!part.empty()) parts.push_back(std::move(part));
  };
  const bool exposureShown = std::find(fields.begin(), fields.end(), CaptionField::Exposure) != fields.end();
  for (const CaptionField field : fields) {
    switch (field) {
      case CaptionField::Date:
        add(m.dateTaken.substr(0, 16));  // to the minute
        break;
      case CaptionField::Exposure:
        if (m.exposureDenominator != 0) add(ExposureTime(m.exposureNumerator, m.exposureDenominator));
        if (m.fNumber) add("f/" + Short(*m.fNumber));
        if (m.iso) add("ISO " + std::to_string(*m.iso));
        break;
      case CaptionField::Camera: add(m.camera); break;
      case CaptionField::Lens: add(m.lens); break;
      case CaptionField::Focal:
        if (m.focalLength) add(Short(*m.focalLength) + " mm");
        break;
      case CaptionField::Iso:
        if (m.iso && !exposureShown) add("ISO " + std::to_string(*m.iso));
        break;
      case CaptionField::Rating:
        if (m.rating && *m.rating > 0) {
          if (stars) {
            std::string text;
            for (int i = 0; i < 5; ++i) text += i < *m.rating ? "\xE2\x98\x85" : "\xE2\x98\x86";
            add(text);
          } else {
            add(std::to_string(*m.rating) + "/5");
          }
        }
        break;
      case CaptionField::Title: add(m.title); break;
    }
  }
  std::string line;
  for (const std::string& part : parts) {
    if (!line.empty()) line += "  ";
    line += part;
  }
  return line;
}

}  // namespace tablora
