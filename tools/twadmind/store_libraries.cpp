#include "store_libraries.h"

namespace tw::admind {
namespace {

// Every forwarded function takes its records by pointer and answers a
// 32-bit number.
using OneBlockCall = uint32_t (*)(void*);
using TwoBlockCall = uint32_t (*)(void*, void*);

}  // namespace

StoreLibraries::~StoreLibraries() {
  for (auto& [name, handle] : loaded_) platform::FreeLibrary(handle);
}

std::string StoreLibraries::LibraryFile(const std::string& directory, std::string_view library) {
  // The loader maps an absolute Windows-style path to the library file in
  // that same directory.
  return platform::MapLibraryPath(directory + "/" + std::string(library));
}

bool StoreLibraries::Load(std::string_view library) {
  if (loaded_.find(library) != loaded_.end()) return true;
  const platform::LibraryHandle handle = platform::LoadLibrary(directory_ + "/" + std::string(library));
  if (handle == nullptr) return false;
  loaded_.emplace(std::string(library), handle);
  return true;
}

uint32_t StoreLibraries::Call(const remote::ForwardedCall& row, remote::CallBlocks& blocks) {
  const auto library = loaded_.find(row.library);
  if (library == loaded_.end() || blocks.size() != row.count) return 0;
  const std::string name(row.function);
  void* symbol = platform::GetProcAddress(library->second, name.c_str());
  if (symbol == nullptr) return 0;
  for (uint32_t k = 0; k < row.count; ++k)
    if (blocks[k].size() != row.sizes[k]) return 0;
  if (row.count == 1) return reinterpret_cast<OneBlockCall>(symbol)(blocks[0].data());
  return reinterpret_cast<TwoBlockCall>(symbol)(blocks[0].data(), blocks[1].data());
}

}  // namespace tw::admind
