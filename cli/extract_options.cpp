#include "cli/extract_options.h"

namespace verdigo {

namespace {

class ArgumentParser {
 public:
  explicit ArgumentParser(const std::vector<std::string>& args) : args_(args) {}

  ParsedArguments Parse() {
    bool optionsEnded = false;
    for (next_ = 0; next_ < args_.size() && result_.error.empty();) {
      const std::string& arg = args_[next_++];
      if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
        result_.options.listFiles.push_back(arg);
      } else if (arg == "--") {
        optionsEnded = true;
      } else if (arg.starts_with("--")) {
        ParseLongOption(arg);
      } else {
        ParseShortOptions(arg);
      }
    }
    if (result_.error.empty()) CheckCombinations();
    return std::move(result_);
  }

 private:
  void ParseLongOption(const std::string& arg) {
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--output" || name == "--url" || name == "--jobs" || name == "--per-host") {
      if (equals != std::string::npos) {
        SetValue(name, arg.substr(equals + 1));
      } else {
        TakeValue(name);
      }
      return;
    }
    bool* flag = LongFlag(name);
    if (flag == nullptr) {
      result_.error = "unknown option '" + name + "'";
    } else if (equals != std::string::npos) {
      result_.error = "option '" + name + "' takes no value";
    } else {
      *flag = true;
    }
  }

  bool* LongFlag(const std::string& name) {
    ExtractOptions& o = result_.options;
    if (name == "--csv") return &o.csv;
    if (name == "--json") return &o.json;
    if (name == "--null") return &o.nullTerminated;
    if (name == "--quiet") return &o.quiet;
    if (name == "--help") return &o.showHelp;
    if (name == "--version") return &o.showVersion;
    return nullptr;
  }

  // "-q0" is "-q -0"; "-oFILE" and "-q -o FILE" give the output file, "-uADDRESS"
  // and "-u ADDRESS" an address.
  void ParseShortOptions(const std::string& arg) {
    for (size_t i = 1; i < arg.size(); ++i) {
      switch (arg[i]) {
        case '0':
          result_.options.nullTerminated = true;
          break;
        case 'q':
          result_.options.quiet = true;
          break;
        case 'o':
        case 'u':
        case 'j':
          if (i + 1 < arg.size()) {
            SetValue(std::string("-") + arg[i], arg.substr(i + 1));
          } else {
            TakeValue(std::string("-") + arg[i]);
          }
          return;
        default:
          result_.error = std::string("unknown option '-") + arg[i] + "'";
          return;
      }
    }
  }

  static bool IsOutputOption(const std::string& name) { return name == "-o" || name == "--output"; }
  static bool IsUrlOption(const std::string& name) { return name == "-u" || name == "--url"; }

  static std::string MissingValueError(const std::string& name) {
    const char* what = IsOutputOption(name) ? "a file name"
                       : IsUrlOption(name)  ? "an address"
                                            : "a number";
    return "option '" + name + "' needs " + what;
  }

  void TakeValue(const std::string& name) {
    if (next_ >= args_.size()) {
      result_.error = MissingValueError(name);
      return;
    }
    SetValue(name, args_[next_++]);
  }

  void SetValue(const std::string& name, const std::string& value) {
    ExtractOptions& o = result_.options;
    const bool takesText = IsOutputOption(name) || IsUrlOption(name);
    if (takesText && value.empty()) {
      result_.error = MissingValueError(name);
    } else if (IsUrlOption(name)) {
      o.addresses.push_back(value);
    } else if (IsOutputOption(name)) {
      o.outputFile = value;
    } else if (!ParseCount(value, name == "--per-host" ? o.perHost : o.jobs)) {
      result_.error = "option '" + name + "' needs a number from 1 to " + std::to_string(kMaxJobs);
    }
  }

  static bool ParseCount(const std::string& text, int& count) {
    if (text.empty() || text.size() > 4) return false;
    int value = 0;
    for (const char c : text) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxJobs) return false;
    count = value;
    return true;
  }

  void CheckCombinations() {
    const ExtractOptions& o = result_.options;
    if (o.json && o.csv) {
      result_.error = "--json and --csv are two output formats; choose one";
    } else if (o.json && o.nullTerminated) {
      result_.error = "--json ends each record with a line feed; it cannot be used with -0";
    } else if (o.csv && o.outputFile.empty()) {
      result_.error = "--csv needs an output file (-o FILE)";
    } else if (o.nullTerminated && !o.outputFile.empty()) {
      result_.error = "-0 applies to standard output only; it cannot be used with -o";
    }
  }

  const std::vector<std::string>& args_;
  size_t next_ = 0;
  ParsedArguments result_;
};

}  // namespace

ParsedArguments ParseExtractArguments(const std::vector<std::string>& args) {
  return ArgumentParser(args).Parse();
}

std::string ExtractUsageText() {
  return "Usage: verdigo-extract [OPTIONS] [-u ADDRESS...] [LIST_FILE...]\n"
         "Downloads each web page listed (one address per line) and writes the page's\n"
         "address, then every link found on it, one row each.\n"
         "Addresses given with -u come first, then the lists' addresses in order.\n"
         "With no LIST_FILE and no -u, or when LIST_FILE is -, reads standard input.\n"
         "\n"
         "  -u, --url ADDRESS  fetch ADDRESS as if it were listed (may be repeated)\n"
         "  -o, --output FILE  write the rows to FILE, each ended by CR LF\n"
         "      --csv          with -o: write all rows on one comma-delimited line\n"
         "      --json         write one JSON object per line for each listed address:\n"
         "                     {\"address\":A,\"page\":P,\"links\":[...]} for a page,\n"
         "                     {\"address\":A,\"page\":P,\"error\":REASON} for one not found\n"
         "  -0, --null         end each row on standard output with NUL, not LF; a NUL\n"
         "                     inside a row is written as %00\n"
         "  -j, --jobs N       download up to N pages at once (1 to 1000, default 64);\n"
         "                     the rows still come in list order\n"
         "      --per-host N   at most N connections to one host (1 to 1000, default 6)\n"
         "  -q, --quiet        show no progress line\n"
         "      --help         show this help and exit\n"
         "      --version      show the version and exit\n"
         "\n"
         "Rows go out as soon as every page before them is done; addresses are read\n"
         "as they come, so a list may be a pipe that is still being written.\n"
         "\n"
         "Exit status: 0 when every page was downloaded and handled, 1 when some\n"
         "page was not found, a page could not be handled whole (an error report),\n"
         "or a list line was skipped as too long, 2 for a wrong command line, a\n"
         "file that cannot be read or written (a list that is a folder or may not be\n"
         "read: before any download), memory running out, rows bound for a closed\n"
         "standard output, or addresses expected on a closed standard input.\n";
}

}  // namespace verdigo
