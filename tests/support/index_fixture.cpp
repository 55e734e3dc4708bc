#include "support/index_fixture.h"

#include <cstdio>

#include "index/locking/block_settings.h"
#include "index/file/serialisation_settings.h"

namespace tw::test {

std::string RootDwords(const std::vector<std::pair<std::string, uint32_t>>& values) {
  std::string body = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Tarnwick\\Tarnwick]\r\n";
  for (const auto& [name, value] : values) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", value);
    body += "\"" + name + "\"=dword:" + hex + "\r\n";
  }
  return body;
}

IndexFolder::IndexFolder(const std::vector<std::pair<std::string, uint32_t>>& settings)
    : registry_(RootDwords(settings)) {
  ResetSerialisationSettingsCache();
}

IndexFolder::~IndexFolder() { ResetSerialisationSettingsCache(); }

std::vector<std::string> IndexFolder::Log() const {
  std::vector<std::string> texts;
  for (const auto& entry : events_.entries()) texts.push_back(entry.text2);
  return texts;
}

std::string IndexFolder::LogText() const {
  std::string all;
  for (const std::string& text : Log()) all += text + "|";
  return all;
}

IndexItemPropertyContainer* AddItem(SORTEDSTOREINDEXTYPE& index, const Values& values) {
  auto* item = new IndexItemPropertyContainer();
  item->SetAllGiven(values);
  if (!index.InsertAtEnd(item)) {
    delete item;
    return nullptr;
  }
  return item;
}

std::vector<Values> Items(const SORTEDSTOREINDEXTYPE& index) {
  std::vector<Values> all;
  index.ForEachInSequence([&](const IndexItemPropertyContainer& item) {
    Values values = item.GetAll();
    values.erase("SEQ");
    all.push_back(values);
  });
  return all;
}

}  // namespace tw::test
