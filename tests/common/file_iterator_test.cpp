#include "common/file_iterator.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "support/test_support.h"

namespace tw {
namespace {

// Walks from First to the end: "name/ " for directories and "name=size " for files, sorted.
std::string Walk(FileIterator& it) {
  std::set<std::string> seen;
  std::string name = "stale", out;
  for (bool more = it.First(name); more; more = it.Next(name)) {
    EXPECT_TRUE(it.Valid() && name == it.Data().name) << name;
    const bool directory = (it.Data().attributes & platform::kAttrDirectory) != 0;
    seen.insert(directory ? name + "/ " : name + "=" + std::to_string(it.Data().size) + " ");
  }
  EXPECT_FALSE(it.Valid() || it.Next(name) || !name.empty());  // and stays ended
  for (const auto& entry : seen) out += entry;
  return out;
}

TEST(CommonFileIteratorTest, PatternsAndFiltersChooseTheEntries) {
  test::ScratchDir dir;
  for (const std::string file : {"a.MAI", "bb.txt"}) test::WriteFile(dir / file, file);  // sizes 5 and 6
  for (const char* folder : {"Inbox", "Sent.MAI"}) test::MakeDirs(dir / folder);
  using Case = std::tuple<std::string, uint32_t, std::string>;  // pattern, attribute mask (0: every entry), entries
  // With directories only, "*.MAI" skips the file a.MAI wherever it comes, first included; "*.mai" ignores case.
  for (const auto& [pattern, mask, entries] : std::vector<Case>{
           {"\\*", 0, "../ ./ Inbox/ Sent.MAI/ a.MAI=5 bb.txt=6 "}, {"\\*", 16, "../ ./ Inbox/ Sent.MAI/ "},
           {"\\*.MAI", 16, "Sent.MAI/ "}, {"\\*", 0x1A6, "a.MAI=5 bb.txt=6 "}, {"\\*.mai", 0, "Sent.MAI/ a.MAI=5 "},
           {"/*.txt", 0, "bb.txt=6 "}, {"\\*.none", 0, ""}, {"\\missing\\*", 0, ""}, {"\\*.txt", 16, ""}}) {
    auto it = mask == 0 ? std::make_unique<FileIterator>(dir.path() + pattern)
              : mask == 16 ? std::make_unique<FileIterator>(dir.path() + pattern, kDirectoriesOnly)
                           : std::make_unique<FileIterator>(dir.path() + pattern, mask);
    EXPECT_FALSE(it->Valid()) << "before the first step";
    if (std::string name; it->First(name)) it->Next(name);  // a walk under way starts again at First
    EXPECT_EQ(Walk(*it), entries) << pattern << " mask " << mask;
  }
}

}  // namespace
}  // namespace tw
