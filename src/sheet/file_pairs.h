#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tablora {

// How a folder's files of one name show when a camera wrote the frame twice (RAW + JPEG or HEIF):
// once as the camera's own rendering with a caption naming both (Once), both as files of their
// own (Both), the RAW alone (Raw) or the rendering alone under its own name (Jpeg). A Live Photo's
// clip (a .mov beside a still of its name) goes with its still in every way but Both.
enum class PairMode { Once, Both, Raw, Jpeg };

std::string_view PairModeName(PairMode mode);  // "once", "both", "raw", "jpeg"
std::optional<PairMode> PairModeNamed(std::string_view name);

// What a listed picture stands for beyond its own file.
struct PairNote {
  // The name its caption shows: "IMG_0412.CR3 + JPG"; empty keeps the file's own name.
  std::string caption;
  // The other files of the frame, as entries of the same list ("/2024/IMG_0412.CR3").
  std::vector<std::string> partners;
  // A Live Photo: its clip was left out.
  bool live = false;
  bool operator==(const PairNote&) const = default;
};

struct PairedList {
  std::vector<std::string> entries;  // in the order given, partners left out
  std::unordered_map<std::string, PairNote> notes;  // by kept entry
};

// Pairs the entries ("/folder/name.ext") of each folder whose names differ only in the extension
// (compared without regard to case, as cards written on Windows cameras mix it).
PairedList PairUp(std::vector<std::string> entries, PairMode mode);

}  // namespace tablora
