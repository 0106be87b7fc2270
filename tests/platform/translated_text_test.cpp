#include "platform/translated_text.h"

#include <gtest/gtest.h>

namespace tablora {
namespace {

TEST(Filled, MarkersTakeTheirArgumentsOnce) {
  const struct {
    const char* text;
    std::initializer_list<std::string_view> args;
    const char* filled;
  } cases[] = {
      {"Seite %1 von %2", {"2", "7"}, "Seite 2 von 7"},
      {"%2 before %1", {"a", "b"}, "b before a"},
      {"%1 and %2", {"%2", "x"}, "%2 and x"},           // an argument is not searched again
      {"100% of %1, %3", {"10"}, "100% of 10, %3"},     // no argument, no replacement
      {"Saved to %1", {"/tmp/\xff\xfe.pdf"}, "Saved to /tmp/\xff\xfe.pdf"},  // bytes stay bytes
      {"ends in %", {"x"}, "ends in %"},
  };
  for (const auto& c : cases) EXPECT_EQ(Filled(c.text, c.args), c.filled) << c.text;
}

// Without a catalogue (the command line's case) the source text comes back as written.
TEST(Translated, WithoutACatalogueIsTheSourceText) {
  EXPECT_EQ(Translated("TContactSheet", "Page %1 of %2"), "Page %1 of %2");
}

}  // namespace
}  // namespace tablora
