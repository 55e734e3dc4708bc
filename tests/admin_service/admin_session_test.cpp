// The service's session rules, fed request texts with the users, the
// libraries and the store call replaced by recorders.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "services/remote/admin_session.h"
#include "support/folder_records.h"
#include "twstore.h"

namespace tw::remote {
namespace {

FolderRecord Folder(const char* name) { return test::MakeFolderRecord("alice", "\\Inbox", name, "Demo"); }

std::string Exec(std::string_view function, std::vector<ParameterBlock> blocks) {
  const std::optional<std::string> text = ExecRequest(function, blocks);
  EXPECT_TRUE(text.has_value());
  return text.value_or("");
}

// An EXEC element by hand, for what ExecRequest would never build.
std::string Parameter(uint32_t number, size_t size, const std::string& content) {
  const std::string n = std::to_string(number);
  return "<PARAMETER" + n + " SIZE=" + std::to_string(size) + ">" + content + "</PARAMETER" + n + ">";
}
std::string ExecWith(std::string_view function, const std::string& parameters) {
  return "<DATA><METHOD>EXEC</METHOD><FUNCTION>" + std::string(function) + "</FUNCTION><PARAMETERS>" + parameters +
         "</PARAMETERS></DATA>";
}

class AdminSessionTest : public ::testing::Test {
 protected:
  AdminSessionTest() : session_(Seams()) {}

  SessionSeams Seams() {
    SessionSeams seams;
    seams.checkCredentials = [this](std::string_view credentials) {
      checked_.emplace_back(credentials);
      return credentials == "admin:good secret";
    };
    seams.loadLibrary = [this](std::string_view library) {
      loads_.emplace_back(library);
      return library == kStoreLibrary;
    };
    seams.call = [this](const ForwardedCall& row, CallBlocks& blocks) {
      calls_.emplace_back(row.function);
      received_ = blocks;
      // The store writes into the record it is given.
      if (!blocks.empty()) std::memcpy(blocks[0].data() + 2048, "Work", 5);
      return result_;
    };
    return seams;
  }

  SessionReply Send(const std::string& text) { return session_.Handle(text); }
  void SignIn() {
    ASSERT_TRUE(IsSuccessReply(Send(AuthRequest("", "admin:good secret")).text));
    ASSERT_TRUE(IsSuccessReply(Send(LoadRequest("TWSTORE.DLL")).text));
  }
  // Refused without reaching the store and without closing.
  void ExpectRefused(const std::string& request) {
    const SessionReply reply = Send(request);
    EXPECT_FALSE(IsSuccessReply(reply.text)) << request.substr(0, 200);
    EXPECT_FALSE(reply.close);
    EXPECT_TRUE(calls_.empty());
  }

  std::vector<std::string> checked_, loads_, calls_;
  CallBlocks received_;
  uint32_t result_ = 1;
  AdminSession session_;
};

TEST_F(AdminSessionTest, BeforeAuthOnlyPingQuitAndAuthAreAnswered) {
  EXPECT_TRUE(IsSuccessReply(Send(PingRequest()).text));
  FolderRecord record = Folder("x");
  ExpectRefused(LoadRequest("TWSTORE.DLL"));
  EXPECT_TRUE(loads_.empty()) << "LOAD before AUTH loads nothing";
  ExpectRefused(Exec("StoreFolderAdd", {{&record, sizeof record}}));
  EXPECT_FALSE(session_.authenticated());

  const SessionReply quit = Send(QuitRequest());
  EXPECT_TRUE(IsSuccessReply(quit.text));
  EXPECT_TRUE(quit.close);
}

TEST_F(AdminSessionTest, TheThirdFailedAuthClosesAndAGoodOneResetsTheCount) {
  EXPECT_FALSE(Send(AuthRequest("", "admin:wrong")).close);
  EXPECT_FALSE(Send(AuthRequest("", "nobody")).close);
  ASSERT_TRUE(IsSuccessReply(Send(AuthRequest("", "admin:good secret")).text));
  EXPECT_FALSE(Send(AuthRequest("", "admin:wrong")).close) << "the count starts afresh after a success";
  EXPECT_FALSE(Send(AuthRequest("", "admin:wrong")).close);
  const SessionReply third = Send(AuthRequest("", "admin:wrong"));
  EXPECT_FALSE(IsSuccessReply(third.text));
  EXPECT_TRUE(third.close);
  EXPECT_EQ(checked_.size(), 6u);
}

// Ping is answered in every state.
TEST_F(AdminSessionTest, AFailedAuthForgetsTheEarlierIdentityAndLibrary) {
  SignIn();
  EXPECT_TRUE(IsSuccessReply(Send(PingRequest()).text));
  Send(AuthRequest("", "admin:wrong"));
  EXPECT_TRUE(IsSuccessReply(Send(PingRequest()).text));
  EXPECT_FALSE(session_.authenticated());
  EXPECT_EQ(session_.loadedLibrary(), "");
  FolderRecord record = Folder("x");
  ExpectRefused(Exec("StoreFolderAdd", {{&record, sizeof record}}));
}

TEST_F(AdminSessionTest, LoadTakesOnlyTheKnownLibrariesInAnyCase) {
  ASSERT_TRUE(IsSuccessReply(Send(AuthRequest("", "admin:good secret")).text));
  EXPECT_TRUE(IsSuccessReply(Send(LoadRequest("twstore.dll")).text));
  EXPECT_EQ(session_.loadedLibrary(), kStoreLibrary);

  for (const char* refused : {"/usr/lib/libc.so.6", "..\\TWSTORE.DLL", "C:\\x\\TWSTORE.DLL", "TWSTORE", "libtwstore.so",
                              "TWSTORE.DLL ", ""}) {
    const SessionReply reply = Send(LoadRequest(refused));
    EXPECT_FALSE(IsSuccessReply(reply.text)) << refused;
    EXPECT_FALSE(reply.close) << refused;
    EXPECT_EQ(session_.loadedLibrary(), "") << refused;
  }
  // The seam only ever sees the service's own spelling of a known name.
  EXPECT_EQ(loads_, std::vector<std::string>{"TWSTORE.DLL"});

  EXPECT_FALSE(IsSuccessReply(Send(LoadRequest("TwCalPrv.dll")).text)) << "not built: its load fails";
  EXPECT_EQ(loads_.back(), "TWCALPRV.DLL");
  EXPECT_TRUE(IsSuccessReply(Send(LoadRequest("TWAUTH.DLL")).text));
  EXPECT_EQ(session_.loadedLibrary(), "") << "TWAUTH.DLL loads nothing";
  EXPECT_EQ(loads_.size(), 2u);
}

TEST_F(AdminSessionTest, ExecRunsTheRowAndSendsBackItsResultAndReturnedBlocks) {
  SignIn();
  FolderRecord record = Folder("");
  result_ = 7;
  const SessionReply reply = Send(Exec("StoreFolderFindFirst", {{&record, sizeof record}}));
  ASSERT_FALSE(reply.close);
  ASSERT_EQ(calls_, std::vector<std::string>{"StoreFolderFindFirst"});
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(std::memcmp(received_[0].data(), &record, sizeof record), 0) << "the record arrives byte for byte";

  const std::optional<ReplyParameter> result = FindParameter(reply.text, 0);
  ASSERT_TRUE(result.has_value()) << reply.text;
  uint32_t number = 0;
  ASSERT_TRUE(DecodeParameter(result->content, &number, 4));
  EXPECT_EQ(number, 7u);
  const std::optional<ReplyParameter> returned = FindParameter(reply.text, 1);
  ASSERT_TRUE(returned.has_value());
  EXPECT_EQ(returned->size, sizeof record);
  FolderRecord back;
  ASSERT_TRUE(DecodeParameter(returned->content, &back, sizeof back));
  EXPECT_STREQ(back.name, "Work");
}

TEST_F(AdminSessionTest, ExecWithoutReturnedBlocksSendsOnlyTheResult) {
  SignIn();
  FolderRecord from = Folder("a"), to = Folder("b");
  const SessionReply reply = Send(Exec("StoreFolderEdit", {{&from, sizeof from}, {&to, sizeof to}}));
  ASSERT_EQ(calls_.size(), 1u);
  ASSERT_EQ(received_.size(), 2u);
  EXPECT_STREQ(reinterpret_cast<const char*>(received_[1].data()) + 2048, "b");
  EXPECT_TRUE(FindParameter(reply.text, 0).has_value());
  EXPECT_FALSE(FindParameter(reply.text, 1).has_value());
  EXPECT_FALSE(FindParameter(reply.text, 2).has_value());
}

TEST_F(AdminSessionTest, ExecNamesOnlyAvailableRowsOfTheLoadedLibrary) {
  ASSERT_TRUE(IsSuccessReply(Send(AuthRequest("", "admin:good secret")).text));
  FolderRecord record = Folder("x");
  ExpectRefused(Exec("StoreFolderAdd", {{&record, sizeof record}}));  // nothing loaded yet
  ASSERT_TRUE(IsSuccessReply(Send(LoadRequest("TWSTORE.DLL")).text));
  for (const char* function : {"system", "StoreLibrary_UnInit", "StoreFolderGet_Ex", "StoreFolderGetSize",
                               "TLS_StoreFolderFindFirst", "storefolderadd", "AppointmentAdd"})
    ExpectRefused(Exec(function, {{&record, sizeof record}}));

  // Rows whose records this store does not have yet.
  std::vector<unsigned char> legacy(1540, 'a'), blob(9220, 'b');
  ExpectRefused(Exec("FolderAdd", {{legacy.data(), legacy.size()}}));
  ExpectRefused(Exec("BLOBGetSize", {{blob.data(), blob.size()}}));
}

TEST_F(AdminSessionTest, ExecRefusesParametersNotAsTheRowSays) {
  SignIn();
  FolderRecord record = Folder("x");
  const std::string good = *EncodeParameter(&record, sizeof record);
  ExpectRefused(ExecWith("StoreFolderAdd", ""));
  ExpectRefused(ExecWith("StoreFolderAdd", Parameter(1, sizeof record, good) + Parameter(2, sizeof record, good)));
  ExpectRefused(ExecWith("StoreFolderAdd", Parameter(2, sizeof record, good)));
  ExpectRefused(ExecWith("StoreFolderEdit", Parameter(2, sizeof record, good) + Parameter(1, sizeof record, good)));
  ExpectRefused(ExecWith("StoreFolderEdit", Parameter(1, sizeof record, good) + Parameter(1, sizeof record, good)));
  // SIZE other than the row's, and content that does not decode to it.
  ExpectRefused(ExecWith("StoreFolderAdd", Parameter(1, 2575, good)));
  ExpectRefused(ExecWith("StoreFolderAdd", Parameter(1, 100000, good)));
  char small[100] = "short";
  ExpectRefused(ExecWith("StoreFolderAdd", Parameter(1, sizeof record, *EncodeParameter(small, sizeof small))));
  ExpectRefused(ExecWith("StoreFolderAdd", Parameter(1, sizeof record, "!!!not base64!!!")));
  ExpectRefused(ExecWith("StoreFolderAdd", Parameter(1, sizeof record, "")));
  ExpectRefused(ExecWith("StoreFolderAdd", Parameter(1, sizeof record, "AAAA")));

  // The same request, well formed, passes: the refusals were for the faults.
  EXPECT_TRUE(FindParameter(Send(ExecWith("StoreFolderAdd", Parameter(1, sizeof record, good))).text, 0));
  EXPECT_EQ(calls_.size(), 1u);
}

TEST_F(AdminSessionTest, ValidateExecNamesTheFault) {
  FolderRecord record = Folder("x");
  const std::string text = Exec("StoreFolderEdit", {{&record, sizeof record}});
  const std::optional<Request> request = ParseRequest(text);
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(ValidateExec(*request, "").refusal, ExecRefusal::kNoLibrary);
  EXPECT_EQ(ValidateExec(*request, "TWCALPRV.DLL").refusal, ExecRefusal::kUnknownFunction);
  const ExecCall call = ValidateExec(*request, "twstore.dll");
  EXPECT_EQ(call.refusal, ExecRefusal::kParameterCount);
  EXPECT_TRUE(call.blocks.empty());
}

TEST_F(AdminSessionTest, OversizedOrMalformedRequestsClose) {
  SignIn();
  std::string longLoad = LoadRequest(std::string(2100, 'A'));
  for (const std::string& text :
       {longLoad, std::string("<DATA><METHOD>SHELL</METHOD></DATA>"), std::string("<DATA><METHOD>PING</METHOD>"),
        std::string("garbage</DATA>"), ExecWith("StoreFolderAdd", std::string(40000, 'A'))}) {
    const SessionReply reply = Send(text);
    EXPECT_TRUE(reply.close) << text.substr(0, 80);
    EXPECT_FALSE(IsSuccessReply(reply.text));
  }
  EXPECT_TRUE(calls_.empty());
}

}  // namespace
}  // namespace tw::remote
