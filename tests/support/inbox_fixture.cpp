#include "support/inbox_fixture.h"

#include <gtest/gtest.h>

#include <regex>

#include "frame/store_paths.h"
#include "index/file/serialisation_settings.h"
#include "index/items/index_item.h"
#include "index/lifecycle/direct_operations.h"
#include "index/lifecycle/store_index_lifecycle.h"
#include "index/lifecycle/store_index_record.h"
#include "index/messages/message_index_settings.h"

namespace tw::test {

InboxFixture::InboxFixture() { Use({}); }

InboxFixture::~InboxFixture() {
  ResetSerialisationSettingsCache();
  ResetMessageIndexSettings();
}

void InboxFixture::Use(const IndexSwitches& s, const std::string& extraValues) {
  root_.Use(DwordValue("Use XML Stream Index Deserialisation", s.streamLoad) +
            DwordValue("Use XML Stream Index Serialisation", s.streamSave) +
            DwordValue("MSXML Index Serialisation Produces Old Format", s.oldFormat) +
            DwordValue("Backup Index", s.backup) + extraValues);
  ResetSerialisationSettingsCache();
  ResetMessageIndexSettings();
  inbox_ = SystemPath(IndexPath());
  MakeDirs(inbox_);
}

std::string InboxFixture::IndexPath() const { return FolderDirectoryForIndex("PO", "bob", "\\Inbox"); }

void InboxFixture::WriteMessage(const std::string& name, const std::string& headers) {
  PutMessage(IndexPath(), name, "From: a@b\r\nSubject: " + name + (headers.empty() ? "" : "\r\n" + headers));
}

int32_t InboxFixture::Deliver(const std::string& name, const std::string& flags) {
  WriteMessage(name);
  return DirectInsertItems("PO", "bob", "\\Inbox", name, flags);
}

int32_t InboxFixture::Update(const std::string& ids, const std::string& change) {
  return DirectUpdateItems("PO", "bob", "\\Inbox", ids, change);
}

int32_t InboxFixture::Remove(const std::string& ids) { return DirectRemoveItems("PO", "bob", "\\Inbox", ids); }

int32_t InboxFixture::Open(STOREINDEXTYPE& record, uint32_t mode) {
  return OpenFolderRecord(record, "PO", "bob", "\\Inbox", mode);
}

void InboxFixture::SetFlags(STOREINDEXTYPE& record, const std::string& id, const std::string& flags) {
  IndexItem handle(IndexOf(record).FindById(id), false);
  ASSERT_TRUE(handle.Set("FLAGSTATUS", flags)) << id;
  record.changed = 1;
}

Listing InboxFixture::Read(uint32_t mode) {
  auto record = std::make_unique<STOREINDEXTYPE>();
  Listing items;
  if (Open(*record, mode) != 0)
    for (const auto* item : IndexOf(*record).Sequence())
      items[item->GetText("ID")] = {static_cast<uint32_t>(item->GetNumber("UID")), item->GetText("FLAGSTATUS")};
  ReleaseRecord(*record);
  return items;
}

std::vector<uint32_t> InboxFixture::UidsInFile() const {
  const std::string text = ReadFile(File("_index.xml"));
  std::vector<uint32_t> uids;
  static const std::regex uid("<ELEMENT ID=\"[^\"]*\" UID=\"([0-9]+)\"");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), uid); it != std::sregex_iterator(); ++it)
    uids.push_back(static_cast<uint32_t>(std::stoul((*it)[1])));
  return uids;
}

FolderDetails InboxFixture::FolderDat() const { return FolderCounters(IndexPath()); }

std::string InboxFixture::Log() const {
  std::string text;
  for (const auto& entry : events_.entries()) text += entry.text2 + "\n";
  return text;
}

}  // namespace tw::test
