#include "sheet/file_pairs.h"

#include <algorithm>
#include <map>
#include <utility>

#include "imaging/image_format.h"
#include "platform/path_text.h"

namespace tablora {

namespace {

constexpr std::pair<PairMode, std::string_view> kModeNames[] = {
    {PairMode::Once, "once"}, {PairMode::Both, "both"}, {PairMode::Raw, "raw"}, {PairMode::Jpeg, "jpeg"}};

enum class Role { Other, Raw, Rendering, Clip };

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  return lower;
}

// The camera's RAW, its own rendering of the same frame, or a Live Photo's clip.
Role RoleOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return Role::Other;
  const std::string extension = Lower(name.substr(dot));
  if (extension == ".mov") return Role::Clip;
  const TImageFormat* format = FormatByExtension(extension);
  if (format == nullptr) return Role::Other;
  const std::string_view reader = format->name;
  if (reader == "RAW") return Role::Raw;
  if (reader == "JPEG" || reader == "HEIF") return Role::Rendering;
  return Role::Other;
}

}  // namespace

std::string_view PairModeName(PairMode mode) {
  for (const auto& [value, name] : kModeNames) {
    if (value == mode) return name;
  }
  return "once";
}

std::optional<PairMode> PairModeNamed(std::string_view name) {
  for (const auto& [value, known] : kModeNames) {
    if (known == name) return value;
  }
  return std::nullopt;
}

PairedList PairUp(std::vector<std::string> entries, PairMode mode) {
  PairedList paired;
  if (mode == PairMode::Both) {
    paired.entries = std::move(entries);
    return paired;
  }
  // Frames by folder and name without extension: the first file of each role, in list order.
  struct Frame {
    std::size_t raw = SIZE_MAX, rendering = SIZE_MAX, clip = SIZE_MAX;
  };
  std::map<std::string, Frame, std::less<>> frames;
  std::vector<Role> roles(entries.size(), Role::Other);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string_view name = NamePart(entries[i]);
    roles[i] = RoleOf(name);
    if (roles[i] == Role::Other) continue;
    Frame& frame = frames[std::string(FolderPart(entries[i])) + Lower(name.substr(0, name.rfind('.')))];
    std::size_t& slot = roles[i] == Role::Raw ? frame.raw : roles[i] == Role::Rendering ? frame.rendering : frame.clip;
    if (slot == SIZE_MAX) slot = i;
  }
  std::vector<bool> dropped(entries.size(), false);
  for (const auto& [key, frame] : frames) {
    const bool pair = frame.raw != SIZE_MAX && frame.rendering != SIZE_MAX;
    const std::size_t still = frame.rendering != SIZE_MAX ? frame.rendering : frame.raw;
    const bool live = frame.clip != SIZE_MAX && still != SIZE_MAX;
    if (!pair && !live) continue;
    const std::size_t kept = pair && mode == PairMode::Raw ? frame.raw : still;
    PairNote note;
    if (pair) {
      const std::size_t other = kept == frame.raw ? frame.rendering : frame.raw;
      dropped[other] = true;
      note.partners.push_back(entries[other]);
      if (mode != PairMode::Jpeg) {
        const std::string_view renderingName = NamePart(entries[frame.rendering]);
        note.caption = std::string(NamePart(entries[frame.raw])) + " + " +
                       std::string(renderingName.substr(renderingName.rfind('.') + 1));
      }
    }
    if (live) {
      dropped[frame.clip] = true;
      note.partners.push_back(entries[frame.clip]);
      note.live = true;
    }
    paired.notes.emplace(entries[kept], std::move(note));
  }
  paired.entries.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!dropped[i]) paired.entries.push_back(std::move(entries[i]));
  }
  return paired;
}

}  // namespace tablora
