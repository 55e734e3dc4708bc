// The registry, read from a text file in the Windows registry export format
// (REGEDIT4 / "Windows Registry Editor Version 5.00", ANSI or UTF-16LE).
// Path: $TW_REGISTRY_FILE, else kDefaultRegistryFile. Key paths and value
// names compare without regard to case. The file is re-read when its
// modification time changes; a missing file is an empty registry.
//
// HKEY_CURRENT_USER also comes from the user's own file (UserRegistryFilePath),
// whose values win over the main file's. Secrets are read with
// RegistryGetSecret, which passes over the user's file while others can read
// it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace tw::platform {

inline constexpr const char* kDefaultRegistryFile = "/etc/tarnwick/registry.reg";

enum class Hive { LocalMachine, CurrentUser };

enum class RegistryType { String, Dword };

struct RegistryValue {
  RegistryType type;
  std::string text;     // String values (8-bit)
  uint32_t number = 0;  // Dword values
};

// True when the key exists (a section for it, or one below it, is present).
bool RegistryKeyExists(Hive hive, const std::string& keyPath);
// The value (an empty name or "@" is the key's default value); nullopt when
// the key or value is missing. Last error: 2 when missing.
std::optional<RegistryValue> RegistryGetValue(Hive hive, const std::string& keyPath,
                                              const std::string& valueName);

// As RegistryGetValue, for a value that must stay private (a password): a
// value in the user's file is ignored while that file can be read by its
// group or others (one warning in the event log per version of the file),
// and the main file's value, if any, is used instead.
std::optional<RegistryValue> RegistryGetSecret(Hive hive, const std::string& keyPath, const std::string& valueName);

// Path of the registry file in force.
std::string RegistryFilePath();
// Path of the user's own file for HKEY_CURRENT_USER:
// $TW_USER_REGISTRY_FILE, else $HOME/.config/tarnwick/user.reg (the home
// directory from the user database when HOME is unset).
std::string UserRegistryFilePath();
// Drops the cached file so that the next read loads it again (tests).
void RegistryReset();

}  // namespace tw::platform
