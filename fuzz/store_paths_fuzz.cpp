// Hostile postoffice, mailbox and folder names: whatever they are, a
// resolved directory lies below the mail root and has no ".." component.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "frame/settings.h"
#include "frame/store_paths.h"

namespace {

constexpr const char* kMailRoot = "/fuzz-root/POSTOFFICES";

bool HasParentComponent(const std::string& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0 && end - start == 2) return true;
    start = end + 1;
  }
  return false;
}

void Check(const std::string& resolved) {
  if (resolved.empty()) return;
  if (resolved.rfind(kMailRoot, 0) != 0 || HasParentComponent(resolved)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // A registry file that does not exist: public folders stay enabled, and
  // no option provider is consulted.
  setenv("TW_REGISTRY_FILE", "/nonexistent/twstore-fuzz.reg", 1);
  tw::StoreSettings settings;
  settings.mailRoot = kMailRoot;
  tw::SetSettings(settings);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Three fields separated by 0xFF bytes (NULs stay inside the fields).
  std::string fields[3];
  int field = 0;
  for (size_t i = 0; i < size && field < 3; ++i) {
    if (data[i] == 0xFF) {
      ++field;
      continue;
    }
    fields[field] += static_cast<char>(data[i]);
  }
  const std::string& postoffice = fields[0];
  const std::string& mailbox = fields[1];
  const std::string& folder = fields[2];
  Check(tw::FolderDirectoryForRecord(mailbox, postoffice, folder));
  Check(tw::FolderDirectoryViaPostofficeRoot(postoffice, mailbox, &folder));
  Check(tw::FolderDirectoryViaPostofficeRoot(postoffice, mailbox, nullptr));
  // May try to create a special tree one level deep; its parent below the
  // made-up root does not exist, so nothing is created.
  Check(tw::FolderDirectoryForIndex(postoffice, mailbox, folder));
  tw::FolderTypeFromPath(folder);
  tw::SpecialNameForm(folder, mailbox);
  return 0;
}
