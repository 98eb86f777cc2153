#include "cli/extract_options.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace verdigo {

namespace {

// Options without a letter of their own; letters name the others.
enum LongOnly : int {
  kCsv = 256,
  kJson,
  kVersion,
  kPerHost,
  kRetries,
  kDelay,
  kConnectTimeout,
  kTimeout,
  kProxy,
  kCaCert,
  kPage,
  kBase,
};

struct OptionRow {
  const char* name;
  int id;  // the option's letter, or a LongOnly value
  bool takesValue = false;
  // What the value must be, for messages: "needs " + needs (+ rule when it is
  // wrong).
  const char* needs = "";
  const char* rule = "";
};

static_assert(kMaxJobs == 1000, "the messages below and the usage text say 1000");
constexpr int kMaxRetries = 20;
constexpr const char* kSeconds = "a number of seconds";
constexpr const char* kSecondsRule = " (such as 2 or 0.5)";

constexpr OptionRow kOptions[] = {
    {"url", 'u', true, "an address"},
    {"page", kPage, true, "a file name"},
    {"base", kBase, true, "an address"},
    {"output", 'o', true, "a file name"},
    {"continue", 'c'},
    {"csv", kCsv},
    {"json", kJson},
    {"null", '0'},
    {"quiet", 'q'},
    {"help", 'h'},
    {"version", kVersion},
    {"jobs", 'j', true, "a number", " from 1 to 1000"},
    {"per-host", kPerHost, true, "a number", " from 1 to 1000"},
    {"retries", kRetries, true, "a number", " from 0 to 20"},
    {"delay", kDelay, true, kSeconds, kSecondsRule},
    {"connect-timeout", kConnectTimeout, true, kSeconds, " above 0 (such as 10 or 2.5)"},
    {"timeout", kTimeout, true, kSeconds, kSecondsRule},
    {"user-agent", 'A', true, "a text"},
    {"header", 'H', true, "a header", " as 'Name: value'"},
    {"cookie", 'b', true, "a file name"},
    {"cacert", kCaCert, true, "a file name"},
    {"proxy", kProxy, true, "an address"},
    {"insecure", 'k'},
};

const OptionRow& RowOf(int id) {
  return *std::find_if(std::begin(kOptions), std::end(kOptions),
                       [id](const OptionRow& row) { return row.id == id; });
}

std::string LongName(const OptionRow& row) { return std::string("--") + row.name; }

// getopt's view of the table. "-": list files come back in order, as option
// 1; ":": a missing value is told apart from an unknown option.
std::string ShortOptions() {
  std::string letters = "-:";
  for (const OptionRow& row : kOptions) {
    if (row.id >= 256) continue;
    letters += static_cast<char>(row.id);
    if (row.takesValue) letters += ':';
  }
  return letters;
}

std::vector<option> LongOptions() {
  std::vector<option> options;
  for (const OptionRow& row : kOptions) {
    options.push_back(
        {row.name, row.takesValue ? required_argument : no_argument, nullptr, row.id});
  }
  options.push_back({});
  return options;
}

// ---- Values -------------------------------------------------------------------

bool TakeText(std::string_view value, std::string& into) {
  if (value.empty()) return false;
  into = value;
  return true;
}

bool TakeCount(std::string_view value, int low, int high, int& into) {
  int count = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), count);
  if (error != std::errc() || end != value.data() + value.size()) return false;
  if (count < low || count > high) return false;
  into = count;
  return true;
}

// Decimals are allowed; a value that is not 0 never rounds down to 0, which
// would mean "none" for some settings.
template <typename Duration>
bool TakeSeconds(std::string_view value, bool zeroAllowed, Duration& into) {
  constexpr double kLongest = 1e6;  // beyond any sensible wait, far from overflow
  double seconds = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  if (error != std::errc() || end != value.data() + value.size()) return false;
  if (!std::isfinite(seconds) || seconds < 0 || seconds > kLongest) return false;
  if (seconds == 0 && !zeroAllowed) return false;
  into = std::chrono::ceil<Duration>(std::chrono::duration<double>(seconds));
  return true;
}

// "Name: value"; a line break would start another header, or a body.
bool TakeHeader(std::string_view value, std::vector<std::string>& into) {
  const size_t colon = value.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  if (value.find_first_of("\r\n") != std::string_view::npos) return false;
  into.emplace_back(value);
  return true;
}

class ArgumentParser {
 public:
  ParsedArguments Parse(const std::vector<std::string>& args) {
    std::vector<std::string> texts{std::string(kExtractProgramName)};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(texts.size());
    const std::string shortOptions = ShortOptions();
    const std::vector<option> longOptions = LongOptions();
    opterr = 0;  // the messages are ours
    optind = 0;  // 0, not 1: getopt starts afresh, bundles and all
    while (result_.error.empty()) {
      const int element = std::max(optind, 1);  // the argument getopt is in
      int longIndex = -1;
      const int id =
          ::getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(), &longIndex);
      if (id == -1) break;
      if (id == 1) {
        result_.options.listFiles.emplace_back(optarg);
      } else if (id == '?' || id == ':') {
        result_.error = Misuse(id, texts[element]);
      } else {
        Take(RowOf(id), longIndex >= 0, optarg == nullptr ? "" : optarg);
      }
    }
    if (!result_.error.empty()) return std::move(result_);
    // What follows "--" is list files, whatever it looks like.
    for (int i = std::max(optind, 1); i < argc; ++i) result_.options.listFiles.push_back(texts[i]);
    if (result_.options.outputFile == "-") result_.options.outputFile.clear();
    CheckCombinations();
    return std::move(result_);
  }

 private:
  void Take(const OptionRow& row, bool asLong, std::string_view value) {
    if (!Apply(row.id, value)) {
      const std::string name = asLong ? LongName(row) : std::string("-") + char(row.id);
      result_.error = "option '" + name + "' needs " + row.needs + row.rule;
    }
  }

  // False when the value is not one the option takes.
  bool Apply(int id, std::string_view value) {
    ExtractOptions& o = result_.options;
    DownloadSettings& d = o.download;
    switch (id) {
      case 'u':
        return TakeText(value, o.addresses.emplace_back());
      case kPage:
        return TakeText(value, o.pageFiles.emplace_back());
      case kBase:
        return TakeText(value, o.pageBase);
      case 'o':
        return TakeText(value, o.outputFile);
      case 'c':
        return o.continueRun = true;
      case kCsv:
        return o.csv = true;
      case kJson:
        return o.json = true;
      case '0':
        return o.nullTerminated = true;
      case 'q':
        return o.quiet = true;
      case 'h':
        return o.showHelp = true;
      case kVersion:
        return o.showVersion = true;
      case 'j':
        return TakeCount(value, 1, kMaxJobs, d.jobs);
      case kPerHost:
        return TakeCount(value, 1, kMaxJobs, d.perHost);
      case kRetries:
        return TakeCount(value, 0, kMaxRetries, d.retries);
      case kDelay:
        return TakeSeconds(value, true, d.perHostDelay);
      case kConnectTimeout:
        return TakeSeconds(value, false, d.connectTimeout);
      case kTimeout:
        return TakeSeconds(value, true, d.pageTimeout);
      case 'A':
        return TakeText(value, d.userAgent);
      case 'H':
        return TakeHeader(value, d.headers);
      case 'b':
        return TakeText(value, d.cookieFile);
      case kCaCert:
        return TakeText(value, d.caCertFile);
      case kProxy:
        return TakeText(value, d.proxy);
      case 'k':
        return d.insecure = true;
    }
    return false;
  }

  // getopt's '?' or ':' for the argument `text`, in words.
  static std::string Misuse(int id, const std::string& text) {
    const bool isLong = text.starts_with("--");
    if (isLong && optopt == 0) return UnknownLongOption(text.substr(0, text.find('=')));
    if (!isLong && id == '?') return std::string("unknown option '-") + char(optopt) + "'";
    const OptionRow& row = RowOf(optopt);
    const std::string name = isLong ? LongName(row) : std::string("-") + char(optopt);
    if (id == ':') return "option '" + name + "' needs " + row.needs;
    return "option '" + name + "' takes no value";
  }

  static std::string UnknownLongOption(const std::string& typed) {
    std::string candidates;
    for (const OptionRow& row : kOptions) {
      if (LongName(row).starts_with(typed)) candidates += " " + LongName(row);
    }
    if (candidates.empty()) return "unknown option '" + typed + "'";
    return "option '" + typed + "' is ambiguous; it may be" + candidates;
  }

  void CheckCombinations() {
    const ExtractOptions& o = result_.options;
    if (o.json && o.csv) {
      result_.error = "--json and --csv are two output formats; choose one";
    } else if (o.json && o.nullTerminated) {
      result_.error = "--json ends each record with a line feed; it cannot be used with -0";
    } else if (o.csv && o.nullTerminated) {
      result_.error = "--csv writes one comma-delimited line; it cannot be used with -0";
    } else if (o.nullTerminated && !o.outputFile.empty()) {
      result_.error = "-0 applies to standard output only; it cannot be used with -o";
    } else {
      CheckPageCombinations();
    }
  }

  void CheckPageCombinations() {
    const ExtractOptions& o = result_.options;
    const auto readsStdin = [](const std::vector<std::string>& names) {
      return std::count(names.begin(), names.end(), "-");
    };
    const bool listOnStdin = readsStdin(o.listFiles) > 0 ||
                             (o.listFiles.empty() && o.addresses.empty() && o.pageFiles.empty());
    if (o.continueRun && o.outputFile.empty()) {
      result_.error = "-c carries on a results file; it needs -o FILE";
    } else if (!o.pageBase.empty() && o.pageFiles.empty()) {
      result_.error = "--base gives the address of pages read with --page; there are none";
    } else if (readsStdin(o.pageFiles) > 1 || (readsStdin(o.pageFiles) == 1 && listOnStdin)) {
      result_.error = "standard input holds one page or one list; give '-' only once";
    }
  }

  ParsedArguments result_;
};

}  // namespace

ParsedArguments ParseExtractArguments(const std::vector<std::string>& args) {
  return ArgumentParser().Parse(args);
}

namespace {

// "15", "0.5": the way a user would type it.
template <typename Duration>
std::string SecondsText(Duration duration) {
  const double seconds = std::chrono::duration<double>(duration).count();
  std::string text = std::to_string(seconds);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

std::string ExtractUsageText() {
  const DownloadSettings d;
  const std::string jobs = std::to_string(d.jobs);
  const std::string perHost = std::to_string(d.perHost);
  const std::string retries = std::to_string(d.retries);
  return "Usage: verdigo-extract [OPTIONS] [-u ADDRESS...] [LIST_FILE...]\n"
         "Downloads each web page listed (one address per line) and writes the page's\n"
         "address, then every link found on it, one row each.\n"
         "Addresses given with -u come first, then the lists' addresses in order.\n"
         "With no LIST_FILE, -u or --page, or when LIST_FILE is -, reads standard input.\n"
         "\n"
         "  -u, --url ADDRESS      fetch ADDRESS as if it were listed (may be repeated)\n"
         "      --page FILE        take FILE's bytes as a page, before any address\n"
         "                         (may be repeated; - is standard input); nothing is\n"
         "                         downloaded\n"
         "      --base ADDRESS     the address the --page pages come from, taken as\n"
         "                         listed (default: each file's own, as file:///PATH)\n"
         "  -o, --output FILE      write the rows to FILE, each ended by CR LF\n"
         "                         (-o - is standard output); FILE takes its name when\n"
         "                         the run is complete\n"
         "  -c, --continue         with -o: carry on from the rows an interrupted run\n"
         "                         left for FILE, skipping its pages (give the same\n"
         "                         pages, lists and format)\n"
         "      --csv              write all rows on one comma-delimited line\n"
         "      --json             write one JSON object per line for each address:\n"
         "                         {\"address\":A,\"page\":P,\"links\":[...]} for a page,\n"
         "                         {\"address\":A,\"page\":P,\"error\":REASON} if not found\n"
         "  -0, --null             end each row on standard output with NUL, not LF;\n"
         "                         a NUL inside a row is written as %00\n"
         "  -q, --quiet            show no progress line\n"
         "  -h, --help             show this help and exit\n"
         "      --version          show the version and exit\n"
         "\n"
         "Downloads (SECONDS may have decimals: 0.5):\n"
         "  -j, --jobs N           download up to N pages at once (1 to 1000, default " +
         jobs +
         ")\n"
         "                         (the rows still come in list order)\n"
         "      --per-host N       at most N requests in flight to one host\n"
         "                         (1 to 1000, default " +
         perHost +
         ")\n"
         "      --delay SECONDS    at least SECONDS between the starts of two requests\n"
         "                         to one host (default " +
         SecondsText(d.perHostDelay) +
         ")\n"
         "      --retries N        try a page up to N more times when it failed for a\n"
         "                         reason that may pass (0 to 20, default " +
         retries +
         ")\n"
         "      --connect-timeout SECONDS\n"
         "                         give up connecting after SECONDS (default " +
         SecondsText(d.connectTimeout) +
         ")\n"
         "      --timeout SECONDS  end each try of a page after SECONDS (0: never;\n"
         "                         default " +
         SecondsText(d.pageTimeout) +
         ")\n"
         "  -A, --user-agent TEXT  send TEXT as User-Agent, not verdigo-extract/VERSION\n"
         "  -H, --header 'NAME: VALUE'\n"
         "                         send this header with every request (may be repeated)\n"
         "  -b, --cookie FILE      send the cookies of FILE, a cookie file as browsers\n"
         "                         export it; cookies that pages set are kept for the run\n"
         "      --proxy URL        use this proxy (default: the http_proxy, https_proxy\n"
         "                         and no_proxy variables)\n"
         "      --cacert FILE      trust the certificates in FILE, not the system's\n"
         "  -k, --insecure         check no certificate (with a warning)\n"
         "\n"
         "Retries: a connection reset or cut short, a time-out and HTTP 408, 429, 500,\n"
         "502, 503 and 504 are tried again after 1, 2, 4 ... s (with some jitter), or as\n"
         "long as the server's Retry-After asks, up to " +
         SecondsText(d.longestRetryWait) +
         " s. Not tried again: HTTP 404,\n"
         "410, a name that does not resolve, a refused connection, a certificate error,\n"
         "a page over the size cap, a refused protocol. A page not found names its last\n"
         "reason and its tries: \"HTTP 503 after 4 tries\".\n"
         "Politeness: --per-host counts requests, also where HTTP/2 carries several\n"
         "over one connection; a 429 or 503 slows that host only, the others go on.\n"
         "\n"
         "Rows go out as soon as every page before them is done; addresses are read\n"
         "as they come, so a list may be a pipe that is still being written.\n"
         "\n"
         "A list holds one address a line: a UTF-8 byte-order mark at its start,\n"
         "blank lines and the spaces and tabs around an address are dropped.\n"
         "Addresses go out as UTF-8 (other bytes are read as Windows-1252),\n"
         "percent-encoded, with international host names in their IDNA form.\n"
         "\n"
         "Examples:\n"
         "  verdigo-extract --page saved.html --base example.org/news/index.html\n"
         "  verdigo-extract -c -o links.txt pages.txt   (again, after Ctrl+C or a crash)\n"
         "\n"
         "Exit status: 0 when every page was downloaded and handled, 1 when some\n"
         "page was not found, a page could not be handled whole (an error report),\n"
         "or a list line was skipped as too long, 2 for a wrong command line, a\n"
         "file that cannot be read or written (a list that is a folder or may not be\n"
         "read: before any download), memory running out, rows bound for a closed\n"
         "standard output, or addresses expected on a closed standard input.\n";
}

}  // namespace verdigo
