// Shared by the index-file fuzz targets: one scratch folder per process
// holding the file under test, and invariant failures that show the file.
#pragma once
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace index_fuzz {

// The target's name, for paths and messages; each target defines it.
extern const char* const kTargetName;

// One directory for the whole process, removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    do {
      path_ = base / (std::string("twstore-") + kTargetName + "-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Path() const { return path_.string(); }
  std::filesystem::path IndexFile() const { return path_ / "_index.xml"; }
  // Only the index file: a backup or temporary file must not carry over.
  void Reset(std::string_view bytes) const {
    for (const auto& entry : std::filesystem::directory_iterator(path_)) std::filesystem::remove_all(entry.path());
    std::ofstream(IndexFile(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string Read() const {
    std::ifstream in(IndexFile(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
};

inline const ScratchFolder& Folder() {
  static const ScratchFolder folder;
  return folder;
}

// Shows the failed invariant and the start of the file as it is now.
[[noreturn]] inline void Fail(const char* what) {
  std::string shown;
  for (const char c : Folder().Read().substr(0, 600)) {
    const auto byte = static_cast<unsigned char>(c);
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, byte < 0x20 || byte >= 0x7F || byte == '\\' ? "\\x%02x" : "%c", byte);
    shown += escaped;
  }
  std::fprintf(stderr, "%s: %s\nfile now: %s\n", kTargetName, what, shown.c_str());
  __builtin_trap();
}

inline void Require(bool ok, const char* what) {
  if (!ok) Fail(what);
}

}  // namespace index_fuzz
