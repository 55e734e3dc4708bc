// Mail items as a real folder index holds them, for the index-file
// benchmarks: ten properties plus READ, about 440 bytes an element once
// written. Also the scratch folder they are saved into.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "index/items/index_item_property_container.h"
#include "index/items/sorted_store_index.h"

namespace twbench {

inline void FillMailItem(tw::IndexItemPropertyContainer& c, int i) {
  char text[128];
  auto set = [&](const char* name, int length) {
    c.SetText(name, std::string_view(text, static_cast<size_t>(length)));
  };
  set("ID", std::snprintf(text, sizeof text, "%08X.MAI", 0x0000A000u + static_cast<unsigned>(i)));
  set("SUBJECT", std::snprintf(text, sizeof text, "Re: Quarterly figures for the northern region, draft %06d", i));
  set("FROM", std::snprintf(text, sizeof text, "Jane Sender <jane.sender%04d@example.com>", i % 5000));
  set("TO", std::snprintf(text, sizeof text, "Team Inbox <team.inbox%04d@example.org>", i % 300));
  set("MESSAGEDATE", std::snprintf(text, sizeof text, "Sun, 06 Dec 2026 02:%02d:%02d +0000", i % 60, i % 59));
  set("RECEIVED", std::snprintf(text, sizeof text, "Sun, 06 Dec 2026 03:%02d:%02d +0000", i % 60, i % 59));
  set("SIZE", std::snprintf(text, sizeof text, "%d", 1000 + (i * 7919) % 900000));
  set("FLAGSTATUS", std::snprintf(text, sizeof text, "%s", "\\SEEN \\RECENT"));
  set("MODIFIEDDATE", std::snprintf(text, sizeof text, "%u", 1796000000u + static_cast<unsigned>(i)));
  c.SetNumber("READ", i % 4 == 0 ? 0 : 1);
}

// `count` items appended (UIDs 1..count); the index counts as fully loaded
// so that a save writes it.
inline bool BuildMailIndex(tw::SORTEDSTOREINDEXTYPE& index, int count) {
  index.SetLoadLevel(3);
  index.keyFilter.clear();
  for (int i = 0; i < count; ++i) {
    auto* c = new tw::IndexItemPropertyContainer();
    FillMailItem(*c, i);
    if (!index.InsertAtEnd(c)) {
      delete c;
      return false;
    }
  }
  return true;
}

// A directory under the temporary directory with an empty registry that the
// library reads instead of the machine's, so every setting is its default.
// Removed with everything in it when this goes.
class ScratchRoot {
 public:
  explicit ScratchRoot(const std::string& prefix) {
    namespace fs = std::filesystem;
    path_ = (fs::temp_directory_path() / (prefix + std::to_string(std::random_device{}()))).string();
    fs::create_directories(path_);
    std::ofstream(path_ + "/registry.reg") << "Windows Registry Editor Version 5.00\r\n\r\n";
    setenv("TW_REGISTRY_FILE", (path_ + "/registry.reg").c_str(), 1);
  }
  ~ScratchRoot() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchRoot(const ScratchRoot&) = delete;
  ScratchRoot& operator=(const ScratchRoot&) = delete;

  // A new, empty folder directory inside.
  std::string NewFolder(const std::string& name) const {
    const std::string folder = path_ + "/" + name;
    std::filesystem::create_directories(folder);
    return folder;
  }

 private:
  std::string path_;
};

}  // namespace twbench
