// The downloader against answers no well-behaved server gives: every page
// comes whole or fails with a reason in the program's words.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/curl_downloader.h"
#include "engine/extract_links.h"
#include "tests/support/compress.h"
#include "tests/support/engine_recorders.h"
#include "tests/support/raw_http_server.h"
#include "tests/support/scoped_temp_dir.h"

namespace verdigo {
namespace {

using testing::Compress;

// A page of 200 links: 201 rows when it comes whole.
std::string PageOfLinks() {
  std::string page = "<html>";
  for (int i = 0; i < 200; ++i) page += "<a href=\"p" + std::to_string(i) + ".html\">link</a>\n";
  return page + "</html>";
}
constexpr size_t kWholePageRows = 201;

std::string Head(const std::string& statusAndHeaders) {
  return "HTTP/1.1 " + statusAndHeaders + "Connection: close\r\n\r\n";
}
std::string WithLength(const std::string& headers, const std::string& body) {
  return Head("200 OK\r\n" + headers + "Content-Length: " + std::to_string(body.size()) + "\r\n") +
         body;
}
std::string Chunked(const std::string& headers, const std::string& body) {
  std::string response = Head("200 OK\r\n" + headers + "Transfer-Encoding: chunked\r\n");
  static constexpr char kHex[] = "0123456789abcdef";
  for (size_t at = 0; at < body.size(); at += 100) {
    const std::string chunk = body.substr(at, 100);
    response +=
        std::string(1, kHex[chunk.size() >> 4]) + kHex[chunk.size() & 15] + "\r\n" + chunk + "\r\n";
  }
  return response + "0\r\n\r\n";
}
std::string EndedByClosing(const std::string& headers, const std::string& body) {
  return Head("200 OK\r\n" + headers) + body;
}

struct Case {
  std::string path;
  std::string response;
  size_t rows;              // when the page comes whole
  std::string reason;       // when it fails
  bool prefixOnly = false;  // libcurl's words follow the program's
};

class HostileServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static const testing::ScopedTempDir base;
    ASSERT_EQ(::setenv("TEMP", base.path().c_str(), 1), 0);
  }

  void SetUp() override { settings.connectTimeout = std::chrono::seconds(5); }

  // Each case's page on its own, at its path with ".html" added (the engine
  // ends a path without one with "/"); a failed case names its path.
  void ExpectEach(const std::vector<Case>& cases, const std::string& scheme = "http") {
    for (const Case& c : cases) server.Answer(c.path + ".html", c.response);
    CurlDownloader downloader(settings);
    ExtractLinks engine(downloader, reporter);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.path);
      results.rows.clear();
      reporter.notFound.clear();
      const std::string address =
          scheme + "://127.0.0.1:" + std::to_string(server.Port()) + c.path + ".html";
      const bool found = engine.GetUrls(results, address, 1);
      EXPECT_EQ(found, c.reason.empty());
      EXPECT_EQ(results.rows.size(), c.reason.empty() ? c.rows : 0u);
      if (c.reason.empty()) {
        EXPECT_THAT(reporter.notFound, ::testing::IsEmpty());
        continue;
      }
      ASSERT_EQ(reporter.notFound.size(), 1u);
      const std::string& reason = reporter.notFound[0].reason;
      if (c.prefixOnly) {
        EXPECT_THAT(reason, ::testing::StartsWith(c.reason));
        EXPECT_GT(reason.size(), c.reason.size());
      } else {
        EXPECT_EQ(reason, c.reason);
      }
    }
    EXPECT_THAT(reporter.errorReports, ::testing::IsEmpty());
  }

  testing::RawHttpServer server;
  DownloadSettings settings;
  testing::RecordingReporter reporter;
  testing::VectorSink results;
};

// Every coding under every framing, whole and cut in half: a stream that
// stops before its end is never a page, whether the framing says the body
// was whole (its length, its last chunk, the connection closed) or not.
TEST_F(HostileServer, CompressedBodiesAreWholeOrCutShort) {
  const std::string page = PageOfLinks();
  struct Coding {
    const char* name;
    const char* header;
  };
  const Coding codings[] = {{"gzip", "gzip"},
                            {"deflate", "deflate"},
                            {"raw-deflate", "deflate"},
                            {"br", "br"},
                            {"zstd", "zstd"}};
  struct Framing {
    const char* name;
    std::string (*frame)(const std::string&, const std::string&);
  };
  const Framing framings[] = {
      {"length", WithLength}, {"chunked", Chunked}, {"closed", EndedByClosing}};
  std::vector<Case> cases;
  for (const Coding& coding : codings) {
    const std::string body = Compress(coding.name, page);
    const std::string header = std::string("Content-Encoding: ") + coding.header + "\r\n";
    for (const Framing& framing : framings) {
      const std::string path = std::string("/") + coding.name + "/" + framing.name;
      cases.push_back({path + "/whole", framing.frame(header, body), kWholePageRows, ""});
      cases.push_back({path + "/half", framing.frame(header, body.substr(0, body.size() / 2)), 0,
                       "compressed body cut short"});
    }
  }
  ExpectEach(cases);
}

TEST_F(HostileServer, CodingsAreReadAsBrowsersReadThem) {
  const std::string page = PageOfLinks();
  const std::string gzip = Compress("gzip", page);
  ExpectEach({
      // Only the final response's Content-Encoding counts, not a redirect's.
      {"/moved",
       Head(
           "302 Found\r\nLocation: /plain.html\r\nContent-Encoding: gzip\r\nContent-Length: 0\r\n"),
       kWholePageRows, ""},
      {"/plain", WithLength("", page), kWholePageRows, ""},
      {"/x-gzip", WithLength("Content-Encoding: x-gzip\r\n", gzip), kWholePageRows, ""},
      {"/GZIP", WithLength("Content-Encoding: GZIP\r\n", gzip), kWholePageRows, ""},
      {"/identity", WithLength("Content-Encoding: identity\r\n", page), kWholePageRows, ""},
      {"/stacked", WithLength("Content-Encoding: gzip, br\r\n", Compress("br", gzip)),
       kWholePageRows, ""},
      {"/two-headers",
       WithLength("Content-Encoding: gzip\r\nContent-Encoding: zstd\r\n", Compress("zstd", gzip)),
       kWholePageRows, ""},
      {"/two-members",
       WithLength("Content-Encoding: gzip\r\n", gzip + Compress("gzip", "<a href=\"last.html\">")),
       kWholePageRows + 1, ""},
      {"/empty", WithLength("Content-Encoding: gzip\r\n", ""), 1, ""},
      {"/gzip-then-junk", WithLength("Content-Encoding: gzip\r\n", gzip + "junk"), 0,
       "compressed body damaged"},
      {"/zstd-then-junk", WithLength("Content-Encoding: zstd\r\n", Compress("zstd", page) + "junk"),
       0, "compressed body damaged"},
      {"/br-then-junk", WithLength("Content-Encoding: br\r\n", Compress("br", page) + "junk"), 0,
       "compressed body damaged"},
      {"/not-gzip", WithLength("Content-Encoding: gzip\r\n", page), 0, "compressed body damaged"},
      {"/unknown", WithLength("Content-Encoding: compress\r\n", page), 0,
       "content encoding \"compress\" not supported"},
      {"/many-codings", WithLength("Content-Encoding: gzip, gzip, gzip, gzip\r\n", page), 0,
       "content encoding \"gzip, gzip, gzip, gzip\" not supported"},
      {"/long-coding", WithLength("Content-Encoding: " + std::string(100, 'c') + "\r\n", page), 0,
       "content encoding \"" + std::string(60, 'c') + "...\" not supported"},
  });
}

// A zstd frame that decodes to nothing, `size` bytes long.
std::string SkippableZstdFrame(std::uint32_t size) {
  std::string frame = "\x50\x2A\x4D\x18";
  for (int shift = 0; shift < 32; shift += 8) frame += static_cast<char>(size >> shift & 0xFF);
  return frame + std::string(size, '\0');
}

// The decoded size is what the cap weighs, however small the body was sent;
// a stream inside another is bounded too.
TEST_F(HostileServer, ADecompressionBombIsAPageTooLarge) {
  settings.maxBodyBytes = 1 << 20;
  const std::string bomb(settings.maxBodyBytes + 1, ' ');
  const std::string nothingInside = SkippableZstdFrame(3 << 20);
  ExpectEach({
      {"/exact", WithLength("Content-Encoding: gzip\r\n", Compress("gzip", bomb.substr(1))), 1, ""},
      {"/gzip", WithLength("Content-Encoding: gzip\r\n", Compress("gzip", bomb)), 0,
       "Page larger than 1 MiB"},
      {"/stacked",
       WithLength("Content-Encoding: gzip, zstd\r\n", Compress("zstd", Compress("gzip", bomb))), 0,
       "Page larger than 1 MiB"},
      {"/inner-bomb",
       WithLength("Content-Encoding: zstd, gzip\r\n", Compress("gzip", nothingInside)), 0,
       "Page larger than 1 MiB"},
      {"/inner-small",
       WithLength(
           "Content-Encoding: zstd, gzip\r\n",
           Compress("gzip", SkippableZstdFrame(1 << 20) + Compress("zstd", "<a href=\"x.html\">"))),
       2, ""},
  });
}

// Header lines of 1000 bytes, 400 KB of them.
std::string ManyHeaderLines() {
  std::string lines;
  for (int i = 0; i < 400; ++i)
    lines += "X-Line-" + std::to_string(i) + ": " + std::string(1000, 'v') + "\r\n";
  return lines;
}

TEST_F(HostileServer, FaultsAreNamedInTheProgramsWords) {
  const std::string body = "<a href=\"x.html\">";
  ExpectEach({
      {"/302", Head("302 Found\r\nContent-Length: 0\r\n"), 0, "HTTP 302 without a Location"},
      {"/301-empty", Head("301 Moved\r\nLocation: \r\nContent-Length: 0\r\n"), 0,
       "HTTP 301 without a Location"},
      {"/303", Head("303 See Other\r\nContent-Length: 0\r\n"), 0, "HTTP 303 without a Location"},
      {"/307", Head("307 Temporary\r\nContent-Length: 0\r\n"), 0, "HTTP 307 without a Location"},
      {"/308", Head("308 Permanent\r\nContent-Length: 0\r\n"), 0, "HTTP 308 without a Location"},
      {"/300", Head("300 Choices\r\nContent-Length: 17\r\n") + body, 2, ""},
      {"/long-header", WithLength("X-Long: " + std::string(1 << 20, 'h') + "\r\n", body), 0,
       "response header too large"},
      {"/many-headers", WithLength(ManyHeaderLines(), body), 0, "response header too large (",
       true},
      {"/long-location",
       Head("302 Found\r\nLocation: /" + std::string(200 * 1024, 'l') +
            "\r\nContent-Length: 0\r\n"),
       0, "redirect address too long"},
      {"/garbage", "HELLO THERE\r\n\r\n" + body, 0, "not an HTTP answer (", true},
      {"/http-0.9", body, 0, "not an HTTP answer (", true},
      {"/bad-version", "HTTP/7.1 200 OK\r\nContent-Length: 17\r\n\r\n" + body, 0,
       "not an HTTP answer (", true},
  });
}

TEST_F(HostileServer, ATlsFailureIsNamedAsSuch) {
  ExpectEach({{"/tls", "", 0, "TLS failure: ", true}}, "https");
}

}  // namespace
}  // namespace verdigo
