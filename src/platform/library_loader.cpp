#include "platform/library_loader.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <vector>

#include "platform/event_log.h"
#include "platform/last_error.h"

namespace tw::platform {
namespace {

bool EndsWithDll(const std::string& name) {
  if (name.size() < 4) return false;
  const std::string tail = name.substr(name.size() - 4);
  return tail[0] == '.' && std::tolower(static_cast<unsigned char>(tail[1])) == 'd' &&
         std::tolower(static_cast<unsigned char>(tail[2])) == 'l' &&
         std::tolower(static_cast<unsigned char>(tail[3])) == 'l';
}

std::string ReadLink(const char* path) {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = readlink(path, buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  return std::string(buffer.data(), static_cast<size_t>(n));
}

std::string DirectoryOf(const std::string& file) {
  const size_t slash = file.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return file.substr(0, slash);
}

// Linked into the executable itself (tests, tools): the executable's
// directory in a build tree; an installed tool finds the siblings where the
// store's library was installed beside them.
std::string ExecutableLibraryDirectory() {
  const std::string directory = DirectoryOf(HostExecutablePath());
#ifdef TW_LIBDIR_FROM_BINDIR
  const std::string installed = directory + "/" TW_LIBDIR_FROM_BINDIR;
  if (access((directory + "/libtwstore.so").c_str(), F_OK) != 0 &&
      access((installed + "/libtwstore.so").c_str(), F_OK) == 0) {
    char resolved[PATH_MAX];
    if (realpath(installed.c_str(), resolved) != nullptr) return resolved;
  }
#endif
  return directory;
}

}  // namespace

std::string MapLibraryPath(const std::string& windowsPath) {
  std::string path = windowsPath;
  for (char& c : path)
    if (c == '\\') c = '/';
  // A drive letter means nothing here.
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) path.erase(0, 2);

  std::string directory;
  std::string name = path;
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos) {
    directory = path.substr(0, slash);
    name = path.substr(slash + 1);
    if (directory.empty()) directory = "/";
  }
  if (EndsWithDll(name)) name.resize(name.size() - 4);
  std::string stem;
  stem.reserve(name.size());
  for (char c : name) stem += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  // Without an absolute directory the library is the store's own sibling.
  if (directory.empty() || directory[0] != '/') directory = ThisLibraryDirectory();
  if (directory.back() != '/') directory += '/';
  return directory + "lib" + stem + ".so";
}

LibraryHandle LoadLibrary(const std::string& windowsPath) {
  const std::string file = MapLibraryPath(windowsPath);
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    DebugOutput("LoadLibrary " + file + ": " + (why ? why : "unknown error") + "\n");
    SetLastError(kErrorModNotFound);
  }
  return handle;
}

void* GetProcAddress(LibraryHandle library, const char* name) {
  if (library == nullptr || name == nullptr) {
    SetLastError(library == nullptr ? kErrorInvalidHandle : kErrorProcNotFound);
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) SetLastError(kErrorProcNotFound);
  return symbol;
}

void FreeLibrary(LibraryHandle library) {
  if (library != nullptr) dlclose(library);
}

std::string ThisLibraryDirectory() {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&ThisLibraryDirectory), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) == 0 ||
      map == nullptr) {
    return DirectoryOf(HostExecutablePath());
  }
  if (map->l_name == nullptr || map->l_name[0] == '\0') return ExecutableLibraryDirectory();
  char resolved[PATH_MAX];
  if (realpath(map->l_name, resolved) == nullptr) return DirectoryOf(map->l_name);
  return DirectoryOf(resolved);
}

std::string HostExecutablePath() { return ReadLink("/proc/self/exe"); }

std::string GetEnvironment(const char* name) {
  if (name == nullptr) return {};
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace tw::platform
