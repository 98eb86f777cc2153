#include "engine/curl_downloader.h"

#include <curl/curl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "common/error_report.h"
#include "common/product.h"

namespace verdigo {

namespace {

constexpr char kAllowedProtocols[] = "http,https";

void InitCurlOnce() {
  // curl_global_init is not thread-safe itself; a function-local static is.
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)init;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != prefix[i]) return false;
  }
  return true;
}

bool IsHttpAddress(std::string_view url) {
  return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

std::string DescribeSizeLimit(std::uint64_t bytes) {
  constexpr std::uint64_t kMiB = 1ull << 20;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + " bytes";
}

// What one call's write callback needs and what it found.
struct BodyWriter {
  int fd = -1;
  std::uint64_t limit = 0;
  std::uint64_t written = 0;
  bool tooLarge = false;
  int writeErrno = 0;
};

// Returning less than was offered makes libcurl abandon the transfer.
size_t WriteBody(char* data, size_t size, size_t count, void* userdata) {
  auto& writer = *static_cast<BodyWriter*>(userdata);
  const size_t length = size * count;
  if (length > writer.limit - writer.written) {
    writer.tooLarge = true;
    return 0;
  }
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::write(writer.fd, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      writer.writeErrno = errno;
      return 0;
    }
    done += static_cast<size_t>(n);
  }
  writer.written += length;
  return length;
}

}  // namespace

std::string EncodeAddressForRequest(const std::string& url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(url.size());
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

struct CurlDownloader::Impl {
  DownloadSettings settings;
  CURL* curl = nullptr;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  std::string userAgent;

  explicit Impl(DownloadSettings s) : settings(s) {
    InitCurlOnce();
    curl = curl_easy_init();
    if (curl == nullptr) throw Failure("Out of memory");
    userAgent = std::string(kDisplayName) + "/" + std::string(ProgramVersion());
    SetFixedOptions();
  }

  ~Impl() { curl_easy_cleanup(curl); }

  void SetFixedOptions() {
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, settings.maxRedirects);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // every encoding libcurl decodes
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(settings.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(settings.stallTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(settings.maxBodyBytes));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
    // Signals for resolver time-outs are unsafe off the main thread.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  }

  DownloadOutcome Fetch(const std::string& url, int pageFd) {
    if (!IsHttpAddress(url)) return {false, "Only http and https addresses can be downloaded"};
    BodyWriter writer;
    writer.limit = settings.maxBodyBytes;
    writer.fd = pageFd;
    const CURLcode result = Perform(url, writer);
    if (result != CURLE_OK) return {false, DescribeFailure(result, writer)};
    return {true, {}};
  }

  CURLcode Perform(const std::string& url, BodyWriter& writer) {
    errorBuffer[0] = '\0';
    const std::string requestUrl = EncodeAddressForRequest(url);
    curl_easy_setopt(curl, CURLOPT_URL, requestUrl.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &writer);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    return result;
  }

  std::string DescribeFailure(CURLcode result, const BodyWriter& writer) const {
    if (writer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
      return "Page larger than " + DescribeSizeLimit(settings.maxBodyBytes);
    }
    if (writer.writeErrno != 0) {
      return "Could not write the page file: " + DescribeErrno(writer.writeErrno);
    }
    if (result == CURLE_HTTP_RETURNED_ERROR) {
      long status = 0;
      curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
      return "HTTP " + std::to_string(status);
    }
    if (errorBuffer[0] != '\0') return errorBuffer;
    return curl_easy_strerror(result);
  }
};

CurlDownloader::CurlDownloader(DownloadSettings settings)
    : impl_(std::make_unique<Impl>(settings)) {}

CurlDownloader::~CurlDownloader() = default;

DownloadOutcome CurlDownloader::Fetch(const std::string& url, int pageFd) {
  return impl_->Fetch(url, pageFd);
}

}  // namespace verdigo
