#include "frame/providers.h"

#include <mutex>
#include <vector>

#include "frame/registry_access.h"
#include "platform/library_loader.h"

namespace tw {

namespace {
using GetOptionFn = uint32_t (*)(uint32_t, const char*, const char*, char*);
using GetOptionExFn = uint32_t (*)(uint32_t, const char*, const char*, char*, uint32_t);
using SetOptionFn = uint32_t (*)(uint32_t, const char*, const char*, const char*);

struct OptionProvider {
  platform::LibraryHandle handle = nullptr;
  GetOptionFn getOption = nullptr;
  GetOptionExFn getOptionEx = nullptr;
  SetOptionFn setOption = nullptr;
};

std::mutex g_providerMutex;
OptionProvider g_option;
platform::LibraryHandle g_pocfg = nullptr;
}  // namespace

std::string ProviderLibraryPath(const char* fileName) {
  std::string directory;
  ReadRegistryString(kRegistryRoot, "Application Directory", directory, 1024);
  return directory + "64\\" + fileName;
}

bool EnsureOptionProvider() {
  std::lock_guard<std::mutex> lock(g_providerMutex);
  if (g_option.handle == nullptr) {
    g_option.handle = platform::LoadLibrary(ProviderLibraryPath("TWOPTION.DLL"));
    if (g_option.handle == nullptr) return false;
    g_option.getOption = reinterpret_cast<GetOptionFn>(platform::GetProcAddress(g_option.handle, "GetOption"));
    g_option.getOptionEx = reinterpret_cast<GetOptionExFn>(platform::GetProcAddress(g_option.handle, "GetOption_Ex"));
    g_option.setOption = reinterpret_cast<SetOptionFn>(platform::GetProcAddress(g_option.handle, "SetOption"));
  }
  return g_option.getOption != nullptr;
}

bool LoadPostofficeConfigProvider() {
  std::lock_guard<std::mutex> lock(g_providerMutex);
  if (g_pocfg == nullptr) g_pocfg = platform::LoadLibrary(ProviderLibraryPath("TWPOCFG.DLL"));
  return g_pocfg != nullptr;
}

void UnloadProviders() {
  std::lock_guard<std::mutex> lock(g_providerMutex);
  if (g_option.handle) platform::FreeLibrary(g_option.handle);
  g_option = {};
  if (g_pocfg) platform::FreeLibrary(g_pocfg);
  g_pocfg = nullptr;
}

uint32_t GetStoreOption(uint32_t scope, const std::string& object, const std::string& name, std::string& value) {
  value.clear();
  if (!EnsureOptionProvider()) return 0;
  std::vector<char> buffer(kOptionCapacity, '\0');
  uint32_t result;
  if (g_option.getOptionEx)
    result = g_option.getOptionEx(scope, object.c_str(), name.c_str(), buffer.data(), kOptionCapacity);
  else
    result = g_option.getOption(scope, object.c_str(), name.c_str(), buffer.data());
  if (result == 0) return 0;
  // The provider promises termination; do not trust it past the buffer.
  buffer.back() = '\0';
  value = buffer.data();
  return result;
}

bool SetStoreOption(uint32_t scope, const std::string& object, const std::string& name, const std::string& value) {
  if (!EnsureOptionProvider() || g_option.setOption == nullptr) return false;
  g_option.setOption(scope, object.c_str(), name.c_str(), value.c_str());
  return true;
}

std::string MailboxOptionObject(const std::string& postoffice, const std::string& mailbox) {
  return postoffice + "/" + mailbox;
}

}  // namespace tw
