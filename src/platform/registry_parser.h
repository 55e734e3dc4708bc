// Parsing of registry export text (REGEDIT4 / "Windows Registry Editor
// Version 5.00") held in memory. No files, no locks, no reporting: the caller
// decides what to do with the skipped lines. Safe on any input.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/registry.h"

namespace tw::platform {

// How many skipped lines a parse keeps with their reasons; beyond that it
// only counts them, so a hostile file cannot flood the event log.
inline constexpr size_t kMaxKeptRegistryProblems = 100;

struct RegistryKeyValues {
  // Value name folded to lower case ("" is the default value) -> value.
  std::unordered_map<std::string, RegistryValue> values;
};

struct ParsedRegistry {
  // RegistryLookupKey(hive, path) -> the values of that key.
  std::unordered_map<std::string, RegistryKeyValues> keys;
  // Every key named by a section, and every key above one.
  std::unordered_set<std::string> presentKeys;
};

struct RegistryParseProblem {
  size_t line = 0;  // 1-based, in the file
  std::string reason;
};

struct RegistryParseResult {
  ParsedRegistry registry;
  // The first line that is neither blank nor a comment is not a header line
  // (the file is read anyway).
  bool missingHeader = false;
  // The first kMaxKeptRegistryProblems skipped lines, in file order.
  std::vector<RegistryParseProblem> problems;
  // All skipped lines, including those beyond the kept ones.
  size_t problemCount = 0;
};

RegistryParseResult ParseRegistryText(std::string_view bytes);

// The map key for a key path of a hive: "HKLM" or "HKCU", then each non-empty
// component of `keyPath` (split at "\") folded to ASCII lower case, joined by
// "\". "SOFTWARE\\X\\" and "software\x" give the same key.
std::string RegistryLookupKey(Hive hive, std::string_view keyPath);

// A value name folded for lookup; "@" names the default value, like "".
std::string RegistryValueKey(std::string_view valueName);

bool ParsedKeyExists(const ParsedRegistry& registry, Hive hive, std::string_view keyPath);
// Null when the key or the value is missing.
const RegistryValue* ParsedFindValue(const ParsedRegistry& registry, Hive hive, std::string_view keyPath,
                                     std::string_view valueName);

// UTF-16LE bytes (no byte-order mark) to the store's 8-bit text: code units
// below 256 become one byte each (Latin-1), anything else becomes UTF-8
// (surrogate pairs joined, a lone surrogate becomes "?"). The store keeps
// 8-bit texts, so plain Western text stays byte-for-byte what the same value
// would be in an ANSI export, and nothing else is lost. An odd last byte is
// dropped.
std::string StoreTextFromUtf16Le(std::string_view bytes);

}  // namespace tw::platform
