// Several threads open, walk, change, save and close the same folders at
// once, with thread affinity on and off. Run under ThreadSanitizer (the
// tsan preset) this proves the cache's locking; in every build it checks
// that no read sees a wrong item, nothing is lost and nothing stays cached.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "folders/cache/index_cache.h"
#include "folders/items/item_calls.h"
#include "frame/library_lifecycle.h"
#include "frame/thread_state.h"
#include "index/cache/loaded_index_store.h"
#include "frame/store_paths.h"
#include "index/lifecycle/direct_operations.h"
#include "support/inbox_fixture.h"

namespace tw {
namespace {

constexpr int kThreads = 4;
constexpr int kStepsPerThread = 150;
constexpr int kMessages = 12;
const char* const kFolders[] = {"\\Inbox", "\\Sent"};

std::string Read(const char* name) {
  void* value = nullptr;
  uint32_t length = 0;
  if (GetCurrentItemProperty(name, &value, &length) != 2 || value == nullptr) return {};
  std::string text(static_cast<const char*>(value), length > 0 ? length - 1 : 0);
  std::free(value);
  return text;
}

std::string Id(int n) { return "m" + std::to_string(n) + ".mai"; }

struct Failures {
  std::atomic<int> wrongReads{0};
  std::atomic<int> failedOpens{0};
};

// One thread's random run; it closes everything it opened before it ends.
void RunThread(uint32_t seed, Failures& failures) {
  std::mt19937 random(seed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); };
  int depth = 0;
  const char* folder = kFolders[0];
  for (int step = 0; step < kStepsPerThread; ++step) {
    switch (pick(9)) {
      case 0:
      case 1: {
        const char* wanted = kFolders[pick(2)];
        if (wanted != folder) depth = 0;  // a thread that moves on lets the other folder go
        folder = wanted;
        const uint32_t opened = OpenFolder("PO", "bob", folder, 0, 1);
        if (opened == 0) {
          ++failures.failedOpens;
          depth = 0;
        } else {
          ++depth;
        }
        break;
      }
      case 2:
        for (uint32_t more = FindFirstItem(); more == 1; more = FindNextItem()) {
          const std::string id = Read("TW_ITEM_ID");
          const std::string subject = Read("PR_SUBJECT");
          if (id.rfind("new", 0) != 0 && subject != id) ++failures.wrongReads;
        }
        break;
      case 3:
      case 4:
        SetCurrentItemProperty(Id(pick(kMessages)), "PR_TW_FLAGSTATUS", pick(2) ? "\\SEEN" : "\\FLAGGED");
        break;
      case 5:
        if (SelectItem(Id(pick(kMessages))) == 1 && Read("PR_SUBJECT") != Read("TW_ITEM_ID")) ++failures.wrongReads;
        break;
      case 6:
        pick(2) ? SaveFolder() : SaveAllFolders();
        break;
      case 7:
        CreateItem("new" + std::to_string(pick(3)) + ".mai");
        break;
      default:
        if (depth > 0) {
          pick(4) == 0 ? FindClose() : CloseFolder();
          depth = pick(4) == 0 ? 0 : depth - 1;
        }
        break;
    }
  }
  while (ExistingThreadStoreIndex() != nullptr && ExistingThreadStoreIndex()->openIndex != nullptr) CloseFolder();
}

class ItemStress : public ::testing::TestWithParam<bool> {};

TEST_P(ItemStress, ThreadsOpenWalkChangeSaveAndCloseTheSameFolders) {
  test::InboxFixture inbox;
  ASSERT_EQ(StoreLibraryInit(), 1u);
  // Block waits yield instead of sleeping, so that the holder can finish.
  test::FastSleep yielding([](uint64_t) { std::this_thread::yield(); });
  for (const char* folder : kFolders) {
    std::string ids;
    for (int n = 0; n < kMessages; ++n) {
      test::PutMessage(FolderDirectoryForIndex("PO", "bob", folder), Id(n), "From: a@b\r\nSubject: " + Id(n));
      ids += (n ? "," : "") + Id(n);
    }
    ASSERT_EQ(DirectInsertItems("PO", "bob", folder, ids, ""), 1);
  }
  SetThreadAffinity(GetParam());
  Failures failures;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(RunThread, 1000u + static_cast<uint32_t>(t), std::ref(failures));
  for (std::thread& thread : threads) thread.join();
  SetThreadAffinity(true);

  EXPECT_EQ(failures.wrongReads.load(), 0);
  EXPECT_EQ(CachedRecordCount(), 0u) << "every hold was given back";
  for (const char* folder : kFolders) {
    ASSERT_EQ(OpenFolder("PO", "bob", folder, 0, 1), 1u) << folder;
    int found = 0;
    for (uint32_t more = FindFirstItem(); more == 1; more = FindNextItem())
      found += Read("TW_ITEM_ID").rfind("m", 0) == 0 ? 1 : 0;
    EXPECT_EQ(found, kMessages) << folder << ": no message lost";
    CloseFolder();
  }
  LoadedIndexStore::Process().Clear();
  RecordProperty("failed_opens", failures.failedOpens.load());
}

INSTANTIATE_TEST_SUITE_P(Affinity, ItemStress, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

}  // namespace
}  // namespace tw
