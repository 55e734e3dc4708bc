// The libraries a connection's child loads on LOAD, from the one directory
// fixed when the service starts, and the forwarded calls made into them.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/library_loader.h"
#include "services/remote/admin_session.h"

namespace tw::admind {

class StoreLibraries {
 public:
  // `directory` is absolute; nothing outside it is ever loaded.
  explicit StoreLibraries(std::string directory) : directory_(std::move(directory)) {}
  // Unloads every library: the store's own shutdown runs with it.
  ~StoreLibraries();
  StoreLibraries(const StoreLibraries&) = delete;
  StoreLibraries& operator=(const StoreLibraries&) = delete;

  // `library` is one the session knows (its Windows name).
  bool Load(std::string_view library);
  // The row's function of its library on the blocks; 0 when it cannot be
  // found.
  uint32_t Call(const remote::ForwardedCall& row, remote::CallBlocks& blocks);

  // The file a library name stands for inside `directory`.
  static std::string LibraryFile(const std::string& directory, std::string_view library);

 private:
  std::string directory_;
  std::map<std::string, platform::LibraryHandle, std::less<>> loaded_;
};

}  // namespace tw::admind
