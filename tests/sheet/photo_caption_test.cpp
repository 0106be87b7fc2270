#include <gtest/gtest.h>

#include "sheet/photo_caption.h"

namespace tablora {
namespace {

using F = CaptionField;

TPhotoMetadata Shot(uint32_t num, uint32_t den, double fNumber, uint32_t iso) {
  TPhotoMetadata m;
  m.dateTaken = "2024-06-01 14:03:27";
  m.camera = "Canon EOS R5";
  m.lens = "RF50mm F1.2 L USM";
  m.exposureNumerator = num;
  m.exposureDenominator = den;
  m.fNumber = fNumber;
  m.iso = iso;
  m.focalLength = 50;
  m.rating = 3;
  m.title = "Harbour";
  return m;
}

TEST(CaptionLine, ExactTexts) {
  TPhotoMetadata bare;
  TPhotoMetadata rejected = Shot(1, 250, 8, 100);
  rejected.rating = -1;
  TPhotoMetadata fractional = Shot(1, 3, 5.6, 100);
  fractional.focalLength = 24.5;
  const struct {
    TPhotoMetadata m;
    std::vector<F> fields;
    bool stars;
    const char* text;
  } cases[] = {
      {Shot(1, 250, 8, 100), {F::Date, F::Exposure}, true, "2024-06-01 14:03  1/250 s  f/8  ISO 100"},
      {Shot(10, 2500, 2.8, 6400), {F::Exposure}, true, "1/250 s  f/2.8  ISO 6400"},
      {Shot(2, 5, 11, 200), {F::Exposure}, true, "0.4 s  f/11  ISO 200"},
      {Shot(30, 1, 22, 50), {F::Exposure}, true, "30 s  f/22  ISO 50"},
      {Shot(5, 2, 4, 50), {F::Exposure}, true, "2.5 s  f/4  ISO 50"},
      {fractional, {F::Exposure, F::Focal}, true, "1/3 s  f/5.6  ISO 100  24.5 mm"},
      {Shot(1, 250, 8, 100), {F::Camera, F::Lens, F::Rating}, true, "Canon EOS R5  RF50mm F1.2 L USM  \u2605\u2605\u2605\u2606\u2606"},
      {Shot(1, 250, 8, 100), {F::Rating, F::Title}, false, "3/5  Harbour"},
      {Shot(1, 250, 8, 100), {F::Iso, F::Focal}, true, "ISO 100  50 mm"},
      {Shot(1, 250, 8, 100), {F::Exposure, F::Iso}, true, "1/250 s  f/8  ISO 100"},  // ISO once
      {rejected, {F::Rating, F::Date}, true, "2024-06-01 14:03"},
      {bare, {F::Date, F::Exposure, F::Camera, F::Lens, F::Focal, F::Iso, F::Rating, F::Title}, true, ""},
      {Shot(1, 250, 8, 100), {}, true, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CaptionLine(c.m, c.fields, c.stars), c.text);
}

TEST(CaptionLine, FieldListsRoundTripAndRefuseUnknownNames) {
  const struct {
    const char* list;
    std::optional<std::vector<F>> fields;
  } cases[] = {
      {"date,exposure", std::vector<F>{F::Date, F::Exposure}},
      {"camera,lens,rating", std::vector<F>{F::Camera, F::Lens, F::Rating}},
      {"title,date,title", std::vector<F>{F::Title, F::Date}},
      {"focal,iso", std::vector<F>{F::Focal, F::Iso}},
      {"", std::vector<F>{}},
      {"date,", std::nullopt},
      {"Date", std::nullopt},
      {"shutter", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseCaptionFields(c.list), c.fields) << c.list;
    if (c.fields) {
      EXPECT_EQ(ParseCaptionFields(CaptionFieldList(*c.fields)), c.fields);
    }
  }
  for (const char* name : {"name", "natural", "date"}) EXPECT_EQ(SortOrderName(*SortOrderNamed(name)), name);
  EXPECT_FALSE(SortOrderNamed("size"));
}

}  // namespace
}  // namespace tablora
