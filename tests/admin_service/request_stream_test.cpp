// A connection's bytes cut into requests: split and joined as TCP may
// deliver them, and a stream without an end within the longest request.
#include <gtest/gtest.h>

#include <string>

#include "services/remote/remote_messages.h"
#include "services/remote/request_stream.h"

namespace tw::remote {
namespace {

using Next = RequestStream::Next;

TEST(RequestStreamTest, ARequestSplitInPiecesComesOutWhole) {
  RequestStream stream;
  std::string request;
  const std::string ping = PingRequest();
  stream.Add(ping.substr(0, 10));
  EXPECT_EQ(stream.Take(request), Next::kNeedMore);
  stream.Add(ping.substr(10, ping.size() - 12));
  EXPECT_EQ(stream.Take(request), Next::kNeedMore);
  stream.Add(ping.substr(ping.size() - 2));
  ASSERT_EQ(stream.Take(request), Next::kRequest);
  EXPECT_EQ(request, ping);
  EXPECT_TRUE(stream.empty());
}

TEST(RequestStreamTest, JoinedRequestsComeOutOneByOne) {
  RequestStream stream;
  std::string request;
  stream.Add(PingRequest() + QuitRequest() + "<DATA>");
  ASSERT_EQ(stream.Take(request), Next::kRequest);
  EXPECT_EQ(request, PingRequest());
  ASSERT_EQ(stream.Take(request), Next::kRequest);
  EXPECT_EQ(request, QuitRequest());
  EXPECT_EQ(stream.Take(request), Next::kNeedMore);
}

TEST(RequestStreamTest, NoEndWithinTheLongestRequestIsRefused) {
  RequestStream stream;
  std::string request;
  stream.Add(std::string(kExecRequestLimit - 1, 'A'));
  EXPECT_EQ(stream.Take(request), Next::kNeedMore);
  stream.Add("A");
  EXPECT_EQ(stream.Take(request), Next::kTooLong);

  RequestStream justFits;
  const std::string longest = std::string(kExecRequestLimit - kMessageEnd.size(), 'A') + std::string(kMessageEnd);
  justFits.Add(longest + "more");
  ASSERT_EQ(justFits.Take(request), Next::kRequest);
  EXPECT_EQ(request.size(), kExecRequestLimit);

  RequestStream oneOver;
  oneOver.Add("A" + longest);
  EXPECT_EQ(oneOver.Take(request), Next::kTooLong);
}

}  // namespace
}  // namespace tw::remote
