// The option provider's entry points, with the names the store looks up.
#include <cstdint>
#include <string>

#include "common/text.h"
#include "frame/settings.h"
#include "option/option_store.h"

namespace {

std::string FileFor(uint32_t scope, const char* object) {
  if (object == nullptr) return {};
  return tw::option::OptionFilePath(tw::ReadMailRoot(), scope, object);
}

uint32_t Get(uint32_t scope, const char* object, const char* name, char* destination, uint32_t capacity) {
  if (destination == nullptr || capacity == 0) return 0;
  destination[0] = '\0';
  if (name == nullptr) return 0;
  try {
    const std::string file = FileFor(scope, object);
    if (file.empty()) return 0;
    const auto value = tw::option::ReadOption(file, name);
    // A value that does not fit is not handed out cut: a cut path would
    // name another directory.
    if (!value || value->size() >= capacity) return 0;
    tw::CopyText(destination, capacity, *value);
    return 1;
  } catch (...) {
    return 0;
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) uint32_t GetOption(uint32_t scope, const char* object, const char* name,
                                                          char* destination) {
  return Get(scope, object, name, destination, 1024);
}

__attribute__((visibility("default"))) uint32_t GetOption_Ex(uint32_t scope, const char* object, const char* name,
                                                             char* destination, uint32_t capacity) {
  return Get(scope, object, name, destination, capacity);
}

__attribute__((visibility("default"))) uint32_t SetOption(uint32_t scope, const char* object, const char* name,
                                                          const char* value) {
  if (name == nullptr || value == nullptr) return 0;
  try {
    const std::string file = FileFor(scope, object);
    return !file.empty() && tw::option::WriteOption(file, name, value) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
