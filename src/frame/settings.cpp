#include "frame/settings.h"


#include "frame/registry_access.h"

namespace tw {

namespace {
constexpr uint32_t kTextCapacity = 1024;

StoreSettings& Current() {
  static StoreSettings settings;
  return settings;
}

std::string Described(const char* key, const char* value) {
  return std::string("registry: HKEY_LOCAL_MACHINE\\") + key + "\\" + value;
}

uint32_t ReadNumber(const char* valueName, std::string* source) {
  uint32_t value = 0;
  if (ReadRegistryDword(kRegistryRoot, valueName, &value)) {
    if (source) *source = Described(kRegistryRoot, valueName);
    return value;
  }
  if (source) *source = "default";
  return 0;
}
}  // namespace

std::string ReadMailRoot(std::string* source) {
  std::string root;
  if (ReadRegistryString(kMapiServiceKey, "Mail Root Directory", root, kTextCapacity)) {
    if (source) *source = Described(kMapiServiceKey, "Mail Root Directory");
    return root;
  }
  if (ReadRegistryString(kRegistryRoot, "Mail Root", root, kTextCapacity)) {
    if (source) *source = Described(kRegistryRoot, "Mail Root");
    return root;
  }
  std::string dataDirectory;
  const bool found = ReadRegistryString(kRegistryRoot, "Data Directory", dataDirectory, kTextCapacity) != 0;
  if (source) *source = found ? Described(kRegistryRoot, "Data Directory") + " + \\POSTOFFICES" : "default";
  root = dataDirectory + "\\POSTOFFICES";
  if (root.size() >= kTextCapacity) root.resize(kTextCapacity - 1);
  return root;
}

StoreSettings ReadStoreSettings(StoreSettingsSources* sources) {
  StoreSettings s;
  s.storeEventNotificationMode =
      ReadNumber("Store Event Notification Mode", sources ? &sources->storeEventNotificationMode : nullptr);
  s.mailboxSizeCalcMode = ReadNumber("Mailbox Size Calc Mode", sources ? &sources->mailboxSizeCalcMode : nullptr);
  s.mailRoot = ReadMailRoot(sources ? &sources->mailRoot : nullptr);
  s.blockFileBase = s.mailRoot;
  s.allowCustomPostofficePaths =
      ReadNumber("Allow Custom Postoffice Paths", sources ? &sources->allowCustomPostofficePaths : nullptr);
  const bool badMail = ReadRegistryString(kRegistryRoot, "Bad Mail Directory", s.badMailDirectory, kTextCapacity);
  if (sources) sources->badMailDirectory = badMail ? Described(kRegistryRoot, "Bad Mail Directory") : "default";
  return s;
}

const StoreSettings& Settings() { return Current(); }

void SetSettings(StoreSettings settings) { Current() = std::move(settings); }

std::string MailRoot() {
  StoreSettings& s = Current();
  if (s.mailRoot.empty()) ReadRegistryString(kRegistryRoot, "Mail Root", s.mailRoot, kTextCapacity);
  return s.mailRoot;
}

}  // namespace tw
