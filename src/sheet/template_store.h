#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "sheet/sheet_template.h"

namespace tablora {

// A template file that cannot be used, or a template whose page cannot be drawn; the message names
// the file (where there is one) and the field: "Rome.json: grid.rows: must be 1 to 30".
class ETemplate : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The template as its file holds it: readable JSON with a version, every field under its section.
// Keys this version does not know are kept from `json` (the file it was read from).
std::string TemplateJson(const SheetTemplate& layout);
// Reads a template's JSON; `source` names it in messages. ETemplate for damaged JSON, a newer
// version, a field of the wrong kind or out of range, or a caption, header or footer field that
// does not exist.
SheetTemplate TemplateFromJson(const std::string& json, const std::string& source);

// What keeps a template from being drawn on paper of this size (millimetres), one message per
// field: margins that leave no room, cells under 5 mm, a logo that does not load. Empty: usable.
std::vector<std::string> TemplateProblems(const SheetTemplate& layout, double paperWidthMm, double paperHeightMm);

// The photographer's templates, one file each in a folder ($XDG_CONFIG_HOME/Tablora/templates),
// beside the built-in ones. Every write replaces its file only once the new one is whole.
class TemplateStore {
 public:
  explicit TemplateStore(std::string folder = DefaultFolder());
  static std::string DefaultFolder();

  // The built-in templates, then the saved ones by name; a damaged file is left out (Problems
  // says why).
  std::vector<SheetTemplate> List() const;
  std::vector<std::string> Problems() const;
  // A template by its name, or a template file by its path. ETemplate when there is none or it is
  // damaged.
  SheetTemplate Find(const std::string& nameOrFile) const;
  // Saves under the template's name; a built-in name cannot be taken.
  void Save(const SheetTemplate& layout) const;
  void Rename(const std::string& from, const std::string& to) const;
  void Remove(const std::string& name) const;
  static bool IsBuiltIn(const std::string& name);

  // The last template used, by name ("Classic" when none was).
  std::string LastUsed() const;
  void SetLastUsed(const std::string& name) const;

 private:
  std::string FileOf(const std::string& name) const;
  std::string folder_;
};

// Reads and writes whole small files; ETemplate on failure.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);

}  // namespace tablora
