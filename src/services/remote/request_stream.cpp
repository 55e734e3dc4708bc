#include "services/remote/request_stream.h"

#include "services/remote/remote_messages.h"

namespace tw::remote {

RequestStream::Next RequestStream::Take(std::string& request) {
  // Only the longest request's worth is searched: an end tag further on
  // would close a request over the limit anyway.
  const std::string_view window = std::string_view(pending_).substr(0, kExecRequestLimit);
  const size_t end = window.find(kMessageEnd);
  if (end == std::string_view::npos || end + kMessageEnd.size() > kExecRequestLimit)
    return pending_.size() >= kExecRequestLimit ? Next::kTooLong : Next::kNeedMore;
  request = pending_.substr(0, end + kMessageEnd.size());
  pending_.erase(0, end + kMessageEnd.size());
  return Next::kRequest;
}

}  // namespace tw::remote
