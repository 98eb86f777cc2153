#include "tests/support/test_http_server.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "tests/support/compress.h"

namespace verdigo::testing {

namespace {

enum class RouteKind { kBody, kRedirect, kStall, kCloseMidBody, kInTurn };

struct Route {
  RouteKind kind = RouteKind::kBody;
  int status = 200;
  std::string contentType = "text/html";
  std::string contentEncoding;
  std::shared_ptr<const std::string> body = std::make_shared<std::string>();
  std::string location;
  std::size_t promised = 0;
  std::chrono::milliseconds delay{0};
  std::shared_ptr<std::vector<TestHttpServer::Answer>> answers;
  std::shared_ptr<size_t> answered = std::make_shared<size_t>(0);
};

}  // namespace

struct TestHttpServer::Impl {
  std::unique_ptr<httplib::Server> server;
  bool overTls = false;
  int port = 0;
  std::thread thread;

  mutable std::mutex mutex;
  std::condition_variable stopping;
  bool isStopping = false;
  std::map<std::string, Route> routes;
  std::vector<SeenRequest> requests;

  explicit Impl(bool tls) : overTls(tls) {
    if (tls) {
      auto secure =
          std::make_unique<httplib::SSLServer>(CertificateFile().c_str(), PrivateKeyFile().c_str());
      if (!secure->is_valid())
        throw std::runtime_error("TestHttpServer: test certificate unusable");
      server = std::move(secure);
    } else {
      server = std::make_unique<httplib::Server>();
    }
    server->Get(".*",
                [this](const httplib::Request& req, httplib::Response& res) { Answer(req, res); });
    // As a proxy it opens no tunnel: a CONNECT is recorded and refused.
    server->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (req.method != "CONNECT") return httplib::Server::HandlerResponse::Unhandled;
      std::lock_guard lock(mutex);
      requests.push_back(Seen(req));
      res.status = 403;
      return httplib::Server::HandlerResponse::Handled;
    });
    // Bounds how long a worker waits on an idle kept-alive connection when
    // the server stops.
    server->set_keep_alive_timeout(1);
    port = server->bind_to_any_port("127.0.0.1");
    if (port <= 0) throw std::runtime_error("TestHttpServer: cannot bind to 127.0.0.1");
    thread = std::thread([this] { server->listen_after_bind(); });
    // stop() does nothing until the server runs, so wait for that.
    while (!server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  ~Impl() {
    {
      std::lock_guard lock(mutex);
      isStopping = true;
    }
    stopping.notify_all();
    server->stop();
    thread.join();
  }

  void AddRoute(const std::string& path, Route route) {
    std::lock_guard lock(mutex);
    routes[path] = std::move(route);
  }

  static SeenRequest Seen(const httplib::Request& req) {
    SeenRequest seen{req.path,
                     req.get_header_value("User-Agent"),
                     req.get_header_value("Accept-Encoding"),
                     req.remote_port,
                     req.get_header_value("Host"),
                     {}};
    for (const auto& [name, value] : req.headers) seen.headers.emplace_back(name, value);
    return seen;
  }

  void Answer(const httplib::Request& req, httplib::Response& res) {
    Route route;
    {
      std::lock_guard lock(mutex);
      requests.push_back(Seen(req));
      const auto found = routes.find(req.path);
      if (found == routes.end()) {
        res.status = 404;
        return;
      }
      route = found->second;
      if (route.kind == RouteKind::kInTurn) {
        AnswerInTurn(route, res);
        return;
      }
    }
    if (route.delay.count() > 0) {
      std::unique_lock lock(mutex);
      stopping.wait_for(lock, route.delay, [this] { return isStopping; });
    }
    res.status = route.status;
    switch (route.kind) {
      case RouteKind::kBody:
        AnswerWithBody(route, res);
        break;
      case RouteKind::kRedirect:
        res.set_redirect(route.location, 302);
        break;
      case RouteKind::kStall:
        res.set_content_provider(1, route.contentType, [this](size_t, size_t, httplib::DataSink&) {
          std::unique_lock lock(mutex);
          stopping.wait(lock, [this] { return isStopping; });
          return false;
        });
        break;
      case RouteKind::kInTurn:  // answered above
        break;
      case RouteKind::kCloseMidBody:
        res.set_content_provider(route.promised, route.contentType,
                                 [body = route.body](size_t, size_t, httplib::DataSink& sink) {
                                   sink.write(body->data(), body->size());
                                   return false;  // drops the connection with the promise unkept
                                 });
        break;
    }
  }

  // Called with the mutex held: the answers' turn is shared by all workers.
  static void AnswerInTurn(const Route& route, httplib::Response& res) {
    const size_t turn = std::min(*route.answered, route.answers->size() - 1);
    ++*route.answered;
    const TestHttpServer::Answer& answer = (*route.answers)[turn];
    res.status = answer.status;
    for (const auto& [name, value] : answer.headers) res.set_header(name, value);
    if (answer.body.empty() && !answer.cutShort) {
      res.set_content("", "text/html");
      return;
    }
    auto body = std::make_shared<const std::string>(answer.body);
    const size_t promised = body->size() + (answer.cutShort ? 10 : 0);
    res.set_content_provider(promised, "text/html",
                             [body, promised](size_t offset, size_t, httplib::DataSink& sink) {
                               if (offset < body->size()) {
                                 sink.write(body->data() + offset, body->size() - offset);
                               }
                               return offset < body->size() || body->size() == promised;
                             });
  }

  // A provider with a known length keeps the server from compressing the body
  // on its own, so the client receives exactly the bytes registered.
  static void AnswerWithBody(const Route& route, httplib::Response& res) {
    if (!route.contentEncoding.empty()) res.set_header("Content-Encoding", route.contentEncoding);
    if (route.body->empty()) {
      res.set_content("", route.contentType);
      return;
    }
    res.set_content_provider(
        route.body->size(), route.contentType,
        [body = route.body](size_t offset, size_t length, httplib::DataSink& sink) {
          sink.write(body->data() + offset, length);
          return true;
        });
  }
};

TestHttpServer::TestHttpServer() : TestHttpServer(false) {}

TestHttpServer::TestHttpServer(OverTls) : TestHttpServer(true) {}

TestHttpServer::TestHttpServer(bool overTls) {
  ::setenv("no_proxy", "127.0.0.1", 1);
  ::setenv("NO_PROXY", "127.0.0.1", 1);
  impl_ = std::make_unique<Impl>(overTls);
}

std::string TestHttpServer::CertificateFile() { return VERDIGO_TEST_TLS_DIR "/cert.pem"; }

std::string TestHttpServer::PrivateKeyFile() { return VERDIGO_TEST_TLS_DIR "/key.pem"; }

TestHttpServer::~TestHttpServer() = default;

void TestHttpServer::Serve(const std::string& path, std::string body,
                           const std::string& contentType, int status) {
  Route route;
  route.status = status;
  route.contentType = contentType;
  route.body = std::make_shared<const std::string>(std::move(body));
  impl_->AddRoute(path, std::move(route));
}

void TestHttpServer::ServeAfter(const std::string& path, std::string body,
                                std::chrono::milliseconds delay, int status) {
  Route route;
  route.status = status;
  route.delay = delay;
  route.body = std::make_shared<const std::string>(std::move(body));
  impl_->AddRoute(path, std::move(route));
}

void TestHttpServer::ServeGzip(const std::string& path, const std::string& body,
                               const std::string& contentType) {
  Route route;
  route.contentType = contentType;
  route.contentEncoding = "gzip";
  route.body = std::make_shared<const std::string>(Compress("gzip", body));
  impl_->AddRoute(path, std::move(route));
}

void TestHttpServer::Redirect(const std::string& path, const std::string& location) {
  Route route;
  route.kind = RouteKind::kRedirect;
  route.location = location;
  impl_->AddRoute(path, std::move(route));
}

void TestHttpServer::Stall(const std::string& path) {
  Route route;
  route.kind = RouteKind::kStall;
  impl_->AddRoute(path, std::move(route));
}

void TestHttpServer::CloseMidBody(const std::string& path, std::size_t promised, std::string sent) {
  if (sent.size() >= promised) throw std::invalid_argument("CloseMidBody: sent must be short");
  Route route;
  route.kind = RouteKind::kCloseMidBody;
  route.promised = promised;
  route.body = std::make_shared<const std::string>(std::move(sent));
  impl_->AddRoute(path, std::move(route));
}

void TestHttpServer::ServeInTurn(const std::string& path, std::vector<Answer> answers) {
  if (answers.empty()) throw std::invalid_argument("ServeInTurn: no answers");
  Route route;
  route.kind = RouteKind::kInTurn;
  route.answers = std::make_shared<std::vector<Answer>>(std::move(answers));
  impl_->AddRoute(path, std::move(route));
}

std::string TestHttpServer::SeenRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key.size() == name.size() &&
        std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        })) {
      return value;
    }
  }
  return {};
}

int TestHttpServer::Port() const { return impl_->port; }

std::string TestHttpServer::Url(const std::string& path) const {
  return (impl_->overTls ? "https://127.0.0.1:" : "http://127.0.0.1:") +
         std::to_string(impl_->port) + path;
}

std::vector<TestHttpServer::SeenRequest> TestHttpServer::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

}  // namespace verdigo::testing
