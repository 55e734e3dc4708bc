#include "support/index_fixture.h"

#include "index/locking/block_settings.h"
#include "index/file/serialisation_settings.h"

namespace tw::test {

std::string RootDwords(const std::vector<std::pair<std::string, uint32_t>>& values) {
  std::string body = RegistryKey();
  for (const auto& [name, value] : values) body += DwordValue(name, value);
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

std::vector<std::string> Column(const std::vector<Values>& items, const std::string& name) {
  std::vector<std::string> values;
  for (const Values& item : items) values.push_back(item.count(name) ? item.at(name) : "");
  return values;
}

}  // namespace tw::test
