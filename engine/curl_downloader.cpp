#include "engine/curl_downloader.h"

#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "common/ascii_case.h"
#include "common/error_report.h"
#include "common/product.h"
#include "common/unique_fd.h"
#include "engine/request_address.h"

namespace verdigo {

namespace {

constexpr char kAllowedProtocols[] = "http,https";
// libcurl reads this much from the socket at a time.
constexpr long kReceiveBufferBytes = 512 * 1024;
// The body goes to the page file from memory in pieces this large, not in
// the small pieces libcurl hands over.
constexpr size_t kPageFileWriteBytes = 1 << 20;
// Buffers kept for the next transfers are at most this large.
constexpr size_t kLargestSpareBody = 8 << 20;

void InitCurlOnce() {
  // curl_global_init is not thread-safe itself; a function-local static is.
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)init;
}

bool IsHttpAddress(std::string_view url) {
  return StartsWithIgnoringAsciiCase(url, "http://") ||
         StartsWithIgnoringAsciiCase(url, "https://");
}

std::string DescribeSizeLimit(std::uint64_t bytes) {
  constexpr std::uint64_t kMiB = 1ull << 20;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

struct CurlDownloader::Impl {
  // One page on its way. Owned by the transfer thread from Start on.
  struct Transfer {
    Impl* owner = nullptr;
    std::uint64_t ticket = 0;
    std::string url;
    CURL* easy = nullptr;
    UniqueFd file;
    PageBuffer unwritten;        // received bytes on their way to the page file
    std::uint64_t received = 0;  // the whole body so far
    bool tooLarge = false;
    std::string writeError;
    bool paused = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
  };

  DownloadSettings settings;
  PageFiles& pageFiles;
  std::string userAgent;
  CURLM* multi = nullptr;

  // Shared between the caller's thread and the transfer thread.
  std::mutex mutex;
  std::condition_variable finishedChanged;
  std::deque<std::unique_ptr<Transfer>> incoming;
  std::map<std::uint64_t, FetchedPage> finished;
  std::vector<PageBuffer> spareBodies;
  std::uint64_t cancelledUpTo = 0;
  std::uint64_t lastStarted = 0;
  bool stopping = false;
  // The ticket the engine collects next never pauses.
  std::atomic<std::uint64_t> nextToCollect{1};
  // Bytes of bodies received and not yet collected.
  std::atomic<std::uint64_t> heldBytes{0};

  // Transfer thread only.
  std::map<CURL*, std::unique_ptr<Transfer>> active;
  std::vector<CURL*> idleHandles;
  std::thread thread;

  Impl(DownloadSettings s, PageFiles& files) : settings(s), pageFiles(files) {
    InitCurlOnce();
    multi = curl_multi_init();
    if (multi == nullptr) throw Failure("Out of memory");
    curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(settings.jobs));
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(settings.perHost));
    curl_multi_setopt(multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    userAgent = std::string(kDisplayName) + "/" + std::string(ProgramVersion());
    thread = std::thread([this] { Run(); });
  }

  ~Impl() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    curl_multi_wakeup(multi);
    thread.join();
    for (auto& [easy, transfer] : active) Drop(*transfer);
    for (CURL* easy : idleHandles) curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
  }

  // ---- The caller's side ----------------------------------------------------

  std::uint64_t Start(const std::string& url, UniqueFd pageFile) {
    auto transfer = std::make_unique<Transfer>();
    transfer->owner = this;
    transfer->url = url;
    transfer->file = std::move(pageFile);
    std::uint64_t ticket = 0;
    {
      std::lock_guard lock(mutex);
      if (!spareBodies.empty()) {
        transfer->unwritten = std::move(spareBodies.back());
        spareBodies.pop_back();
      }
      ticket = transfer->ticket = ++lastStarted;
      incoming.push_back(std::move(transfer));
    }
    curl_multi_wakeup(multi);
    return ticket;
  }

  std::optional<FetchedPage> Collect(std::uint64_t ticket, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex);
    if (!finishedChanged.wait_for(lock, wait, [&] { return finished.count(ticket) != 0; })) {
      return std::nullopt;
    }
    FetchedPage page = std::move(finished.at(ticket));
    finished.erase(ticket);
    heldBytes -= page.body.size();
    nextToCollect = ticket + 1;
    lock.unlock();
    curl_multi_wakeup(multi);  // paused transfers may go on now
    return page;
  }

  void CancelAll() {
    {
      std::lock_guard lock(mutex);
      cancelledUpTo = lastStarted;
      incoming.clear();
      for (auto& [ticket, page] : finished) heldBytes -= page.body.size();
      finished.clear();
      nextToCollect = lastStarted + 1;
    }
    curl_multi_wakeup(multi);
  }

  void Recycle(PageBuffer body) {
    if (body.IsFileMapping() || body.capacity() > kLargestSpareBody) return;
    body.Clear();
    std::lock_guard lock(mutex);
    if (spareBodies.size() < static_cast<size_t>(settings.jobs)) {
      spareBodies.push_back(std::move(body));
    }
  }

  // ---- The transfer thread --------------------------------------------------

  void Run() {
    for (;;) {
      std::deque<std::unique_ptr<Transfer>> arrivals;
      std::uint64_t cancelMark = 0;
      {
        std::lock_guard lock(mutex);
        if (stopping) return;
        arrivals.swap(incoming);
        cancelMark = cancelledUpTo;
      }
      DropCancelled(cancelMark);
      for (auto& transfer : arrivals) BeginOrFail(std::move(transfer));
      int running = 0;
      curl_multi_perform(multi, &running);
      EndFinishedTransfers();
      ResumePausedTransfers();
      curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
  }

  void BeginOrFail(std::unique_ptr<Transfer> transfer) {
    try {
      Begin(transfer);
    } catch (const std::exception& failure) {
      Publish(*transfer, {false, failure.what(), {}});
    }
  }

  // Takes `transfer` over once it is under way.
  void Begin(std::unique_ptr<Transfer>& transfer) {
    if (!IsHttpAddress(transfer->url)) {
      Publish(*transfer, {false, "Only http and https addresses can be downloaded", {}});
      return;
    }
    transfer->easy = TakeHandle();
    const std::string requestUrl = EncodeAddressForRequest(transfer->url);
    curl_easy_setopt(transfer->easy, CURLOPT_URL, requestUrl.c_str());
    curl_easy_setopt(transfer->easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(transfer->easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
    CURL* easy = transfer->easy;
    active.emplace(easy, std::move(transfer));
    curl_multi_add_handle(multi, easy);
  }

  CURL* TakeHandle() {
    if (!idleHandles.empty()) {
      CURL* easy = idleHandles.back();
      idleHandles.pop_back();
      return easy;
    }
    CURL* easy = curl_easy_init();
    if (easy == nullptr) throw Failure("Out of memory");
    SetFixedOptions(easy);
    return easy;
  }

  void SetFixedOptions(CURL* easy) const {
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, settings.maxRedirects);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");  // every encoding libcurl decodes
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(settings.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(settings.stallTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(settings.maxBodyBytes));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ReceiveBody);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    // Signals for resolver time-outs are unsafe off the main thread.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  }

  // Returning less than was offered makes libcurl abandon the transfer.
  static size_t ReceiveBody(char* data, size_t size, size_t count, void* userdata) {
    auto& transfer = *static_cast<Transfer*>(userdata);
    Impl& self = *transfer.owner;
    const size_t length = size * count;
    if (length > self.settings.maxBodyBytes - transfer.received) {
      transfer.tooLarge = true;
      return 0;
    }
    if (transfer.ticket != self.nextToCollect &&
        self.heldBytes + length > self.settings.waitingBudget) {
      transfer.paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    try {
      transfer.unwritten.Append({data, length});
      if (transfer.unwritten.size() >= kPageFileWriteBytes) WriteUnwritten(transfer);
    } catch (const Failure& failure) {
      transfer.writeError = failure.what();
      return 0;
    }
    transfer.received += length;
    self.heldBytes += length;
    return length;
  }

  static void WriteUnwritten(Transfer& transfer) {
    transfer.owner->pageFiles.Write(transfer.file, transfer.unwritten.View());
    transfer.unwritten.Clear();
  }

  void ResumePausedTransfers() {
    for (auto& [easy, transfer] : active) {
      if (!transfer->paused) continue;
      if (transfer->ticket != nextToCollect && heldBytes >= settings.waitingBudget) continue;
      transfer->paused = false;  // set again by ReceiveBody if it must wait longer
      curl_easy_pause(easy, CURLPAUSE_CONT);
    }
  }

  void EndFinishedTransfers() {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      const auto found = active.find(message->easy_handle);
      if (found == active.end()) continue;
      std::unique_ptr<Transfer> transfer = std::move(found->second);
      active.erase(found);
      End(*transfer, message->data.result);
    }
  }

  void End(Transfer& transfer, CURLcode result) {
    std::string failure;
    if (result != CURLE_OK) failure = DescribeFailure(transfer, result);
    ReleaseHandle(transfer);
    PageBuffer body;
    if (failure.empty()) failure = CompletePageFile(transfer, body);
    if (transfer.unwritten.capacity() != 0) Recycle(std::move(transfer.unwritten));
    transfer.file.Reset();
    if (failure.empty()) {
      Publish(transfer, {true, {}, std::move(body)});
      return;
    }
    heldBytes -= transfer.received;
    Publish(transfer, {false, std::move(failure), {}});
  }

  // Writes the rest of the body into the page file. A body that never left
  // memory is the page as it stands; a larger one is read where it lies, in
  // the page file's own memory, so that it is never held twice.
  static std::string CompletePageFile(Transfer& transfer, PageBuffer& body) {
    try {
      if (transfer.unwritten.size() == transfer.received) {
        transfer.owner->pageFiles.Write(transfer.file, transfer.unwritten.View());
        body = std::move(transfer.unwritten);
        return {};
      }
      WriteUnwritten(transfer);
      body = transfer.owner->pageFiles.Map(transfer.file, transfer.received);
      return {};
    } catch (const Failure& failure) {
      return std::string("Could not write the page file: ") + failure.what();
    }
  }

  std::string DescribeFailure(const Transfer& transfer, CURLcode result) const {
    if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
      return "Page larger than " + DescribeSizeLimit(settings.maxBodyBytes);
    }
    if (!transfer.writeError.empty())
      return "Could not write the page file: " + transfer.writeError;
    if (result == CURLE_HTTP_RETURNED_ERROR) {
      long status = 0;
      curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
      return "HTTP " + std::to_string(status);
    }
    if (transfer.errorBuffer[0] != '\0') return transfer.errorBuffer;
    return curl_easy_strerror(result);
  }

  void Publish(Transfer& transfer, FetchedPage page) {
    {
      std::lock_guard lock(mutex);
      if (transfer.ticket <= cancelledUpTo) {
        heldBytes -= page.body.size();
        return;
      }
      finished.emplace(transfer.ticket, std::move(page));
    }
    finishedChanged.notify_all();
  }

  void DropCancelled(std::uint64_t cancelMark) {
    for (auto it = active.begin(); it != active.end();) {
      if (it->second->ticket > cancelMark) {
        ++it;
        continue;
      }
      Drop(*it->second);
      it = active.erase(it);
    }
  }

  // Ends a transfer nobody waits for any more.
  void Drop(Transfer& transfer) {
    ReleaseHandle(transfer);
    heldBytes -= transfer.received;
  }

  void ReleaseHandle(Transfer& transfer) {
    curl_multi_remove_handle(multi, transfer.easy);
    curl_easy_setopt(transfer.easy, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(transfer.easy, CURLOPT_ERRORBUFFER, nullptr);
    idleHandles.push_back(transfer.easy);
  }
};

CurlDownloader::CurlDownloader(DownloadSettings settings, PageFiles& pageFiles)
    : impl_(std::make_unique<Impl>(settings, pageFiles)) {}

CurlDownloader::~CurlDownloader() = default;

std::uint64_t CurlDownloader::Start(const std::string& url, UniqueFd pageFile) {
  return impl_->Start(url, std::move(pageFile));
}

std::optional<FetchedPage> CurlDownloader::Collect(std::uint64_t ticket,
                                                   std::chrono::milliseconds wait) {
  return impl_->Collect(ticket, wait);
}

void CurlDownloader::CancelAll() { impl_->CancelAll(); }

void CurlDownloader::Recycle(PageBuffer body) { impl_->Recycle(std::move(body)); }

}  // namespace verdigo
