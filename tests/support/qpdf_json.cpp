#include "support/qpdf_json.h"

#include <QByteArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

#include "support/run_command.h"

namespace tablora::test {

QJsonObject QpdfJson(const std::string& pdf, const std::string& key) {
  const CommandResult result = RunCommand("/usr/bin/qpdf", {"--json", "--json-key=" + key, pdf});
  EXPECT_EQ(result.status, 0) << result.err;
  return QJsonDocument::fromJson(QByteArray::fromStdString(result.out)).object();
}

std::string OutlineText(const QJsonArray& items, bool heights, int depth) {
  std::string text;
  for (const QJsonValue& item : items) {
    const QJsonObject node = item.toObject();
    text.append(static_cast<std::size_t>(depth) * 2, ' ')
        .append(node["title"].toString().toStdString())
        .append(" @")
        .append(std::to_string(node["destpageposfrom1"].toInt()));
    if (heights) text.append(",").append(std::to_string(node["dest"].toArray()[3].toDouble()).substr(0, 5));
    text.append("\n").append(OutlineText(node["kids"].toArray(), heights, depth + 1));
  }
  return text;
}

}  // namespace tablora::test
