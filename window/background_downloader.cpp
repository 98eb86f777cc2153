#include "window/background_downloader.h"

#include <QEventLoop>
#include <QMetaObject>
#include <exception>
#include <thread>

namespace verdigo {

DownloadOutcome BackgroundDownloader::Fetch(const std::string& url, int pageFd) {
  QEventLoop loop;
  DownloadOutcome outcome;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      outcome = inner_.Fetch(url, pageFd);
    } catch (...) {
      failure = std::current_exception();
    }
    // Queued, so the loop gets it even if it has not started yet.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  if (failure) std::rethrow_exception(failure);
  return outcome;
}

}  // namespace verdigo
