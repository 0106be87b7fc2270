#include "sheet/template_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/output_file.h"
#include "sheet/caption_template.h"
#include "sheet/sheet_logo.h"
#include "sheet/sheet_settings.h"

namespace tablora {

namespace {

constexpr int kTemplateVersion = 1;
constexpr double kMinCellMm = 5.0;
constexpr double kMaxLengthMm = 2000.0;

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

std::string LengthText(const TemplateLength& length) {
  std::ostringstream out;
  out << length.value << (length.unit == LengthUnit::Inch ? "in" : length.unit == LengthUnit::Point ? "pt" : "mm");
  return out.str();
}

std::string ColorText(TColor color) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(color), GetGValue(color), GetBValue(color));
  return text;
}

constexpr const char* kFits[] = {"fit", "fill", "rotate"};
constexpr const char* kOrders[] = {"across", "down"};
// In PairMode's order.
constexpr const char* kPairs[] = {"once", "both", "raw", "jpeg"};
constexpr const char* kAligns[] = {"left", "centre", "right"};

// Reads one template's fields, naming the file and the field in every complaint.
class Reader {
 public:
  explicit Reader(std::string source) : source_(std::move(source)) {}

  [[noreturn]] void Fail(const std::string& field, const std::string& problem) const {
    throw ETemplate(source_ + ": " + field + ": " + problem);
  }

  QJsonObject Section(const QJsonObject& from, const char* key) const {
    const QJsonValue value = from.value(key);
    if (value.isUndefined()) return {};
    if (!value.isObject()) Fail(key, "must be a group of settings");
    return value.toObject();
  }

  std::optional<TemplateLength> Length(const QJsonObject& from, const std::string& path, const char* key) const {
    const QJsonValue value = from.value(key);
    if (value.isUndefined() || value.isNull()) return std::nullopt;
    const std::string field = path + "." + key;
    TemplateLength length;
    if (value.isDouble()) {
      length.value = value.toDouble();
    } else if (value.isString()) {
      const std::string text = S(value.toString().trimmed());
      char* end = nullptr;
      length.value = std::strtod(text.c_str(), &end);
      std::string unit(end);
      unit.erase(0, unit.find_first_not_of(' '));
      if (end == text.c_str()) Fail(field, "must be a length such as \"12mm\", \"0.5in\" or \"10pt\"");
      if (unit == "in") {
        length.unit = LengthUnit::Inch;
      } else if (unit == "pt") {
        length.unit = LengthUnit::Point;
      } else if (!unit.empty() && unit != "mm") {
        Fail(field, "unknown unit \"" + unit + "\" (mm, in or pt)");
      }
    } else {
      Fail(field, "must be a length such as \"12mm\", \"0.5in\" or \"10pt\"");
    }
    if (!std::isfinite(length.value) || length.value < 0 || length.Millimetres() > kMaxLengthMm) {
      Fail(field, "must be a length from 0 to 2 m");
    }
    return length;
  }

  std::optional<int> Whole(const QJsonObject& from, const std::string& path, const char* key, int min, int max) const {
    const QJsonValue value = from.value(key);
    if (value.isUndefined()) return std::nullopt;
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || number != std::floor(number) || number < min || number > max) {
      Fail(path + "." + key, "must be a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    }
    return static_cast<int>(number);
  }

  std::optional<bool> Flag(const QJsonObject& from, const std::string& path, const char* key) const {
    const QJsonValue value = from.value(key);
    if (value.isUndefined()) return std::nullopt;
    if (!value.isBool()) Fail(path + "." + key, "must be true or false");
    return value.toBool();
  }

  std::optional<std::string> Text(const QJsonObject& from, const std::string& path, const char* key) const {
    const QJsonValue value = from.value(key);
    if (value.isUndefined()) return std::nullopt;
    if (!value.isString()) Fail(path + "." + key, "must be text");
    return S(value.toString());
  }

  std::optional<TColor> Color(const QJsonObject& from, const std::string& path, const char* key) const {
    const std::optional<std::string> text = Text(from, path, key);
    if (!text) return std::nullopt;
    unsigned r = 0, g = 0, b = 0;
    char end = 0;
    if (text->size() != 7 || std::sscanf(text->c_str(), "#%2x%2x%2x%c", &r, &g, &b, &end) != 3) {
      Fail(path + "." + key, "must be a colour such as \"#1a2b3c\"");
    }
    return RGB(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
  }

  template <std::size_t N>
  std::optional<int> Choice(const QJsonObject& from, const std::string& path, const char* key,
                            const char* const (&names)[N]) const {
    const std::optional<std::string> text = Text(from, path, key);
    if (!text) return std::nullopt;
    for (std::size_t i = 0; i < N; ++i) {
      if (*text == names[i]) return static_cast<int>(i);
    }
    std::string all;
    for (std::size_t i = 0; i < N; ++i) all += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(names[i]);
    Fail(path + "." + key, "\"" + *text + "\" is none of " + all);
  }

  // A text of fields, every one of which must exist.
  std::string Fields(const std::string& text, const std::string& field, const FieldValue& known) const {
    const std::vector<std::string> unknown = UnknownFields(text, known);
    if (!unknown.empty()) Fail(field, "unknown field " + unknown.front());
    return text;
  }

 private:
  std::string source_;
};

FieldValue KnownPictureFields() {
  return [](std::string_view field) { return PictureField(field, PictureFacts{}); };
}
FieldValue KnownPageFields() {
  return [](std::string_view field) { return PageField(field, PageFacts{}); };
}

LineSlots SlotsFrom(const Reader& read, const QJsonObject& from, const std::string& path) {
  LineSlots line;
  const FieldValue known = KnownPageFields();
  line.left = read.Fields(read.Text(from, path, "left").value_or(""), path + ".left", known);
  line.centre = read.Fields(read.Text(from, path, "centre").value_or(""), path + ".centre", known);
  line.right = read.Fields(read.Text(from, path, "right").value_or(""), path + ".right", known);
  return line;
}

QJsonObject SlotsJson(QJsonObject into, const LineSlots& line) {
  into["left"] = Q(line.left);
  into["centre"] = Q(line.centre);
  into["right"] = Q(line.right);
  return into;
}

// Sets or removes an optional length.
void Put(QJsonObject& into, const char* key, const std::optional<TemplateLength>& length) {
  if (length) {
    into[key] = Q(LengthText(*length));
  } else {
    into.remove(key);
  }
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// A name as a file name: the characters a file system or a shell would trip over become "_".
std::string FileNameOf(const std::string& name) {
  std::string out;
  for (const char c : name) out += (c == '/' || c == '\\' || c == ':' || c == '\0' || (out.empty() && c == '.')) ? '_' : c;
  return out.empty() ? "_" : out;
}

}  // namespace

std::string TemplateJson(const SheetTemplate& t) {
  QJsonObject root;
  if (!t.json.empty()) root = QJsonDocument::fromJson(QByteArray::fromStdString(t.json)).object();
  root["version"] = kTemplateVersion;
  root["name"] = Q(t.name);

  QJsonObject page = root.value("page").toObject();
  if (t.margins) {
    QJsonObject margins = page.value("margins").toObject();
    margins["top"] = Q(LengthText(t.margins->top));
    margins["bottom"] = Q(LengthText(t.margins->bottom));
    margins["inside"] = Q(LengthText(t.margins->inside));
    margins["outside"] = Q(LengthText(t.margins->outside));
    page["margins"] = margins;
  } else {
    page.remove("margins");
  }
  page["background"] = Q(ColorText(t.background));
  root["page"] = page;

  QJsonObject grid = root.value("grid").toObject();
  grid["rows"] = t.rows;
  grid["columns"] = t.columns;
  Put(grid, "cellWidth", t.cellWidth);
  Put(grid, "cellHeight", t.cellHeight);
  Put(grid, "gutterAcross", t.gutterAcross);
  Put(grid, "gutterDown", t.gutterDown);
  grid["order"] = kOrders[static_cast<int>(t.order)];
  grid["folderHeadings"] = t.folderHeadings;
  grid["newPagePerFolder"] = t.newPagePerFolder;
  root["grid"] = grid;

  QJsonObject picture = root.value("picture").toObject();
  picture["fit"] = kFits[static_cast<int>(t.fit)];
  picture["border"] = Q(LengthText(t.border));
  picture["borderColor"] = Q(ColorText(t.borderColor));
  if (t.pairs) {
    picture["pairs"] = kPairs[static_cast<int>(*t.pairs)];
  } else {
    picture.remove("pairs");
  }
  root["picture"] = picture;

  QJsonObject text = root.value("text").toObject();
  if (t.captionPoints) {
    text["captionSize"] = Q(LengthText(Pt(*t.captionPoints)));
  } else {
    text.remove("captionSize");
  }
  text["color"] = Q(ColorText(t.textColor));
  QJsonArray captions;
  for (const CaptionTemplate& caption : t.captions) {
    captions.append(QJsonObject{{"text", Q(caption.text)},
                                {"align", kAligns[static_cast<int>(caption.align)]},
                                {"scale", caption.scale}});
  }
  text["captions"] = captions;
  if (t.header) {
    text["header"] = SlotsJson(text.value("header").toObject(), *t.header);
  } else {
    text.remove("header");
  }
  text["footer"] = SlotsJson(text.value("footer").toObject(), t.footer);
  if (t.logoFile.empty()) {
    text.remove("logo");
  } else {
    text["logo"] = QJsonObject{{"file", Q(t.logoFile)}, {"height", Q(LengthText(t.logoHeight))}};
  }
  root["text"] = text;
  return S(QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented)));
}

SheetTemplate TemplateFromJson(const std::string& json, const std::string& source) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
  if (error.error != QJsonParseError::NoError) {
    throw ETemplate(source + ": not a template file (" + S(error.errorString()) + " at byte " +
                    std::to_string(error.offset) + ")");
  }
  if (!document.isObject()) throw ETemplate(source + ": not a template file");
  const QJsonObject root = document.object();
  const Reader read(source);
  const std::optional<int> version = read.Whole(root, "template", "version", 1, 1000000);
  if (!version) read.Fail("version", "missing: not a template file");
  if (*version > kTemplateVersion) {
    read.Fail("version", "made by a newer version of Tablora (version " + std::to_string(*version) + ")");
  }

  SheetTemplate t;
  t.name = read.Text(root, "template", "name").value_or("");
  if (t.name.empty()) read.Fail("name", "missing");
  t.json = json;

  const QJsonObject page = read.Section(root, "page");
  if (page.contains("margins")) {
    const QJsonObject margins = read.Section(page, "margins");
    PageMargins m;
    const auto side = [&](const char* key) {
      const std::optional<TemplateLength> length = read.Length(margins, "page.margins", key);
      if (!length) read.Fail(std::string("page.margins.") + key, "missing");
      return *length;
    };
    m.top = side("top");
    m.bottom = side("bottom");
    m.inside = side("inside");
    m.outside = side("outside");
    t.margins = m;
  }
  t.background = read.Color(page, "page", "background").value_or(t.background);

  const QJsonObject grid = read.Section(root, "grid");
  t.rows = read.Whole(grid, "grid", "rows", kMinGridSize, kMaxGridSize).value_or(t.rows);
  t.columns = read.Whole(grid, "grid", "columns", kMinGridSize, kMaxGridSize).value_or(t.columns);
  t.cellWidth = read.Length(grid, "grid", "cellWidth");
  t.cellHeight = read.Length(grid, "grid", "cellHeight");
  for (const auto& [cell, key] : {std::pair{t.cellWidth, "grid.cellWidth"}, std::pair{t.cellHeight, "grid.cellHeight"}}) {
    if (cell && cell->Millimetres() < kMinCellMm) read.Fail(key, "cells must be at least 5 mm");
  }
  t.gutterAcross = read.Length(grid, "grid", "gutterAcross");
  t.gutterDown = read.Length(grid, "grid", "gutterDown");
  t.order = static_cast<CellOrder>(read.Choice(grid, "grid", "order", kOrders).value_or(0));
  t.folderHeadings = read.Flag(grid, "grid", "folderHeadings").value_or(true);
  t.newPagePerFolder = read.Flag(grid, "grid", "newPagePerFolder").value_or(false);

  const QJsonObject picture = read.Section(root, "picture");
  t.fit = static_cast<PictureFit>(read.Choice(picture, "picture", "fit", kFits).value_or(0));
  t.border = read.Length(picture, "picture", "border").value_or(t.border);
  t.borderColor = read.Color(picture, "picture", "borderColor").value_or(t.borderColor);
  if (const std::optional<int> pairs = read.Choice(picture, "picture", "pairs", kPairs)) {
    t.pairs = static_cast<PairMode>(*pairs);
  }

  const QJsonObject text = read.Section(root, "text");
  if (const std::optional<TemplateLength> size = read.Length(text, "text", "captionSize")) {
    const double points = size->unit == LengthUnit::Point ? size->value : size->Millimetres() * 72.0 / 25.4;
    if (points < 1.0 || points > 72.0) read.Fail("text.captionSize", "must be from 1pt to 72pt");
    t.captionPoints = points;
  }
  t.textColor = read.Color(text, "text", "color").value_or(t.textColor);
  if (text.contains("captions")) {
    if (!text.value("captions").isArray()) read.Fail("text.captions", "must be a list of lines");
    t.captions.clear();
    const QJsonArray lines = text.value("captions").toArray();
    for (qsizetype i = 0; i < lines.size(); ++i) {
      const std::string path = "text.captions[" + std::to_string(i) + "]";
      if (!lines[i].isObject()) read.Fail(path, "must be a group of settings");
      const QJsonObject line = lines[i].toObject();
      CaptionTemplate caption;
      caption.text = read.Fields(read.Text(line, path, "text").value_or(""), path + ".text", KnownPictureFields());
      caption.align = static_cast<TextAlign>(read.Choice(line, path, "align", kAligns).value_or(1));
      if (line.contains("scale")) {
        caption.scale = line.value("scale").toDouble(-1);
        if (!(caption.scale >= 0.25 && caption.scale <= 4.0)) read.Fail(path + ".scale", "must be from 0.25 to 4");
      }
      t.captions.push_back(caption);
    }
    if (t.captions.size() > 6) read.Fail("text.captions", "at most 6 lines");
  }
  if (text.contains("header")) t.header = SlotsFrom(read, read.Section(text, "header"), "text.header");
  if (text.contains("footer")) t.footer = SlotsFrom(read, read.Section(text, "footer"), "text.footer");
  if (text.contains("logo")) {
    const QJsonObject logo = read.Section(text, "logo");
    t.logoFile = read.Text(logo, "text.logo", "file").value_or("");
    t.logoHeight = read.Length(logo, "text.logo", "height").value_or(t.logoHeight);
  }
  return t;
}

std::vector<std::string> TemplateProblems(const SheetTemplate& t, double paperWidthMm, double paperHeightMm) {
  std::vector<std::string> problems;
  // What a file could not hold either: an edited template says so before it is saved.
  for (const auto& [count, field] : {std::pair{t.rows, "grid.rows"}, std::pair{t.columns, "grid.columns"}}) {
    if (count < kMinGridSize || count > kMaxGridSize) {
      problems.push_back(std::string(field).append(": must be a whole number from 1 to 30"));
    }
  }
  for (const auto& [cell, field] : {std::pair{t.cellWidth, "grid.cellWidth"}, std::pair{t.cellHeight, "grid.cellHeight"}}) {
    if (cell && cell->Millimetres() < kMinCellMm) problems.push_back(std::string(field).append(": cells must be at least 5 mm"));
  }
  const auto fields = [&](const std::string& text, const std::string& field, const FieldValue& known) {
    const std::vector<std::string> unknown = UnknownFields(text, known);
    if (!unknown.empty()) problems.push_back(std::string(field).append(": unknown field ").append(unknown.front()));
  };
  for (std::size_t i = 0; i < t.captions.size(); ++i) {
    fields(t.captions[i].text, "text.captions[" + std::to_string(i) + "].text", KnownPictureFields());
  }
  const auto line = [&](const LineSlots& texts, const std::string& path) {
    fields(texts.left, path + ".left", KnownPageFields());
    fields(texts.centre, path + ".centre", KnownPageFields());
    fields(texts.right, path + ".right", KnownPageFields());
  };
  if (t.header) line(*t.header, "text.header");
  line(t.footer, "text.footer");
  if (t.margins) {
    const PageMargins& m = *t.margins;
    if (m.inside.Millimetres() + m.outside.Millimetres() + kMinCellMm > paperWidthMm) {
      problems.push_back("page.margins: the inside and outside margins leave no room on the paper");
    }
    if (m.top.Millimetres() + m.bottom.Millimetres() + kMinCellMm > paperHeightMm) {
      problems.push_back("page.margins: the top and bottom margins leave no room on the paper");
    }
  }
  if (!t.logoFile.empty()) {
    const SheetLogo logo(t.logoFile);
    if (!logo.Problem().empty()) problems.push_back("text.logo.file: " + logo.Problem());
  }
  return problems;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ETemplate(path + ": cannot be read");
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) throw ETemplate(path + ": cannot be read");
  return content.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::string temporary;
  try {
    temporary = CreateTemporaryBeside(path);
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) throw std::runtime_error(CannotWrite(path, "the disk refused the data"));
    CheckOutput(temporary);
    CommitOutput(temporary);
  } catch (const std::runtime_error& e) {
    if (!temporary.empty()) DiscardTemporary(temporary);
    throw ETemplate(e.what());
  }
}

TemplateStore::TemplateStore(std::string folder) : folder_(std::move(folder)) {}

std::string TemplateStore::DefaultFolder() {
  std::string config = Environment("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = Environment("HOME") + "/.config";
  return config + "/Tablora/templates";
}

bool TemplateStore::IsBuiltIn(const std::string& name) {
  const std::vector<SheetTemplate> builtIn = BuiltInTemplates();
  return std::any_of(builtIn.begin(), builtIn.end(), [&](const SheetTemplate& t) { return t.name == name; });
}

std::string TemplateStore::FileOf(const std::string& name) const { return folder_ + "/" + FileNameOf(name) + ".json"; }

std::vector<SheetTemplate> TemplateStore::List() const {
  std::vector<SheetTemplate> all = BuiltInTemplates();
  const QStringList files = QDir(Q(folder_)).entryList({"*.json"}, QDir::Files, QDir::Name);
  for (const QString& file : files) {
    try {
      SheetTemplate t = TemplateFromJson(ReadWholeFile(folder_ + "/" + S(file)), S(file));
      if (!IsBuiltIn(t.name)) all.push_back(std::move(t));
    } catch (const ETemplate&) {
      // Listed by Problems.
    }
  }
  return all;
}

std::vector<std::string> TemplateStore::Problems() const {
  std::vector<std::string> problems;
  const QStringList files = QDir(Q(folder_)).entryList({"*.json"}, QDir::Files, QDir::Name);
  for (const QString& file : files) {
    try {
      TemplateFromJson(ReadWholeFile(folder_ + "/" + S(file)), S(file));
    } catch (const ETemplate& e) {
      problems.push_back(e.what());
    }
  }
  return problems;
}

SheetTemplate TemplateStore::Find(const std::string& nameOrFile) const {
  for (const SheetTemplate& t : BuiltInTemplates()) {
    if (t.name == nameOrFile) return t;
  }
  const bool isPath = QFileInfo(Q(nameOrFile)).isFile() ||
                      (nameOrFile.size() > 5 && nameOrFile.compare(nameOrFile.size() - 5, 5, ".json") == 0);
  if (isPath) {
    if (!QFileInfo::exists(Q(nameOrFile))) throw ETemplate(nameOrFile + ": no such template file");
    return TemplateFromJson(ReadWholeFile(nameOrFile), nameOrFile);
  }
  for (const SheetTemplate& t : List()) {
    if (t.name == nameOrFile) return t;
  }
  // Damaged saved templates say why rather than seeming absent.
  const std::string file = FileOf(nameOrFile);
  if (QFileInfo::exists(Q(file))) return TemplateFromJson(ReadWholeFile(file), FileNameOf(nameOrFile) + ".json");
  throw ETemplate("No template named \"" + nameOrFile + "\"");
}

void TemplateStore::Save(const SheetTemplate& layout) const {
  if (layout.name.empty()) throw ETemplate("A template needs a name");
  if (IsBuiltIn(layout.name)) throw ETemplate("\"" + layout.name + "\" is a built-in template; save under another name");
  QDir().mkpath(Q(folder_));
  WriteWholeFile(FileOf(layout.name), TemplateJson(layout));
}

void TemplateStore::Rename(const std::string& from, const std::string& to) const {
  if (IsBuiltIn(from)) throw ETemplate("\"" + from + "\" is a built-in template and keeps its name");
  SheetTemplate t = Find(from);
  t.name = to;
  Save(t);
  if (FileOf(from) != FileOf(to)) QFile::remove(Q(FileOf(from)));
}

void TemplateStore::Remove(const std::string& name) const {
  if (IsBuiltIn(name)) throw ETemplate("\"" + name + "\" is a built-in template and cannot be removed");
  if (!QFile::remove(Q(FileOf(name)))) throw ETemplate("No template named \"" + name + "\"");
}

std::string TemplateStore::LastUsed() const {
  try {
    std::string name = ReadWholeFile(folder_ + "/.last-used");
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    return name.empty() ? ClassicTemplate().name : name;
  } catch (const ETemplate&) {
    return ClassicTemplate().name;
  }
}

void TemplateStore::SetLastUsed(const std::string& name) const {
  QDir().mkpath(Q(folder_));
  WriteWholeFile(folder_ + "/.last-used", name + "\n");
}

}  // namespace tablora
