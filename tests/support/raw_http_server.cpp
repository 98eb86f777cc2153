#include "tests/support/raw_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "common/unique_fd.h"

namespace verdigo::testing {

namespace {

constexpr int kConnectionTimeoutMs = 5000;
constexpr size_t kLongestRequest = 64 * 1024;
constexpr char kNotFound[] =
    "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

// "GET /path HTTP/1.1": the path; "" for anything else.
std::string PathOf(const std::string& request) {
  if (request.rfind("GET ", 0) != 0) return {};
  const size_t end = request.find(' ', 4);
  return end == std::string::npos ? std::string() : request.substr(4, end - 4);
}

bool LooksLikeHttp(const std::string& request) {
  return !request.empty() && request[0] >= 'A' && request[0] <= 'Z';
}

}  // namespace

struct RawHttpServer::Impl {
  UniqueFd listener;
  int stopPipe[2] = {-1, -1};
  int port = 0;
  std::mutex mutex;
  std::map<std::string, std::string> answers;
  std::thread thread;

  Impl() {
    listener = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!listener.valid() ||
        ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), 16) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(stopPipe, O_CLOEXEC) != 0) {
      throw std::runtime_error("RawHttpServer: cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    thread = std::thread([this] { Serve(); });
  }

  ~Impl() {
    const char stop = 's';
    (void)!::write(stopPipe[1], &stop, 1);
    thread.join();
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
  }

  // Waits for `fd` to become readable, or the stop signal; false on stop,
  // time-out or error.
  bool WaitReadable(int fd) const {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
    return ::poll(fds, 2, kConnectionTimeoutMs) > 0 && (fds[1].revents & POLLIN) == 0 &&
           (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
  }

  void Serve() {
    while (!Stopping()) {
      if (!WaitReadable(listener.get())) continue;
      const UniqueFd connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (connection.valid()) AnswerOne(connection.get());
    }
  }

  bool Stopping() const {
    pollfd fd{stopPipe[0], POLLIN, 0};
    return ::poll(&fd, 1, 0) != 0;
  }

  void AnswerOne(int connection) {
    const std::string request = ReadRequest(connection);
    std::string response = kNotFound;
    {
      std::lock_guard lock(mutex);
      const auto found = answers.find(PathOf(request));
      if (found != answers.end()) response = found->second;
    }
    const timeval timeout{kConnectionTimeoutMs / 1000, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    for (size_t sent = 0; sent < response.size();) {
      const ssize_t n =
          ::send(connection, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
    ::shutdown(connection, SHUT_WR);
  }

  // The request up to the end of its header, or whatever came first if it
  // does not look like HTTP.
  std::string ReadRequest(int connection) const {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kLongestRequest) {
      if (!WaitReadable(connection)) break;
      const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
      if (!LooksLikeHttp(request)) break;
    }
    return request;
  }
};

RawHttpServer::RawHttpServer() {
  ::setenv("no_proxy", "127.0.0.1", 1);
  ::setenv("NO_PROXY", "127.0.0.1", 1);
  impl_ = std::make_unique<Impl>();
}

RawHttpServer::~RawHttpServer() = default;

void RawHttpServer::Answer(const std::string& path, std::string response) {
  std::lock_guard lock(impl_->mutex);
  impl_->answers[path] = std::move(response);
}

std::string RawHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + path;
}

int RawHttpServer::Port() const { return impl_->port; }

}  // namespace verdigo::testing
