#include <iomanip>

#include "commands.h"
#include "frame/settings.h"
#include "frame/store_paths.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace tw::cli {

namespace {
void Row(std::ostream& out, const char* name, const std::string& value, const std::string& source) {
  out << std::left << std::setw(32) << name << std::setw(40) << value << source << "\n";
}
}  // namespace

int ShowSettings(std::ostream& out) {
  StoreSettingsSources sources;
  const StoreSettings s = ReadStoreSettings(&sources);
  const std::string registryFile = platform::RegistryFilePath();
  out << "registry file: " << registryFile
      << (platform::GetFileAttributes(registryFile) == platform::kInvalidAttributes ? " (missing: empty registry)" : "")
      << "\n\n";
  Row(out, "setting", "value", "source");
  Row(out, "Mail root", s.mailRoot, sources.mailRoot);
  Row(out, "  on disk", platform::ToSystemPath(s.mailRoot), "");
  Row(out, "Store Event Notification Mode", std::to_string(s.storeEventNotificationMode),
      sources.storeEventNotificationMode);
  Row(out, "Mailbox Size Calc Mode", std::to_string(s.mailboxSizeCalcMode), sources.mailboxSizeCalcMode);
  Row(out, "Allow Custom Postoffice Paths", std::to_string(s.allowCustomPostofficePaths),
      sources.allowCustomPostofficePaths);
  Row(out, "Bad Mail Directory", s.badMailDirectory.empty() ? "(none)" : s.badMailDirectory,
      sources.badMailDirectory);
  Row(out, "Public Folders Enabled", PublicFoldersEnabled() ? "yes" : "no", "registry, read each time");
  return 0;
}

}  // namespace tw::cli
