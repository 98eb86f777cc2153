#pragma once

#include <memory>
#include <string>

namespace verdigo::testing {

// A server for the answers a well-behaved server never gives: on 127.0.0.1,
// on a port the system picks, it reads each request's header and answers
// with the bytes registered for its path exactly as they stand (status line,
// header and framing included), then closes the connection. A path without
// bytes gets a 404; a request that does not look like HTTP (a TLS greeting)
// is answered at once with that same 404, in plain text. One connection at
// a time, each bounded by a few seconds; the destructor stops the server.
class RawHttpServer {
 public:
  RawHttpServer();
  ~RawHttpServer();
  RawHttpServer(const RawHttpServer&) = delete;
  RawHttpServer& operator=(const RawHttpServer&) = delete;

  void Answer(const std::string& path, std::string response);
  // "http://127.0.0.1:PORT" followed by `path`.
  std::string Url(const std::string& path) const;
  int Port() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace verdigo::testing
