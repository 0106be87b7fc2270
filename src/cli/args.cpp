#include "cli/args.h"

#include <algorithm>
#include <charconv>

namespace tablora::cli {

namespace {
bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}
}  // namespace

Args::Args(int argc, char** argv, int first, const std::vector<std::string>& valueOptions,
           const std::vector<std::string>& flagOptions) {
  bool onlyPositional = false;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
      positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyPositional = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const std::size_t eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    // An option in both lists is a flag alone and takes a value only after "=".
    const bool valueOnlyInline = Contains(flagOptions, name);
    if (Contains(valueOptions, name) && (inlineValue || !valueOnlyInline)) {
      if (inlineValue) {
        values_[name] = *inlineValue;
      } else if (i + 1 < argc) {
        values_[name] = argv[++i];
      } else {
        throw UsageError{"option " + name + " needs a value"};
      }
      allValues_[name].push_back(values_[name]);
    } else if (Contains(flagOptions, name) && !inlineValue) {
      flags_.push_back(name);
    } else {
      throw UsageError{"unknown option " + arg};
    }
  }
}

bool Args::Has(const std::string& name) const {
  return Contains(flags_, name) || values_.count(name) != 0;
}

std::optional<std::string> Args::Value(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> Args::Values(const std::string& name) const {
  auto it = allValues_.find(name);
  return it == allValues_.end() ? std::vector<std::string>{} : it->second;
}

std::string Args::ValueOr(const std::string& name, const std::string& fallback) const {
  return Value(name).value_or(fallback);
}

int Args::IntOr(const std::string& name, int fallback, int min, int max) const {
  const auto text = Value(name);
  if (!text) return fallback;
  int value = 0;
  const char* begin = text->data();
  const char* end = begin + text->size();
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc() || ptr != end || value < min || value > max) {
    throw UsageError{"option " + name + " must be a whole number from " + std::to_string(min) +
                     " to " + std::to_string(max) + ", not '" + *text + "'"};
  }
  return value;
}

}  // namespace tablora::cli
