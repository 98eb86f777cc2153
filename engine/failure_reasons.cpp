#include "engine/failure_reasons.h"

namespace verdigo {

namespace {

bool IsRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsTlsFailure(CURLcode result) {
  switch (result) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
      return true;
    default:
      return false;
  }
}

std::string WithDetail(std::string reason, const std::string& detail) {
  if (!detail.empty()) reason += " (" + detail + ")";
  return reason;
}

// libcurl refuses a header of more than 300 KiB in all with a receive
// error, so one that came this far is taken for that.
constexpr size_t kLargeHeaderBytes = 200 * 1024;

// A failure while the response's header was still arriving.
std::string DescribeHeaderFailure(const TransferEnd& end) {
  // libcurl refuses a header line over its limit (100 KiB) as if memory had
  // run out. On a redirect, the line that long is the Location.
  if (end.result == CURLE_OUT_OF_MEMORY) {
    return IsRedirectStatus(end.status) ? "redirect address too long" : "response header too large";
  }
  if (end.result == CURLE_RECV_ERROR && end.headerBytes >= kLargeHeaderBytes) {
    return WithDetail("response header too large", end.detail);
  }
  // No status line (HTTP/0.9 or garbage) or one libcurl cannot read.
  if (end.result == CURLE_WEIRD_SERVER_REPLY ||
      (end.result == CURLE_UNSUPPORTED_PROTOCOL && !end.sawStatusLine)) {
    return WithDetail("not an HTTP answer", end.detail);
  }
  return {};
}

}  // namespace

std::string DescribeSizeLimit(std::uint64_t bytes) {
  constexpr std::uint64_t kMiB = 1ull << 20;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + " bytes";
}

std::string DescribeTransferFailure(const TransferEnd& end, std::uint64_t maxBodyBytes) {
  using Status = BodyDecoder::Status;
  if (end.body == Status::kTooLarge || end.result == CURLE_FILESIZE_EXCEEDED) {
    return "Page larger than " + DescribeSizeLimit(maxBodyBytes);
  }
  if (!end.writeError.empty()) return "Could not write the page file: " + end.writeError;
  if (end.body != Status::kGoing) return end.bodyReason;
  if (end.result == CURLE_HTTP_RETURNED_ERROR) return "HTTP " + std::to_string(end.status);
  if (end.result == CURLE_OK) {
    // libcurl follows a redirect only where it has somewhere to go.
    if (IsRedirectStatus(end.status))
      return "HTTP " + std::to_string(end.status) + " without a Location";
    return {};
  }
  if (!end.headerComplete) {
    if (std::string reason = DescribeHeaderFailure(end); !reason.empty()) return reason;
  }
  if (IsTlsFailure(end.result)) return "TLS failure: " + end.detail;
  return end.detail;
}

}  // namespace verdigo
