#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace verdigo::testing {

// An HTTP server for tests, listening on 127.0.0.1 on a port the system
// picks, answering from a background thread. Routes may be added at any time;
// a path without a route answers 404. The destructor releases stalled
// responses and stops the server.
//
// Constructing one also sets no_proxy/NO_PROXY to 127.0.0.1 for this process
// (and the processes it starts), so that clients reach it directly.
class TestHttpServer {
 public:
  // One request as the server saw it; the path is percent-decoded.
  // As a proxy sees it, the path is the whole address asked for (the
  // "host:port" of a CONNECT, which is refused).
  struct SeenRequest {
    std::string path;
    std::string userAgent;
    std::string acceptEncoding;
    int clientPort = 0;
    std::string host;  // the Host header
    std::vector<std::pair<std::string, std::string>> headers;
    // The value of header `name` (any case), empty when it was not sent.
    std::string Header(std::string_view name) const;
  };

  // One answer of a path that answers in turn.
  struct Answer {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool cutShort = false;  // promises more than the body, then closes
  };

  TestHttpServer();
  // The same server speaking HTTPS, with the test certificate: self-signed
  // for 127.0.0.1, so a client trusts it only when told to.
  struct OverTls {};
  explicit TestHttpServer(OverTls);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  // Answers `path` with `body`, sent as it stands with a Content-Length.
  void Serve(const std::string& path, std::string body,
             const std::string& contentType = "text/html", int status = 200);
  // Answers `path` with `body` (text/html) after waiting `delay`.
  void ServeAfter(const std::string& path, std::string body, std::chrono::milliseconds delay,
                  int status = 200);
  // Answers `path` with `body` gzip-compressed (Content-Encoding: gzip).
  void ServeGzip(const std::string& path, const std::string& body,
                 const std::string& contentType = "text/html");
  // Answers `path` with a 302 to `location` (a path or a whole address).
  void Redirect(const std::string& path, const std::string& location);
  // Sends the headers of a 200 answer, then nothing more until the server is
  // destroyed.
  void Stall(const std::string& path);
  // Promises a body of `promised` bytes, sends `sent` and closes the
  // connection.
  void CloseMidBody(const std::string& path, std::size_t promised, std::string sent);

  // Answers the requests of `path` with `answers` in turn, the last one for
  // every request after.
  void ServeInTurn(const std::string& path, std::vector<Answer> answers);

  // The test certificate (PEM), and its private key: a PEM file that holds
  // no certificate.
  static std::string CertificateFile();
  static std::string PrivateKeyFile();

  int Port() const;
  // "http://127.0.0.1:PORT" (https when over TLS) followed by `path`.
  std::string Url(const std::string& path) const;
  // Every request received so far, in order.
  std::vector<SeenRequest> Requests() const;

 private:
  explicit TestHttpServer(bool overTls);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace verdigo::testing
