// A folder with an index file for serialiser tests: its registry settings,
// the serialisation log it produces, and items made in one call.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "index/items/sorted_store_index.h"
#include "support/test_support.h"

namespace tw::test {

using Values = std::map<std::string, std::string>;

// Registry text for DWORD values under the store's root key.
std::string RootDwords(const std::vector<std::pair<std::string, uint32_t>>& values);

class IndexFolder {
 public:
  explicit IndexFolder(const std::vector<std::pair<std::string, uint32_t>>& settings = {});
  ~IndexFolder();

  const std::string& path() const { return dir_.path(); }
  std::string File(const std::string& name = "_index.xml") const { return dir_ / name; }
  std::string Read(const std::string& name = "_index.xml") const { return ReadFile(File(name)); }
  void Write(const std::string& content, const std::string& name = "_index.xml") const {
    WriteFile(File(name), content);
  }
  // The texts written to the event log so far.
  std::vector<std::string> Log() const;
  std::string LogText() const;

 private:
  ScratchDir dir_;
  ScopedRegistry registry_;
  CapturedEvents events_;
};

// Inserts an item with these properties (ID and UID among them) at the end.
IndexItemPropertyContainer* AddItem(SORTEDSTOREINDEXTYPE& index, const Values& values);

// Every property of every item in sequence order, "SEQ" left out.
std::vector<Values> Items(const SORTEDSTOREINDEXTYPE& index);
// One property of each item ("" where it is absent).
std::vector<std::string> Column(const std::vector<Values>& items, const std::string& name);

}  // namespace tw::test
