// Library-wide settings, read from the registry by StoreLibrary_Init and only
// read afterwards.
#pragma once
#include <cstdint>
#include <string>

namespace tw {

struct StoreSettings {
  std::string mailRoot;       // at most 1023 characters
  std::string blockFileBase;  // a copy of the mail root
  uint32_t storeEventNotificationMode = 0;
  uint32_t mailboxSizeCalcMode = 0;
  uint32_t allowCustomPostofficePaths = 0;
  std::string badMailDirectory;
};

// Where each setting came from, for the operator ("registry: <key>\<value>"
// or "default").
struct StoreSettingsSources {
  std::string mailRoot;
  std::string storeEventNotificationMode;
  std::string mailboxSizeCalcMode;
  std::string allowCustomPostofficePaths;
  std::string badMailDirectory;
};

// Reads every setting with its default.
StoreSettings ReadStoreSettings(StoreSettingsSources* sources = nullptr);

// The mail root alone, by the same rule (used by the option provider, which
// lives in its own library).
std::string ReadMailRoot(std::string* source = nullptr);

// The settings in force in this process.
const StoreSettings& Settings();
void SetSettings(StoreSettings settings);
// The mail root in force; read from "Mail Root" when still empty.
std::string MailRoot();

}  // namespace tw
