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

}  // namespace tablora::test
