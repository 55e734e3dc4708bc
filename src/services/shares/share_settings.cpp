#include "services/shares/share_settings.h"

#include "frame/registry_access.h"

namespace tw {

std::string ConfigurationDirectory() {
  std::string directory;
  ReadRegistryString(kRegistryRoot, "Configuration Directory", directory, 1024);
  return directory;
}

}  // namespace tw
