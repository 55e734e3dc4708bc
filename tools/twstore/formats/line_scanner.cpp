#include "formats/line_scanner.h"

#include <cstring>

namespace tw::formats {

void LineScanner::DeliverHead(LineClient& client) {
  headDone_ = true;
  client.OnLineHead(head_);
}

void LineScanner::Feed(std::string_view bytes, LineClient& client) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (!started_) {
      started_ = true;
      headDone_ = false;
      head_.quotes = 0;
      head_.bytes.clear();
      head_.complete = false;
    }
    if (!headDone_) {
      const char c = bytes[i++];
      if (c == '>' && head_.bytes.empty()) {
        ++head_.quotes;
        continue;
      }
      head_.bytes += c;
      if (c == '\n') {
        head_.complete = true;
        DeliverHead(client);
        client.OnLineEnd();
        started_ = false;
      } else if (head_.bytes.size() == LineHead::kBytes) {
        DeliverHead(client);
      }
      continue;
    }
    const void* found = std::memchr(bytes.data() + i, '\n', bytes.size() - i);
    if (found == nullptr) {
      client.OnLineRest(bytes.substr(i));
      return;
    }
    const size_t end = static_cast<size_t>(static_cast<const char*>(found) - bytes.data()) + 1;
    client.OnLineRest(bytes.substr(i, end - i));
    client.OnLineEnd();
    started_ = false;
    i = end;
  }
}

void LineScanner::Finish(LineClient& client) {
  if (!started_) return;
  if (!headDone_) {
    head_.complete = true;
    DeliverHead(client);
  }
  client.OnLineEnd();
  started_ = false;
}

}  // namespace tw::formats
