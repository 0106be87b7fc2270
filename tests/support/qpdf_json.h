#pragma once

#include <QJsonObject>
#include <string>

namespace tablora::test {

// One key of qpdf's JSON view of a PDF file ("outlines", "pages", "objects"...), as qpdf reads the
// file: what a viewer's outline and links come from. A failing qpdf fails the test.
QJsonObject QpdfJson(const std::string& pdf, const std::string& key);

}  // namespace tablora::test
