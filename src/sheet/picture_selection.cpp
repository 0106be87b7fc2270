#include "sheet/picture_selection.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <list>
#include <unordered_map>

#include "platform/path_text.h"
#include "sheet/template_store.h"

namespace tablora {

namespace {

constexpr int kSelectionVersion = 1;
// The folder's own name in a file name is for the eye only: the hash tells folders apart.
constexpr std::size_t kTailBytes = 48;

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

std::string Absolute(const std::string& folder) {
  return S(QDir::cleanPath(QDir::current().absoluteFilePath(Q(folder))));
}

// The folder's last name as part of a file name: what a file system or a shell would trip over
// becomes "_", and a long name is cut where a character begins.
std::string ReadableTail(const std::string& absolute) {
  const std::string name = absolute.substr(absolute.rfind('/') + 1);
  std::string tail;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    tail += (byte < 0x20 || c == '\\' || c == ':' || (tail.empty() && c == '.')) ? '_' : c;
  }
  if (tail.size() > kTailBytes) {
    std::size_t cut = kTailBytes;
    while (cut > 0 && (static_cast<unsigned char>(tail[cut]) & 0xC0) == 0x80) --cut;
    tail.resize(cut);
  }
  return tail;
}

}  // namespace

void PictureSelection::LeaveOut(const std::vector<std::string>& entries) { leftOut_.insert(entries.begin(), entries.end()); }

void PictureSelection::BringBack() { leftOut_.clear(); }

void PictureSelection::BringBack(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) leftOut_.erase(entry);
}

void PictureSelection::Move(const std::vector<std::string>& entries, const std::string& before,
                            const std::vector<std::string>& shown) {
  if (entries.empty() && before.empty()) return;
  const std::string folder(FolderPart(before.empty() ? entries.front() : before));
  std::vector<std::string> names;
  for (const std::string& entry : shown) {
    if (FolderPart(entry) == folder) names.emplace_back(NamePart(entry));
  }
  std::set<std::string> moving;
  for (const std::string& entry : entries) {
    const std::string name(NamePart(entry));
    if (FolderPart(entry) == folder && std::find(names.begin(), names.end(), name) != names.end()) moving.insert(name);
  }
  if (moving.empty()) return;
  std::vector<std::string> rest;
  std::vector<std::string> moved;
  for (const std::string& name : names) (moving.count(name) != 0 ? moved : rest).push_back(name);
  // Before the first picture at or after `before` that stays where it is.
  std::size_t at = rest.size();
  if (!before.empty()) {
    auto it = std::find(names.begin(), names.end(), std::string(NamePart(before)));
    for (; it != names.end(); ++it) {
      if (moving.count(*it) == 0) {
        at = static_cast<std::size_t>(std::find(rest.begin(), rest.end(), *it) - rest.begin());
        break;
      }
    }
  }
  rest.insert(rest.begin() + static_cast<std::ptrdiff_t>(at), moved.begin(), moved.end());
  order_[folder] = std::move(rest);
}

std::vector<std::string> PictureSelection::Apply(const std::vector<std::string>& fileList, bool keepLeftOut) const {
  std::vector<std::string> result;
  result.reserve(fileList.size());
  const auto keep = [&](const std::string& entry) {
    if (keepLeftOut || !IsLeftOut(entry)) result.push_back(entry);
  };
  // The list holds each folder's pictures together: one run per folder.
  for (std::size_t start = 0; start < fileList.size();) {
    const std::string_view folder = FolderPart(fileList[start]);
    std::size_t end = start + 1;
    while (end < fileList.size() && FolderPart(fileList[end]) == folder) ++end;
    const auto order = order_.find(std::string(folder));
    if (order == order_.end()) {
      for (std::size_t i = start; i < end; ++i) keep(fileList[i]);
      start = end;
      continue;
    }
    std::unordered_map<std::string_view, std::size_t> present;  // name → index in fileList
    for (std::size_t i = start; i < end; ++i) present.emplace(NamePart(fileList[i]), i);
    std::list<std::size_t> arranged;
    std::unordered_map<std::size_t, std::list<std::size_t>::iterator> placed;
    for (const std::string& name : order->second) {
      const auto it = present.find(name);
      if (it != present.end() && placed.count(it->second) == 0) {
        placed.emplace(it->second, arranged.insert(arranged.end(), it->second));
      }
    }
    for (std::size_t i = start; i < end; ++i) {
      if (placed.count(i) != 0) continue;
      const auto at = i == start ? arranged.begin() : std::next(placed.at(i - 1));
      placed.emplace(i, arranged.insert(at, i));
    }
    for (const std::size_t i : arranged) keep(fileList[i]);
    start = end;
  }
  return result;
}

std::string PictureSelection::ToJson(const std::string& folder) const {
  QJsonObject root;
  root.insert("version", kSelectionVersion);
  root.insert("folder", Q(folder));
  QJsonArray leftOut;
  for (const std::string& entry : leftOut_) leftOut.append(Q(entry));
  root.insert("leftOut", leftOut);
  QJsonObject order;
  for (const auto& [path, names] : order_) {
    QJsonArray list;
    for (const std::string& name : names) list.append(Q(name));
    order.insert(Q(path), list);
  }
  root.insert("order", order);
  return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

PictureSelection PictureSelection::FromJson(const std::string& json, const std::string& source) {
  const auto fail = [&](const std::string& problem) { return ESelection(source + ": " + problem); };
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
  if (error.error != QJsonParseError::NoError) {
    throw fail("not a selection file (" + S(error.errorString()) + " at byte " + std::to_string(error.offset) + ")");
  }
  if (!document.isObject()) throw fail("not a selection file");
  const QJsonObject root = document.object();
  const QJsonValue version = root.value("version");
  if (!version.isDouble() || version.toDouble() < 1 || version.toDouble() != std::floor(version.toDouble())) {
    throw fail("version: missing: not a selection file");
  }
  if (version.toDouble() > kSelectionVersion) {
    throw fail("version: made by a newer version of Tablora (version " + std::to_string(version.toInt()) + ")");
  }
  // Names as the sheet's entries hold them: an entry and a folder begin with "/", a folder ends
  // with it, a name holds none.
  const auto texts = [&](const QJsonValue& value, const std::string& field, auto valid) {
    if (!value.isArray()) throw fail(field + ": must be a list of " + (field == "leftOut" ? "pictures" : "names"));
    std::vector<std::string> out;
    for (const QJsonValue& item : value.toArray()) {
      if (!item.isString() || !valid(S(item.toString()))) throw fail(field + ": \"" + S(item.toString()) + "\" is not a picture");
      out.push_back(S(item.toString()));
    }
    return out;
  };
  PictureSelection selection;
  if (root.contains("leftOut")) {
    const std::vector<std::string> entries = texts(root.value("leftOut"), "leftOut", [](const std::string& entry) {
      return entry.size() > 1 && entry.front() == '/' && entry.back() != '/';
    });
    selection.leftOut_.insert(entries.begin(), entries.end());
  }
  if (root.contains("order")) {
    if (!root.value("order").isObject()) throw fail("order: must be a group of folders");
    const QJsonObject order = root.value("order").toObject();
    for (auto it = order.begin(); it != order.end(); ++it) {
      const std::string folder = S(it.key());
      if (folder.empty() || folder.front() != '/' || folder.back() != '/') {
        throw fail("order: \"" + folder + "\" is not a folder");
      }
      selection.order_[folder] = texts(it.value(), "order." + folder, [](const std::string& name) {
        return !name.empty() && name.find('/') == std::string::npos;
      });
    }
  }
  return selection;
}

SelectionStore::SelectionStore(std::string folder) : folder_(std::move(folder)) {}

std::string SelectionStore::DefaultFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string root = data != nullptr ? data : "";
  if (root.empty() || root[0] != '/') {
    const char* home = std::getenv("HOME");
    root = std::string(home != nullptr ? home : "").append("/.local/share");
  }
  return root + "/Tablora/selections";
}

std::string SelectionStore::FileFor(const std::string& baseFolder) const {
  const std::string absolute = Absolute(baseFolder);
  const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(absolute), QCryptographicHash::Sha256);
  std::string name = hash.toHex().left(16).toStdString();
  if (const std::string tail = ReadableTail(absolute); !tail.empty()) name.append("-").append(tail);
  return std::string(folder_).append("/").append(name).append(".json");
}

PictureSelection SelectionStore::Load(const std::string& baseFolder, std::string* problem) const {
  const std::string file = FileFor(baseFolder);
  if (!QFileInfo::exists(Q(file))) return {};
  try {
    return PictureSelection::FromJson(ReadWholeFile(file), file);
  } catch (const std::runtime_error& e) {
    if (problem != nullptr) *problem = e.what();
    return {};
  }
}

void SelectionStore::Save(const std::string& baseFolder, const PictureSelection& selection) const {
  const std::string file = FileFor(baseFolder);
  if (selection.Empty()) {
    if (QFileInfo::exists(Q(file)) && !QFile::remove(Q(file))) throw ESelection(file + ": cannot be removed");
    return;
  }
  if (!QDir().mkpath(Q(folder_))) throw ESelection(folder_ + ": cannot be made");
  try {
    WriteWholeFile(file, selection.ToJson(Absolute(baseFolder)));
  } catch (const ETemplate& e) {
    throw ESelection(e.what());
  }
}

PictureSelection LoadSelectionFile(const std::string& path) {
  if (!QFileInfo(Q(path)).isFile()) throw ESelection(path + ": no such selection file");
  try {
    return PictureSelection::FromJson(ReadWholeFile(path), path);
  } catch (const ETemplate& e) {
    throw ESelection(e.what());
  }
}

}  // namespace tablora
