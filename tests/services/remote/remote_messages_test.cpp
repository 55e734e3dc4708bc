// The remote-administration messages: what the proxy sends parses on the
// service's side, what the service answers comes back into the caller's
// record, and hostile texts from either side are refused whole.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "services/remote/forwarded_calls.h"
#include "services/remote/remote_messages.h"
#include "support/folder_records.h"

namespace tw::remote {
namespace {

std::string EncodedOf(const std::string& bytes) { return *EncodeParameter(bytes.data(), bytes.size()); }

TEST(RemoteMessages, AFolderRecordTravelsThereAndBack) {
  FolderRecord record = test::MakeFolderRecord("bob", "\\Inbox", "Work");
  record.total = 0x01020304;
  const ParameterBlock blocks[] = {{&record, sizeof record}};
  const std::optional<std::string> request = ExecRequest("StoreFolderGet", blocks);
  ASSERT_TRUE(request);
  const std::optional<Request> parsed = ParseRequest(*request);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->method, Method::Exec);
  EXPECT_EQ(parsed->function, "StoreFolderGet");
  ASSERT_EQ(parsed->parameters.size(), 1u);
  EXPECT_EQ(parsed->parameters[0].number, 1u);
  EXPECT_EQ(parsed->parameters[0].size, sizeof record);

  FolderRecord there;
  ASSERT_TRUE(DecodeParameter(parsed->parameters[0].content, &there, sizeof there));
  EXPECT_EQ(std::memcmp(&there, &record, sizeof record), 0);

  there.total = 77;
  const ReturnedBlock returned[] = {{1, {&there, sizeof there}}};
  const std::optional<std::string> reply = ExecReply(0x11223344, returned);
  ASSERT_TRUE(reply);
  const std::optional<ReplyParameter> result = FindParameter(*reply, 0);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->size, 4u);
  unsigned char bytes[4];
  ASSERT_TRUE(DecodeParameter(result->content, bytes, 4));
  EXPECT_EQ(bytes[0], 0x44) << "numbers travel little-endian";
  EXPECT_EQ(bytes[3], 0x11);
  const std::optional<ReplyParameter> back = FindParameter(*reply, 1);
  ASSERT_TRUE(back);
  FolderRecord home = record;
  ASSERT_TRUE(DecodeParameter(back->content, &home, sizeof home));
  EXPECT_EQ(home.total, 77u);
}

TEST(RemoteMessages, RequestsOfEveryMethodParseAndNothingElseDoes) {
  EXPECT_EQ(ParseRequest(PingRequest())->method, Method::Ping);
  EXPECT_EQ(ParseRequest(QuitRequest())->method, Method::Quit);
  const std::string authText = AuthRequest("plain", "ann:secret");  // the request's views point into it
  const std::optional<Request> auth = ParseRequest(authText);
  ASSERT_TRUE(auth);
  EXPECT_EQ(auth->credentials, "ann:secret");
  EXPECT_EQ(auth->library, "TWAUTH.DLL");
  EXPECT_EQ(AuthRequest("p", std::string(400, 'c')).find(std::string(256, 'c')), std::string::npos)
      << "credentials are cut to 255 characters";
  EXPECT_EQ(ParseRequest(LoadRequest("TWSTORE.DLL"))->library, "TWSTORE.DLL");

  const std::string p1 = "<PARAMETER1 SIZE=4>" + EncodedOf("abcd") + "</PARAMETER1>";
  const char* refused[] = {
      "",
      "<DATA><METHOD>PING</METHOD></DATA>x",
      "<DATA><METHOD>PONG</METHOD></DATA>",
      "<DATA><METHOD>PING</METHOD>",
      "<DATA><METHOD>LOAD</METHOD><LIBRARY>a<b</LIBRARY></DATA>",
      "<DATA><METHOD>LOAD</METHOD></DATA>",
      "<DATA><METHOD>AUTH</METHOD><CREDENTIALS>x</CREDENTIALS></DATA>",
      "<DATA><METHOD>EXEC</METHOD><FUNCTION></FUNCTION><PARAMETERS></PARAMETERS></DATA>",
      "<DATA><METHOD>EXEC</METHOD><FUNCTION>f</FUNCTION><PARAMETERS><PARAMETER1 SIZE=-4>AA</PARAMETER1></PARAMETERS></DATA>",
      "<DATA><METHOD>EXEC</METHOD><FUNCTION>f</FUNCTION><PARAMETERS><PARAMETER1 SIZE=4>AA</PARAMETER2></PARAMETERS></DATA>",
      "<DATA><METHOD>EXEC</METHOD><FUNCTION>f</FUNCTION><PARAMETERS><PARAMETER1 SIZE=4>AA</PARAMETERS></DATA>",
  };
  for (const char* text : refused) EXPECT_FALSE(ParseRequest(text)) << text;
  EXPECT_TRUE(ParseRequest("<DATA><METHOD>EXEC</METHOD><FUNCTION>f</FUNCTION><PARAMETERS>" + p1 +
                           "</PARAMETERS></DATA>"));
  EXPECT_FALSE(ParseRequest("<DATA><METHOD>EXEC</METHOD><FUNCTION>f</FUNCTION><PARAMETERS><PARAMETER1 SIZE=" +
                            std::string(300, '9') + ">AA</PARAMETER1></PARAMETERS></DATA>"));
  EXPECT_FALSE(ParseRequest(LoadRequest(std::string(3000, 'L')))) << "over the 2047 of a request but EXEC";

  std::string big(20000, 'x');
  std::mt19937 noise(7);
  for (char& c : big) c = static_cast<char>(noise());
  const ParameterBlock blocks[] = {{big.data(), big.size()}};
  EXPECT_FALSE(ExecRequest("f", blocks)) << "a block that would pass the request's limit is not sent";
}

TEST(RemoteMessages, HostileRepliesGiveNothingRatherThanPartOfSomething) {
  const std::string four = EncodedOf("abcd");
  EXPECT_FALSE(FindParameter("<DATA></DATA>", 0));
  EXPECT_FALSE(FindParameter("</PARAMETER0><PARAMETER0 SIZE=4>" + four, 0)) << "end before start";
  EXPECT_FALSE(FindParameter("<PARAMETER0 SIZE=>" + four + "</PARAMETER0>", 0));
  EXPECT_FALSE(FindParameter("<PARAMETER0 SIZE=4x>" + four + "</PARAMETER0>", 0));
  EXPECT_FALSE(FindParameter("<PARAMETER0 SIZE=" + std::string(300, '4') + ">" + four + "</PARAMETER0>", 0));
  EXPECT_FALSE(FindParameter("<PARAMETER10 SIZE=4>" + four + "</PARAMETER10>", 1)) << "10 is not 1";
  EXPECT_FALSE(FindParameter("<PARAMETER0 SIZE=4>" + four, 0)) << "no end";
  ASSERT_TRUE(FindParameter("<PARAMETER0 SIZE=4>" + four + "</PARAMETER0>", 0));

  unsigned char out[4] = {9, 9, 9, 9};
  EXPECT_FALSE(DecodeParameter("!!!!", out, 4)) << "junk";
  EXPECT_FALSE(DecodeParameter(EncodedOf("abcdef"), out, 4)) << "expands past its size";
  EXPECT_FALSE(DecodeParameter(EncodedOf("ab"), out, 4)) << "shorter than its size";
  EXPECT_EQ(out[0], 9) << "nothing written by a failed decode";
}

TEST(ForwardedCallTable, EveryRowHasItsSizesAndOnlyFolderCallsRunYet) {
  const ForwardedCall* get = FindForwardedCall("StoreFolderGet", "twstore.dll");
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(get->sizes[0], sizeof(FolderRecord));
  EXPECT_TRUE(get->returned[0]);
  const ForwardedCall* edit = FindForwardedCall("StoreFolderEdit", "TWSTORE.DLL");
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->count, 2u);
  EXPECT_FALSE(edit->returned[0] || edit->returned[1]);
  EXPECT_EQ(FindForwardedCall("StoreFolderGet_Ex", "TWSTORE.DLL"), nullptr);
  EXPECT_EQ(FindForwardedCall("storefolderget", "TWSTORE.DLL"), nullptr) << "function names are exact";
  EXPECT_EQ(FindForwardedCall("StoreFolderGet", "TWCALPRV.DLL"), nullptr);
  EXPECT_NE(FindForwardedCall("AppointmentEdit", "TWCALPRV.DLL"), nullptr);
  size_t available = 0;
  for (const ForwardedCall& call : ForwardedCalls()) {
    EXPECT_GT(call.sizes[0], 0u) << call.function;
    available += call.available;
    if (call.available) {
      EXPECT_EQ(call.function.rfind("StoreFolder", 0), 0u) << call.function;
    }
  }
  EXPECT_EQ(available, 8u);
}

}  // namespace
}  // namespace tw::remote
