// Cuts what a connection delivers into requests: each ends with the first
// "</DATA>". TCP may split a request or join two, so bytes wait here until
// a whole one is in; a stream that runs past the longest request without
// its end is refused, since what follows could not be trusted to start one.
#pragma once
#include <string>
#include <string_view>

namespace tw::remote {

class RequestStream {
 public:
  enum class Next { kRequest, kNeedMore, kTooLong };

  void Add(std::string_view bytes) { pending_.append(bytes); }
  // The next whole request into `request` (end tag included).
  Next Take(std::string& request);
  bool empty() const { return pending_.empty(); }

 private:
  std::string pending_;
};

}  // namespace tw::remote
