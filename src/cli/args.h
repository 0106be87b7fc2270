#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tablora::cli {

// A usage error: the message names the bad argument; the command exits with status 2.
struct UsageError {
  std::string message;
};

// Options of the form --name VALUE, --name=VALUE and --flag, with positional arguments between.
class Args {
 public:
  // valueOptions take a value; flagOptions do not; one in both is a flag that may be given a value
  // as --name=VALUE only. Unknown options raise UsageError.
  Args(int argc, char** argv, int first, const std::vector<std::string>& valueOptions,
       const std::vector<std::string>& flagOptions);

  bool Has(const std::string& name) const;
  std::optional<std::string> Value(const std::string& name) const;
  std::string ValueOr(const std::string& name, const std::string& fallback) const;
  // Every value an option was given, in order; Value gives the last.
  std::vector<std::string> Values(const std::string& name) const;
  // An integer option within min..max.
  int IntOr(const std::string& name, int fallback, int min, int max) const;
  const std::vector<std::string>& Positional() const { return positional_; }

 private:
  std::map<std::string, std::string> values_;
  std::map<std::string, std::vector<std::string>> allValues_;
  std::vector<std::string> flags_;
  std::vector<std::string> positional_;
};

}  // namespace tablora::cli
