// Hostile requests to the administration service: cut from a stream as a
// connection delivers them, parsed, and run through a session whose store
// call is a recorder. Whatever the bytes: a request taken is within the
// longest one, a call reaches the recorder only with a row of the loaded
// library that is available and with exactly its blocks and sizes, and
// every reply fits its limit.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "services/remote/admin_session.h"
#include "services/remote/request_stream.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

tw::remote::SessionSeams RecordingSeams() {
  tw::remote::SessionSeams seams;
  // "admin:x" is good; the fuzzer finds it quickly in the seeds.
  seams.checkCredentials = [](std::string_view credentials) { return credentials == "admin:x"; };
  seams.loadLibrary = [](std::string_view library) { return library == tw::remote::kStoreLibrary; };
  seams.call = [](const tw::remote::ForwardedCall& row, tw::remote::CallBlocks& blocks) -> uint32_t {
    Check(row.available && row.library == tw::remote::kStoreLibrary);
    Check(blocks.size() == row.count);
    for (uint32_t k = 0; k < row.count; ++k) Check(blocks[k].size() == row.sizes[k]);
    return static_cast<uint32_t>(blocks[0][0]);
  };
  return seams;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  // Validation alone, on the input as one request.
  if (const auto request = tw::remote::ParseRequest(input)) {
    Check(input.size() <= tw::remote::kExecRequestLimit);
    if (request->method == tw::remote::Method::Exec) {
      const tw::remote::ExecCall call = tw::remote::ValidateExec(*request, tw::remote::kStoreLibrary);
      if (call.refusal == tw::remote::ExecRefusal::kNone) {
        Check(call.row != nullptr && call.row->available && call.blocks.size() == call.row->count);
      } else {
        Check(call.blocks.empty());
      }
    }
  }

  // The same bytes as a connection's stream, after AUTH and LOAD.
  tw::remote::AdminSession session(RecordingSeams());
  session.Handle(tw::remote::AuthRequest("", "admin:x"));
  session.Handle(tw::remote::LoadRequest("TWSTORE.DLL"));
  tw::remote::RequestStream stream;
  stream.Add(input);
  std::string request;
  while (stream.Take(request) == tw::remote::RequestStream::Next::kRequest) {
    Check(request.size() <= tw::remote::kExecRequestLimit);
    const tw::remote::SessionReply reply = session.Handle(request);
    Check(reply.text.size() <= tw::remote::kReplyLimit);
    if (reply.close) break;
  }
  return 0;
}
