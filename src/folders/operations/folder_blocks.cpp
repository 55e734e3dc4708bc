#include "folders/operations/folder_blocks.h"

#include <vector>

#include "common/text.h"
#include "index/locking/block_claim.h"
#include "platform/files.h"

namespace tw {

bool IsBlockFileName(std::string_view name) { return EndsWithNoCase(name, ".blk"); }

bool TreeHasLiveBlock(const std::string& directory) {
  // A list of directories still to look into rather than recursion: a
  // hostile tree's depth cannot exhaust the stack.
  std::vector<std::string> pending{directory};
  while (!pending.empty()) {
    const std::string current = std::move(pending.back());
    pending.pop_back();
    platform::FindHandle find;
    platform::FindData data;
    for (bool more = find.First(current + "\\*", data); more; more = find.Next(data)) {
      if (data.name == "." || data.name == ".." || platform::IsLink(data)) continue;
      const std::string path = current + "\\" + data.name;
      if ((data.attributes & platform::kAttrDirectory) != 0) {
        pending.push_back(path);
      } else if (IsBlockFileName(data.name)) {
        const BlockState state = ExamineBlock(path);
        if (state == BlockState::Busy || state == BlockState::LiveOwner) return true;
      }
    }
  }
  return false;
}

}  // namespace tw
