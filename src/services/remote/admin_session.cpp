#include "services/remote/admin_session.h"

#include <cctype>

namespace tw::remote {
namespace {

constexpr std::string_view kAuthLibrary = "TWAUTH.DLL";

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

SessionReply Failure(bool close = false) { return {FailureReply(), close}; }
SessionReply Success(bool close = false) { return {SuccessReply(), close}; }

}  // namespace

std::optional<std::string_view> KnownLibrary(std::string_view requested) {
  for (std::string_view known : {kStoreLibrary, kCalendarLibrary, kAuthLibrary})
    if (SameLetters(requested, known)) return known;
  return std::nullopt;
}

ExecCall ValidateExec(const Request& request, std::string_view loadedLibrary) {
  ExecCall call;
  if (loadedLibrary.empty()) {
    call.refusal = ExecRefusal::kNoLibrary;
    return call;
  }
  // Only the table's rows of the loaded library: nothing else of it, and
  // nothing of the process, can be named.
  call.row = FindForwardedCall(request.function, loadedLibrary);
  if (call.row == nullptr) {
    call.refusal = ExecRefusal::kUnknownFunction;
    return call;
  }
  if (!call.row->available) {
    call.refusal = ExecRefusal::kRefusedRow;
    return call;
  }
  if (request.parameters.size() != call.row->count) {
    call.refusal = ExecRefusal::kParameterCount;
    return call;
  }
  for (uint32_t k = 0; k < call.row->count; ++k) {
    const RequestParameter& parameter = request.parameters[k];
    if (parameter.number != k + 1) {
      call.refusal = ExecRefusal::kParameterOrder;
      break;
    }
    if (parameter.size != call.row->sizes[k]) {
      call.refusal = ExecRefusal::kParameterSize;
      break;
    }
    std::vector<unsigned char> block(call.row->sizes[k], 0);
    if (!DecodeParameter(parameter.content, block.data(), block.size())) {
      call.refusal = ExecRefusal::kParameterContent;
      break;
    }
    call.blocks.push_back(std::move(block));
  }
  if (call.refusal != ExecRefusal::kNone) call.blocks.clear();
  return call;
}

SessionReply AdminSession::Handle(std::string_view text) {
  // Too long or malformed: the peer does not speak this protocol, and what
  // follows on the stream cannot be trusted to start a request.
  if (text.size() > kExecRequestLimit) return Failure(true);
  const std::optional<Request> request = ParseRequest(text);
  if (!request || (request->method != Method::Exec && text.size() > kRequestLimit)) return Failure(true);
  switch (request->method) {
    case Method::Ping: return Success();
    case Method::Quit: return Success(true);
    case Method::Auth: return Authenticate(*request);
    case Method::Load: return authenticated_ ? Load(*request) : Failure();
    case Method::Exec: return authenticated_ ? Exec(*request) : Failure();
  }
  return Failure(true);
}

SessionReply AdminSession::Authenticate(const Request& request) {
  // A new AUTH starts the session afresh: a failed one leaves nothing of the
  // earlier identity behind.
  authenticated_ = false;
  loaded_.clear();
  if (seams_.checkCredentials && seams_.checkCredentials(request.credentials)) {
    authenticated_ = true;
    failedAuths_ = 0;
    return Success();
  }
  ++failedAuths_;
  return Failure(failedAuths_ >= kAuthAttempts);
}

SessionReply AdminSession::Load(const Request& request) {
  loaded_.clear();
  const std::optional<std::string_view> library = KnownLibrary(request.library);
  if (!library) return Failure();
  // The authentication library is the peer's own business here: it loads
  // nothing and leaves no calls to make.
  if (*library == kAuthLibrary) return Success();
  if (!seams_.loadLibrary || !seams_.loadLibrary(*library)) return Failure();
  loaded_ = *library;
  return Success();
}

SessionReply AdminSession::Exec(const Request& request) {
  ExecCall call = ValidateExec(request, loaded_);
  if (call.refusal != ExecRefusal::kNone || !seams_.call) return Failure();
  const uint32_t result = seams_.call(*call.row, call.blocks);
  std::vector<ReturnedBlock> returned;
  for (uint32_t k = 0; k < call.row->count; ++k)
    if (call.row->returned[k]) returned.push_back({k + 1, {call.blocks[k].data(), call.blocks[k].size()}});
  std::optional<std::string> reply = ExecReply(result, returned);
  if (!reply) return Failure();
  return {std::move(*reply), false};
}

}  // namespace tw::remote
