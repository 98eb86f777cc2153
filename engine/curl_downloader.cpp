#include "engine/curl_downloader.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <new>
#include <string_view>
#include <thread>
#include <vector>

#include "common/ascii_case.h"
#include "common/error_report.h"
#include "common/product.h"
#include "common/unique_fd.h"
#include "engine/body_decoder.h"
#include "engine/failure_reasons.h"
#include "engine/fetch_scheduler.h"
#include "engine/request_address.h"
#include "engine/response_head.h"

namespace verdigo {

namespace {

constexpr char kAllowedProtocols[] = "http,https";
// libcurl reads up to this much from the socket at a time, in a buffer of
// each transfer's own: the buffers of all transfers share this sum, each
// between 16 KiB (libcurl's own size) and 512 KiB.
constexpr long kReceiveBuffersBytes = 64l << 20;
constexpr long kSmallestReceiveBuffer = 16 * 1024;
constexpr long kLargestReceiveBuffer = 512 * 1024;
// The body goes to the page file from memory in pieces this large, not in
// the small pieces libcurl hands over.
constexpr size_t kPageFileWriteBytes = 1 << 20;
// Buffers kept for the next transfers are at most this large, and this
// large all together.
constexpr size_t kLargestSpareBody = 8 << 20;
constexpr size_t kSpareBodiesBytes = 64 << 20;
// The longest the transfer thread sleeps: it looks again at least this often.
constexpr int kLongestPollMs = 1000;

long ReceiveBufferBytes(int jobs) {
  return std::clamp(kReceiveBuffersBytes / std::max(jobs, 1), kSmallestReceiveBuffer,
                    kLargestReceiveBuffer);
}

// Throws Failure when a call of the multi interface failed.
void CheckMulti(CURLMcode code, const char* what) {
  if (code != CURLM_OK) throw Failure(std::string(what) + ": " + curl_multi_strerror(code));
}

void InitCurlOnce() {
  // curl_global_init is not thread-safe itself; a function-local static is.
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)init;
}

bool IsHttpAddress(std::string_view url) {
  return StartsWithIgnoringAsciiCase(url, "http://") ||
         StartsWithIgnoringAsciiCase(url, "https://");
}

}  // namespace

struct CurlDownloader::Impl {
  // One page on its way, from Start until it is published.
  struct Transfer {
    Impl* owner = nullptr;
    std::uint64_t ticket = 0;
    std::string url;
    CURL* easy = nullptr;
    UniqueFd file;
    ResponseHead head;
    std::unique_ptr<BodyDecoder> decoder;  // made when the body starts
    PageBuffer unwritten;                  // decoded bytes on their way to the page file
    std::uint64_t received = 0;            // the whole decoded body so far, of this try
    std::string writeError;
    bool paused = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
  };

  // Who owns what. The caller's thread (Start, Collect, CancelAll, Recycle;
  // one thread at a time) and the transfer thread (Run and all it calls)
  // share only what `mutex` guards and the atomics. A Transfer belongs
  // to the caller until Start queues it in `incoming`, then to the transfer
  // thread alone (in `waiting` or `active`) until it is published.

  // Set in the constructor, read-only after.
  const DownloadSettings settings;
  PageFiles& pageFiles;
  Clock& clock;
  std::string userAgent;
  curl_slist* headers = nullptr;
  CURLSH* cookies = nullptr;  // the cookies of all transfers, when a cookie file is given
  long receiveBufferBytes = 0;
  CURLM* multi = nullptr;  // curl_multi_wakeup from any thread; all else on the transfer thread

  // Guarded by `mutex`.
  std::mutex mutex;
  std::condition_variable finishedChanged;
  std::deque<std::unique_ptr<Transfer>> incoming;
  std::map<std::uint64_t, FetchedPage> finished;
  std::vector<PageBuffer> spareBodies;
  size_t spareBytes = 0;
  std::uint64_t cancelledUpTo = 0;
  std::uint64_t lastStarted = 0;
  bool stopping = false;

  // Written by the caller, read by the transfer thread: the ticket the
  // engine collects next never pauses and never waits for a free place.
  std::atomic<std::uint64_t> nextToCollect{1};
  // Bytes of bodies received and not yet collected; both threads change it.
  std::atomic<std::uint64_t> heldBytes{0};
  // Set by the transfer thread when a transfer may be paused: only then does
  // a collected page wake it, to let paused transfers go on.
  std::atomic<bool> anyPaused{false};

  // The transfer thread's own.
  FetchScheduler scheduler;
  std::map<std::uint64_t, std::unique_ptr<Transfer>> waiting;  // for their turn or a retry
  std::map<CURL*, std::unique_ptr<Transfer>> active;
  std::vector<CURL*> idleHandles;
  std::thread thread;

  Impl(DownloadSettings s, PageFiles& files, Clock& c)
      : settings(std::move(s)), pageFiles(files), clock(c), scheduler(settings, clock) {
    InitCurlOnce();
    userAgent = settings.userAgent.empty()
                    ? std::string(kDisplayName) + "/" + std::string(ProgramVersion())
                    : settings.userAgent;
    receiveBufferBytes = ReceiveBufferBytes(settings.jobs);
    try {
      SetUpRequestHeaders();
      SetUpMulti();
      SetUpCookies();
    } catch (...) {
      CleanUpCurl();
      throw;
    }
    thread = std::thread([this] { Run(); });
  }

  ~Impl() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    (void)curl_multi_wakeup(multi);  // failing, the thread still looks within a second
    thread.join();
    for (auto& [easy, transfer] : active) Drop(*transfer);
    CleanUpCurl();
  }

  // The encodings the decoder reads, unless the user asked for others.
  void SetUpRequestHeaders() {
    const bool ownAcceptEncoding = std::any_of(
        settings.headers.begin(), settings.headers.end(),
        [](const std::string& h) { return StartsWithIgnoringAsciiCase(h, "Accept-Encoding:"); });
    std::vector<std::string> lines;
    if (!ownAcceptEncoding) lines.emplace_back(AcceptEncodingHeader());
    lines.insert(lines.end(), settings.headers.begin(), settings.headers.end());
    for (const std::string& header : lines) {
      curl_slist* longer = curl_slist_append(headers, header.c_str());
      if (longer == nullptr) throw Failure("Out of memory");
      headers = longer;
    }
  }

  void SetUpMulti() {
    multi = curl_multi_init();
    if (multi == nullptr) throw Failure("Out of memory");
    // The scheduler keeps the limits; libcurl's own leave room for the one
    // page that may go past them, the one collected next, so that libcurl
    // never queues it behind transfers paused until it comes.
    CheckMulti(curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS,
                                 static_cast<long>(settings.jobs) + 1),
               "CURLMOPT_MAX_TOTAL_CONNECTIONS");
    CheckMulti(curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS,
                                 static_cast<long>(settings.perHost) + 1),
               "CURLMOPT_MAX_HOST_CONNECTIONS");
    CheckMulti(curl_multi_setopt(multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX),
               "CURLMOPT_PIPELINING");
  }

  // The cookie file is read once, into the jar all transfers share, so that
  // a cookie a page sets is sent to later pages and no later transfer reads
  // the file over it again.
  void SetUpCookies() {
    if (settings.cookieFile.empty()) return;
    cookies = curl_share_init();
    if (cookies == nullptr ||
        curl_share_setopt(cookies, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) != CURLSHE_OK) {
      throw Failure("Out of memory");
    }
    CURL* easy = TakeHandle();
    idleHandles.push_back(easy);
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, settings.cookieFile.c_str());
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, "RELOAD");
  }

  void CleanUpCurl() {
    for (CURL* easy : idleHandles) curl_easy_cleanup(easy);
    idleHandles.clear();
    if (multi != nullptr) (void)curl_multi_cleanup(multi);  // nothing left to do on failure
    if (cookies != nullptr) curl_share_cleanup(cookies);
    curl_slist_free_all(headers);
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
        spareBytes -= transfer->unwritten.capacity();
      }
      ticket = transfer->ticket = ++lastStarted;
      incoming.push_back(std::move(transfer));
    }
    (void)curl_multi_wakeup(multi);  // failing, the thread still looks within a second
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
    // Paused transfers may go on now (or, the wake-up failing, within a second).
    if (anyPaused) (void)curl_multi_wakeup(multi);
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
    (void)curl_multi_wakeup(multi);  // failing, the thread still looks within a second
  }

  void Recycle(PageBuffer body) {
    if (body.IsFileMapping() || body.capacity() > kLargestSpareBody) return;
    body.Clear();
    std::lock_guard lock(mutex);
    if (spareBodies.size() < static_cast<size_t>(settings.jobs) &&
        spareBytes + body.capacity() <= kSpareBodiesBytes) {
      spareBytes += body.capacity();
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
      for (auto& transfer : arrivals) Admit(std::move(transfer));
      try {
        StartDuePages();
        int running = 0;
        CheckMulti(curl_multi_perform(multi, &running), "curl_multi_perform");
        const bool ended = EndFinishedTransfers();
        ResumePausedTransfers();
        // A page that ended makes room for the next at once: no need to
        // ask the sockets first.
        if (ended) continue;
        CheckMulti(curl_multi_poll(multi, nullptr, 0, PollTimeoutMs(), nullptr), "curl_multi_poll");
      } catch (const Failure& failure) {
        // The multi handle itself failed: no page under way can end well.
        FailAll(failure.what());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  }

  // Until the next page is due, or curl's own next deadline (which
  // curl_multi_poll keeps by itself).
  int PollTimeoutMs() {
    const std::optional<Clock::TimePoint> due = scheduler.NextDue();
    if (!due) return kLongestPollMs;
    const auto idle = clock.IdleUntil(*due).count();
    return static_cast<int>(std::clamp<long long>(idle, 0, kLongestPollMs));
  }

  void Admit(std::unique_ptr<Transfer> transfer) {
    if (!IsHttpAddress(transfer->url)) {
      Publish(*transfer, {false, "Only http and https addresses can be downloaded", {}});
      return;
    }
    scheduler.Add(transfer->ticket, transfer->url);
    const std::uint64_t ticket = transfer->ticket;
    waiting.emplace(ticket, std::move(transfer));
  }

  void StartDuePages() {
    for (const std::uint64_t ticket : scheduler.TakeStartable(nextToCollect)) {
      auto found = waiting.find(ticket);
      std::unique_ptr<Transfer> transfer = std::move(found->second);
      waiting.erase(found);
      try {
        Begin(transfer);
      } catch (const Failure& failure) {
        scheduler.Forget(ticket);
        Publish(*transfer, {false, failure.what(), {}});
      }
    }
  }

  // Takes `transfer` over once it is under way.
  void Begin(std::unique_ptr<Transfer>& transfer) {
    CURL* easy = TakeHandle();
    const std::string requestUrl = EncodeAddressForRequest(transfer->url);
    curl_easy_setopt(easy, CURLOPT_URL, requestUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
    const CURLMcode added = curl_multi_add_handle(multi, easy);
    if (added != CURLM_OK) {
      idleHandles.push_back(easy);
      CheckMulti(added, "Could not start the transfer");
    }
    transfer->easy = easy;
    active.emplace(easy, std::move(transfer));
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
    SetRequestOptions(easy);
    return easy;
  }

  void SetFixedOptions(CURL* easy) const {
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, settings.maxRedirects);
    // Bodies are decoded by the program (BodyDecoder), which offers its
    // codings in the request headers (SetUpRequestHeaders).
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(settings.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(settings.stallTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(settings.maxBodyBytes));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ReceiveBody);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &ReceiveHeaderLine);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, receiveBufferBytes);
    // Signals for resolver time-outs are unsafe off the main thread.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  }

  // What the user asked every request to carry.
  void SetRequestOptions(CURL* easy) const {
    curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    // Per try: a retried page gets the whole time again.
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                     static_cast<long>(std::chrono::milliseconds(settings.pageTimeout).count()));
    if (cookies != nullptr) {
      curl_easy_setopt(easy, CURLOPT_SHARE, cookies);
      curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // the cookie engine, no file read
    }
    // Unset, libcurl takes http_proxy, https_proxy and no_proxy.
    if (!settings.proxy.empty()) curl_easy_setopt(easy, CURLOPT_PROXY, settings.proxy.c_str());
    if (!settings.caCertFile.empty()) {
      curl_easy_setopt(easy, CURLOPT_CAINFO, settings.caCertFile.c_str());
    }
    if (settings.insecure) {
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
      curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    }
  }

  // No exception may pass through libcurl: one ends the transfer instead.
  static size_t ReceiveHeaderLine(char* data, size_t size, size_t count, void* userdata) {
    try {
      static_cast<Transfer*>(userdata)->head.AddLine({data, size * count});
    } catch (const std::bad_alloc&) {
      return 0;
    }
    return size * count;
  }

  // Returning less than was offered makes libcurl abandon the transfer. The
  // waiting budget is weighed against the bytes as received: a piece taken
  // is decoded whole, whatever it grows to, so that a pause holds raw bytes
  // only and never a part of a decoded piece.
  static size_t ReceiveBody(char* data, size_t size, size_t count, void* userdata) {
    auto& transfer = *static_cast<Transfer*>(userdata);
    Impl& self = *transfer.owner;
    const size_t length = size * count;
    if (transfer.ticket != self.nextToCollect &&
        self.heldBytes + length > self.settings.waitingBudget) {
      transfer.paused = true;
      self.anyPaused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    try {
      return Decoder(transfer).Feed({data, length}) ? length : 0;
    } catch (const std::bad_alloc&) {
      return 0;
    }
  }

  // The decoder for the final response's Content-Encoding, made with the
  // first bytes of its body.
  static BodyDecoder& Decoder(Transfer& transfer) {
    if (!transfer.decoder) {
      transfer.decoder = std::make_unique<BodyDecoder>(
          transfer.head.contentEncoding(), transfer.owner->settings.maxBodyBytes,
          [&transfer](std::string_view decoded) { return KeepDecoded(transfer, decoded); });
    }
    return *transfer.decoder;
  }

  static bool KeepDecoded(Transfer& transfer, std::string_view decoded) {
    try {
      transfer.unwritten.Append(decoded);
      if (transfer.unwritten.size() >= kPageFileWriteBytes) WriteUnwritten(transfer);
    } catch (const Failure& failure) {
      transfer.writeError = failure.what();
      return false;
    }
    transfer.received += decoded.size();
    transfer.owner->heldBytes += decoded.size();
    return true;
  }

  static void WriteUnwritten(Transfer& transfer) {
    transfer.owner->pageFiles.Write(transfer.file, transfer.unwritten.View());
    transfer.unwritten.Clear();
  }

  void ResumePausedTransfers() {
    if (!anyPaused) return;
    bool stillPaused = false;
    for (auto& [easy, transfer] : active) {
      if (!transfer->paused) continue;
      if (transfer->ticket != nextToCollect && heldBytes >= settings.waitingBudget) {
        stillPaused = true;
        continue;
      }
      transfer->paused = false;  // set again by ReceiveBody if it must wait longer
      curl_easy_pause(easy, CURLPAUSE_CONT);
      stillPaused = stillPaused || transfer->paused;
    }
    anyPaused = stillPaused;
  }

  // True when a transfer ended.
  bool EndFinishedTransfers() {
    int queued = 0;
    bool ended = false;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      const auto found = active.find(message->easy_handle);
      if (found == active.end()) continue;
      std::unique_ptr<Transfer> transfer = std::move(found->second);
      active.erase(found);
      End(std::move(transfer), message->data.result);
      ended = true;
    }
    return ended;
  }

  void End(std::unique_ptr<Transfer> transfer, CURLcode result) {
    const TryResult tried = TryResultOf(*transfer, result);
    ReleaseHandle(*transfer);
    const TryVerdict verdict = scheduler.Ended(transfer->ticket, tried);
    if (verdict.tryAgain) {
      TryAgain(std::move(transfer));
      return;
    }
    std::string failure = verdict.reason;
    PageBuffer body;
    if (failure.empty()) failure = CompletePageFile(*transfer, body);
    if (transfer->unwritten.capacity() != 0) Recycle(std::move(transfer->unwritten));
    transfer->file.Reset();
    if (failure.empty()) {
      Publish(*transfer, {true, {}, std::move(body)});
      return;
    }
    heldBytes -= transfer->received;
    Publish(*transfer, {false, std::move(failure), {}});
  }

  // How the try went, while libcurl still holds what it learnt of it. A body
  // that came but is not whole (a compressed stream cut short, a redirect
  // without a Location) fails for good: the server sent it so.
  TryResult TryResultOf(Transfer& transfer, CURLcode result) const {
    const std::string failure = FinishReceiving(transfer, result);
    TryEnd end;
    end.curlCode = result;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &end.httpStatus);
    long osErrno = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_OS_ERRNO, &osErrno);
    end.osErrno = static_cast<int>(osErrno);
    curl_off_t tookUs = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_TOTAL_TIME_T, &tookUs);
    end.pastDeadline = settings.pageTimeout.count() > 0 &&
                       std::chrono::microseconds(tookUs) >= settings.pageTimeout;
    TryResult tried = ClassifyTry(end);
    if (failure.empty() && tried.ok) return tried;
    if (tried.ok) tried = TryResult{};
    tried.reason = failure.empty() ? std::string(curl_easy_strerror(result)) : failure;
    curl_header* retryAfter = nullptr;
    if (curl_easy_header(transfer.easy, "Retry-After", 0, CURLH_HEADER, -1, &retryAfter) ==
        CURLHE_OK) {
      tried.retryAfter = ParseRetryAfter(retryAfter->value, clock.WallNow());
    }
    return tried;
  }

  // Back to the scheduler with an empty page file and nothing received.
  void TryAgain(std::unique_ptr<Transfer> transfer) {
    heldBytes -= transfer->received;
    transfer->received = 0;
    transfer->unwritten.Clear();
    transfer->head = ResponseHead{};
    transfer->decoder.reset();
    transfer->paused = false;
    transfer->writeError.clear();
    transfer->errorBuffer[0] = '\0';
    try {
      pageFiles.Empty(transfer->file);
    } catch (const Failure& failure) {
      scheduler.Forget(transfer->ticket);
      Publish(*transfer,
              {false, std::string("Could not write the page file: ") + failure.what(), {}});
      return;
    }
    const std::uint64_t ticket = transfer->ticket;
    waiting.emplace(ticket, std::move(transfer));
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

  // Ends the body (a compressed one must end where the body did) and gives
  // the reason the page is not found, or "" when it came whole.
  std::string FinishReceiving(Transfer& transfer, CURLcode result) const {
    if (result == CURLE_OK) Decoder(transfer).Finish();
    TransferEnd end;
    end.result = result;
    end.sawStatusLine = transfer.head.sawStatusLine();
    end.status = transfer.head.status();
    end.headerComplete = transfer.head.complete();
    end.headerBytes = transfer.head.headerBytes();
    if (transfer.decoder) {
      end.body = transfer.decoder->status();
      end.bodyReason = transfer.decoder->Reason();
    }
    end.writeError = transfer.writeError;
    if (result != CURLE_OK) {
      end.detail =
          transfer.errorBuffer[0] != '\0' ? transfer.errorBuffer : curl_easy_strerror(result);
    }
    return DescribeTransferFailure(end, settings.maxBodyBytes);
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

  // Fails every page under way or waiting with `reason`.
  void FailAll(const std::string& reason) {
    for (auto& [easy, transfer] : active) {
      Drop(*transfer);
      Publish(*transfer, {false, reason, {}});
    }
    active.clear();
    for (auto& [ticket, transfer] : waiting) {
      scheduler.Forget(ticket);
      Publish(*transfer, {false, reason, {}});
    }
    waiting.clear();
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
    while (!waiting.empty() && waiting.begin()->first <= cancelMark) {
      scheduler.Forget(waiting.begin()->first);
      waiting.erase(waiting.begin());
    }
  }

  // Ends a transfer nobody waits for any more.
  void Drop(Transfer& transfer) {
    scheduler.Forget(transfer.ticket);
    ReleaseHandle(transfer);
    heldBytes -= transfer.received;
  }

  void ReleaseHandle(Transfer& transfer) {
    // Failing, the handle is not reused: a handle still in the multi must
    // not be added again.
    if (curl_multi_remove_handle(multi, transfer.easy) != CURLM_OK) return;
    curl_easy_setopt(transfer.easy, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(transfer.easy, CURLOPT_HEADERDATA, nullptr);
    curl_easy_setopt(transfer.easy, CURLOPT_ERRORBUFFER, nullptr);
    idleHandles.push_back(transfer.easy);
  }
};

CurlDownloader::CurlDownloader(DownloadSettings settings, PageFiles& pageFiles, Clock& clock)
    : impl_(std::make_unique<Impl>(std::move(settings), pageFiles, clock)) {}

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
