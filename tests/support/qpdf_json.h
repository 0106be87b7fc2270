#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <string>

namespace tablora::test {

// One key of qpdf's JSON view of a PDF file ("outlines", "pages", "objects"...), as qpdf reads the
// file: what a viewer's outline and links come from. A failing qpdf fails the test.
QJsonObject QpdfJson(const std::string& pdf, const std::string& key);

// qpdf's "outlines" as text, depth first, two spaces a level: "Title @page" (1-based), with the
// height the bookmark opens at ("Title @page,y.yy") when `heights`.
std::string OutlineText(const QJsonArray& items, bool heights, int depth = 0);

}  // namespace tablora::test
