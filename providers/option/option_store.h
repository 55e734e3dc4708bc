// Options kept as "Name=Value" lines in plain text files under the mail
// root: "_options\<postoffice>.opt" for postoffice options and
// "_options\<postoffice>\<mailbox>.opt" for mailbox options. Files are
// rewritten whole through a temporary file and a rename, under a lock file,
// so readers never see a torn file and concurrent writers lose nothing.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tw::option {

// The option file for a scope and object below `mailRoot`; empty when the
// scope is unknown or the object names a place outside the option tree.
std::string OptionFilePath(const std::string& mailRoot, uint32_t scope, const std::string& object);

// Option names compare without regard to case.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
using OptionMap = std::map<std::string, std::string, NoCaseLess>;

OptionMap ParseOptions(const std::string& text);
std::string SerialiseOptions(const OptionMap& options);

std::optional<std::string> ReadOption(const std::string& file, const std::string& name);
bool WriteOption(const std::string& file, const std::string& name, const std::string& value);

// How often a writer tries the lock file, 10 ms apart, before it fails
// (200, two seconds, unless set; 0 restores that). Returns the previous
// count. For tests, whose writers must not fail on a slow machine.
int SetWriteLockAttempts(int attempts);

}  // namespace tw::option
