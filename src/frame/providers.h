// The sibling provider libraries: the option provider (per-postoffice and
// per-mailbox options) and the postoffice configuration provider. Each is
// loaded at most once per process, from "Application Directory" + "64".
#pragma once
#include <cstdint>
#include <string>

namespace tw {

inline constexpr uint32_t kOptionScopePostoffice = 1;
inline constexpr uint32_t kOptionScopeMailbox = 2;
inline constexpr uint32_t kOptionCapacity = 1024;

// "<Application Directory>64\<file>", the Windows path of a provider.
std::string ProviderLibraryPath(const char* fileName);

// Loads TWOPTION.DLL and resolves its entry points unless done already.
// True when GetOption is available.
bool EnsureOptionProvider();
bool LoadPostofficeConfigProvider();
// Unloads both providers, clearing their handles.
void UnloadProviders();

// The provider's result (1 when the option exists) with the text it gave.
// Through GetOption_Ex when the provider has it.
uint32_t GetStoreOption(uint32_t scope, const std::string& object, const std::string& name, std::string& value);
// False when the provider or its SetOption is missing.
bool SetStoreOption(uint32_t scope, const std::string& object, const std::string& name, const std::string& value);

// The object text of a mailbox option: "postoffice/mailbox".
std::string MailboxOptionObject(const std::string& postoffice, const std::string& mailbox);

}  // namespace tw
