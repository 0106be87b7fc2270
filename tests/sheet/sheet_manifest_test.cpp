#include "sheet/sheet_manifest.h"

#include <gtest/gtest.h>

namespace tablora {
namespace {

ManifestRow Row(std::string path) {
  ManifestRow row;
  row.page = 1;
  row.row = 2;
  row.column = 3;
  row.frame = 9;
  row.path = std::move(path);
  row.bytes = 1234;
  row.format = "JPEG";
  row.size = "4000x3000";
  row.rating = 4;
  return row;
}

TEST(SheetManifest, CsvQuotesWhatNeedsItAndEndsRowsWithCrLf) {
  const std::string header = "page,row,column,frame,path,bytes,format,size,date,camera,rating,label,message\r\n";
  const struct {
    std::string path;
    std::string field;
  } cases[] = {
      {"a/plain.jpg", "a/plain.jpg"},
      {"Rome, day 1/x.jpg", "\"Rome, day 1/x.jpg\""},
      {"say \"cheese\".jpg", "\"say \"\"cheese\"\".jpg\""},
      {"two\nlines.jpg", "\"two\nlines.jpg\""},
      {"caf\xC3\xA9.jpg", "caf\xC3\xA9.jpg"},
      {"bad\xFF.jpg", "bad\xEF\xBF\xBD.jpg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ManifestCsv({Row(c.path)}), header + "1,2,3,9," + c.field + ",1234,JPEG,4000x3000,,,4,,\r\n") << c.path;
  }
  EXPECT_EQ(ManifestCsv({}), header);
  ManifestRow unread = Row("empty.jpg");
  unread.bytes.reset();
  unread.rating.reset();
  unread.message = "the file is empty";
  EXPECT_EQ(ManifestCsv({unread}), header + "1,2,3,9,empty.jpg,,JPEG,4000x3000,,,,,the file is empty\r\n");
}

TEST(SheetManifest, JsonHasOneObjectPerRowWithTheSameKeys) {
  ManifestRow row = Row("say \"hi\"\\\t.jpg");
  row.rating.reset();
  row.camera = "Canon EOS R5";
  EXPECT_EQ(ManifestJson({row, Row("b.jpg")}),
            "[\n"
            "  {\"page\": 1, \"row\": 2, \"column\": 3, \"frame\": 9, \"path\": \"say \\\"hi\\\"\\\\\\u0009.jpg\", "
            "\"bytes\": 1234, \"format\": \"JPEG\", \"size\": \"4000x3000\", \"date\": \"\", \"camera\": \"Canon EOS "
            "R5\", \"rating\": null, \"label\": \"\", \"message\": \"\"},\n"
            "  {\"page\": 1, \"row\": 2, \"column\": 3, \"frame\": 9, \"path\": \"b.jpg\", \"bytes\": 1234, "
            "\"format\": \"JPEG\", \"size\": \"4000x3000\", \"date\": \"\", \"camera\": \"\", \"rating\": 4, "
            "\"label\": \"\", \"message\": \"\"}\n"
            "]\n");
  EXPECT_EQ(ManifestJson({}), "[]\n");
}

}  // namespace
}  // namespace tablora
