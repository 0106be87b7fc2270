#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sheet/progress_window.h"
#include "sheet/sheet_settings.h"

namespace tablora::test {

// Progress window that records what the engine did to it.
class FakeProgress : public ProgressWindow {
 public:
  void Show() override {
    if (!visible) working = true;
    visible = true;
    events.push_back("show");
  }
  void Close() override {
    visible = false;
    working = false;
    gaugeVisible = false;
    events.push_back("close");
  }
  void ShowStatus(const std::string& text) override {
    statuses.push_back(text);
    events.push_back("status:" + text);
  }
  void ShowProgress(int percent) override {
    gaugeVisible = true;
    progress.push_back(percent);
  }
  void HideProgress() override {
    gaugeVisible = false;
    events.push_back("hide-progress");
  }
  void BringToFront() override { ++raised; }
  void Repaint() override { events.push_back("repaint"); }
  bool Working() const override { return working; }

  // The Cancel button.
  void Cancel() { Close(); }

  bool visible = false;
  bool working = false;
  bool gaugeVisible = false;
  int raised = 0;
  std::vector<std::string> statuses;
  std::vector<std::string> events;
  std::vector<int> progress;
};

// Counts pumps and runs an optional action on each (for example pressing Cancel at the n-th).
class FakePump : public EventPump {
 public:
  void PumpMessages() override {
    ++count;
    if (onPump) onPump(count);
  }
  int count = 0;
  std::function<void(int)> onPump;
};

class FakeInputs : public SheetInputs {
 public:
  int Rows() const override { return rows; }
  int Columns() const override { return columns; }
  std::string Title() const override { return title; }
  std::string FontName() const override { return fontName; }
  std::string SelectedFolder() const override { return folder; }

  int rows = kDefaultRows;
  int columns = kDefaultColumns;
  std::string title;
  std::string fontName = "Tahoma";
  std::string folder;
};

class FakeOptions : public SheetOptions {
 public:
  bool PrintFacing() const override { return facing; }
  bool PrintPageNum() const override { return pageNumbers; }
  std::vector<CaptionField> CaptionFields() const override { return captionFields; }
  SortOrder Order() const override { return order; }
  int MinRating() const override { return minRating; }
  bool facing = false;
  bool pageNumbers = true;
  std::vector<CaptionField> captionFields;
  SortOrder order = SortOrder::Name;
  int minRating = 0;
};

// Metadata by file name (the path's last part); other files have none. Counts the reads.
class FakeMetadata : public MetadataReader {
 public:
  TPhotoMetadata Read(const std::string& path) override {
    ++reads;
    const auto it = byName.find(path.substr(path.rfind('/') + 1));
    return it == byName.end() ? TPhotoMetadata{} : it->second;
  }
  TPhotoMetadata ReadWithKeys(const std::string& path, const std::vector<std::string>& keys) override {
    keysAsked = keys;
    return Read(path);
  }
  std::map<std::string, TPhotoMetadata> byName;
  int reads = 0;
  std::vector<std::string> keysAsked;  // at the last read with keys
};

// A scratch folder removed with everything below it when the test ends.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::string Path() const { return root_.string(); }
  // Creates a file (and its folders) at a path relative to the root.
  void File(const std::string& relative, const std::string& content = "");
  void Folder(const std::string& relative);

 private:
  std::filesystem::path root_;
};

}  // namespace tablora::test
