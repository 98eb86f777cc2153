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
    if (name == "--output") {
      if (equals != std::string::npos) {
        SetOutput(name, arg.substr(equals + 1));
      } else {
        TakeOutputValue(name);
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
    if (name == "--null") return &o.nullTerminated;
    if (name == "--quiet") return &o.quiet;
    if (name == "--help") return &o.showHelp;
    if (name == "--version") return &o.showVersion;
    return nullptr;
  }

  // "-q0" is "-q -0"; "-oFILE" and "-q -o FILE" give the output file.
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
          if (i + 1 < arg.size()) {
            SetOutput("-o", arg.substr(i + 1));
          } else {
            TakeOutputValue("-o");
          }
          return;
        default:
          result_.error = std::string("unknown option '-") + arg[i] + "'";
          return;
      }
    }
  }

  void TakeOutputValue(const std::string& name) {
    if (next_ >= args_.size()) {
      result_.error = "option '" + name + "' needs a file name";
      return;
    }
    SetOutput(name, args_[next_++]);
  }

  void SetOutput(const std::string& name, const std::string& file) {
    if (file.empty()) {
      result_.error = "option '" + name + "' needs a file name";
    } else {
      result_.options.outputFile = file;
    }
  }

  void CheckCombinations() {
    const ExtractOptions& o = result_.options;
    if (o.csv && o.outputFile.empty()) {
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
  return "Usage: verdigo-extract [OPTIONS] [LIST_FILE...]\n"
         "Downloads each web page listed (one address per line) and writes the page's\n"
         "address, then every link found on it, one row each.\n"
         "With no LIST_FILE, or when LIST_FILE is -, reads standard input.\n"
         "\n"
         "  -o, --output FILE  write the rows to FILE, each ended by CR LF\n"
         "      --csv          with -o: write all rows on one comma-delimited line\n"
         "  -0, --null         end each row on standard output with NUL, not LF\n"
         "  -q, --quiet        show no progress line\n"
         "      --help         show this help and exit\n"
         "      --version      show the version and exit\n"
         "\n"
         "Exit status: 0 when every page was downloaded, 1 when some page was not\n"
         "found, 2 for a wrong command line or a file that cannot be read or written.\n";
}

}  // namespace verdigo
