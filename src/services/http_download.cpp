#include "services/http_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

#include "common/text.h"
#include "frame/event_report.h"

namespace tw {

namespace {

// Longer URLs are no calendar address anyone typed.
constexpr size_t kUrlLimit = 8192;
constexpr const char* kWebSchemes = "http,https";

// curl_global_init is not safe to race; a function-local static runs it
// exactly once, whichever thread downloads first.
bool CurlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

bool UsableUrl(std::string_view url) {
  if (url.size() > kUrlLimit) {
    return false;
  }
  // Spaces and control bytes (NUL above all, which would cut the text
  // handed to curl) have no place in an address.
  const bool clean = std::none_of(url.begin(), url.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
  });
  return clean && (StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://"));
}

struct Sink {
  CURL* handle = nullptr;
  std::string bytes;
  bool tooLarge = false;
};

size_t Receive(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const size_t length = size * count;  // curl passes size 1
  if (length > kDownloadLimit - sink->bytes.size()) {
    sink->tooLarge = true;
    return 0;  // anything but `length` stops the transfer
  }
  try {
    if (sink->bytes.empty()) {
      // An announced length over the cap was refused before any body came.
      curl_off_t announced = -1;
      if (curl_easy_getinfo(sink->handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
          announced > 0 && static_cast<uint64_t>(announced) <= kDownloadLimit) {
        sink->bytes.reserve(static_cast<size_t>(announced));
      }
    }
    sink->bytes.append(data, length);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return length;
}

long Milliseconds(std::chrono::milliseconds span) {
  return static_cast<long>(std::clamp<std::chrono::milliseconds::rep>(span.count(), 1,
                                                                     std::numeric_limits<long>::max()));
}

bool Configure(CURL* handle, const std::string& url, const DownloadSettings& settings, Sink& sink) {
  bool ok = curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, kWebSchemes) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, kWebSchemes) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kDownloadRedirectLimit) == CURLE_OK;
  // Signals would reach other threads of the host process.
  ok = ok && curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, Milliseconds(settings.connectTimeout)) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, Milliseconds(settings.totalTimeout)) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  // Refuses an announced length over the cap before the body is read.
  ok = ok && curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kDownloadLimit)) == CURLE_OK;
  // An error page is no calendar: stop at the status line.
  ok = ok && curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Receive) == CURLE_OK;
  ok = ok && curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
  if (ok && !settings.caFile.empty()) {
    ok = curl_easy_setopt(handle, CURLOPT_CAINFO, settings.caFile.c_str()) == CURLE_OK;
  }
  if (ok && !settings.crlFile.empty()) {
    ok = curl_easy_setopt(handle, CURLOPT_CRLFILE, settings.crlFile.c_str()) == CURLE_OK;
  }
  return ok;
}

DownloadResult Failed(DownloadFailure failure, long status = 0) {
  DownloadResult result;
  result.failure = failure;
  result.httpStatus = status;
  result.result = status / 100 == 4 ? kDownloadAccessDenied : kDownloadFailed;
  return result;
}

// What a curl error stands for; the certificate failures also print the
// texts the administration tools have always shown for them.
DownloadFailure SendFailure(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return DownloadFailure::kTimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
      Print("HttpSendRequest returned: ERROR_INTERNET_INVALID_CA");
      return DownloadFailure::kCertificate;
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
      Print("HttpSendRequest returned: ERROR_INTERNET_SEC_CERT_REV_FAILED");
      return DownloadFailure::kCertificate;
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_UNSUPPORTED_PROTOCOL:  // the first URL's scheme was checked, so a redirect's
      return DownloadFailure::kRedirect;
    case CURLE_URL_MALFORMAT:
      return DownloadFailure::kBadUrl;
    default:
      return DownloadFailure::kTransfer;
  }
}

}  // namespace

DownloadResult DownloadCalendar(std::string_view url, const DownloadSettings& settings) {
  if (!UsableUrl(url)) {
    return Failed(DownloadFailure::kBadUrl);
  }
  if (!CurlReady()) {
    return Failed(DownloadFailure::kTransfer);
  }
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
  if (!handle) {
    return Failed(DownloadFailure::kTransfer);
  }
  Sink sink;
  sink.handle = handle.get();
  if (!Configure(handle.get(), std::string(url), settings, sink)) {
    return Failed(DownloadFailure::kTransfer);
  }

  const CURLcode code = curl_easy_perform(handle.get());
  long status = 0;
  if (curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) {
    status = 0;
  }
  if (code == CURLE_FILESIZE_EXCEEDED || sink.tooLarge) {
    return Failed(DownloadFailure::kTooLarge, status);
  }
  if (code == CURLE_HTTP_RETURNED_ERROR) {
    return Failed(DownloadFailure::kHttpStatus, status);
  }
  // A 4xx status read before the transfer broke still gives access denied.
  if (code != CURLE_OK) {
    return Failed(SendFailure(code), status);
  }
  if (status / 100 != 2) {
    return Failed(DownloadFailure::kHttpStatus, status);
  }
  DownloadResult result;
  result.bytes = std::move(sink.bytes);
  result.result = kDownloadSucceeded;
  result.httpStatus = status;
  result.failure = DownloadFailure::kNone;
  return result;
}

}  // namespace tw
