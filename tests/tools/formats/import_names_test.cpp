// Store file names for imported messages.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <set>
#include <string>

#include "formats/import_names.h"

namespace tw::formats {
namespace {

bool IsStoreName(const std::string& name) {
  if (name.size() > kImportNameLimit || name.size() <= 4 || name[0] == '_') return false;
  if (name.substr(name.size() - 4) != ".MAI") return false;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
    if (!ok) return false;
  }
  return true;
}

TEST(ImportNames, CleanKeysStayAsTheyAre) {
  EXPECT_EQ(ImportFileName("1733245200.12345_1.host"), "1733245200.12345_1.host.MAI");
  EXPECT_EQ(Fnv1a32(""), 0x811c9dc5u);
  EXPECT_EQ(Fnv1a32("a"), 0xe40c292cu);
}

TEST(ImportNames, ChangedCutOrCapitalisedKeysGetTheirHash) {
  const std::string key = "1733.M1P2.host,S=120";
  const std::string name = ImportFileName(key);
  EXPECT_EQ(name.substr(0, 21), "1733.M1P2.host_S_120_");
  EXPECT_TRUE(IsStoreName(name)) << name;
  char hash[9];
  std::snprintf(hash, sizeof hash, "%08x", Fnv1a32(key));
  EXPECT_EQ(name, "1733.M1P2.host_S_120_" + std::string(hash) + ".MAI");

  EXPECT_EQ(ImportFileName("_x").substr(0, 3), "m_x");
  EXPECT_EQ(ImportFileName(std::string(100, 'a')).size(), kImportNameLimit);
  EXPECT_EQ(ImportFileName(std::string(59, 'a')), std::string(59, 'a') + ".MAI");
  EXPECT_NE(ImportFileName(std::string(60, 'a')), ImportFileName(std::string(61, 'a')));
}

TEST(ImportNames, DistinctSourcesGetDistinctNamesAlsoWithoutRegardToCase) {
  const std::string keys[] = {"", ".", "..", "_", "-", ",", "a-b", "a_b", "a,b", "ab", "AB", "aB", "a.b",
                              std::string(80, 'x'), std::string(80, 'x') + "y", "caf\xC3\xA9", "caf\xC3\xA8",
                              std::string("n\0l", 3), "n_l"};
  std::set<std::string> names;
  for (const std::string& key : keys) {
    std::string name = ImportFileName(key);
    EXPECT_TRUE(IsStoreName(name)) << name;
    EXPECT_EQ(ImportFileName(key), name);  // the same again on a re-run
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(names.insert(name).second) << name;
  }
}

TEST(ImportNames, SourceKeys) {
  EXPECT_EQ(MaildirSourceKey("1733.M1P2.host,S=120:2,FS"), "1733.M1P2.host,S=120");
  EXPECT_EQ(MaildirSourceKey("1733.host"), "1733.host");
  EXPECT_EQ(EmlSourceKey("letter"), "letter");
  const std::string a = MboxSourceKey("archive", 7, "From a Thu Dec  3 10:00:00 2026\nSubject: x");
  EXPECT_EQ(a.substr(0, 10), "archive_7_");
  EXPECT_NE(a, MboxSourceKey("archive", 7, "From b Thu Dec  3 10:00:00 2026\nSubject: x"));
  EXPECT_NE(a, MboxSourceKey("archive", 8, "From a Thu Dec  3 10:00:00 2026\nSubject: x"));
  EXPECT_TRUE(IsStoreName(ImportFileName(a)));
}

}  // namespace
}  // namespace tw::formats
