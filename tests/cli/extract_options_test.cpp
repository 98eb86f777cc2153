#include "cli/extract_options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace verdigo {
namespace {

using Args = std::vector<std::string>;

TEST(ExtractOptions, ListFilesInOrderBundledFlagsAndDoubleDash) {
  const ParsedArguments parsed = ParseExtractArguments({"a.txt", "-", "-0q", "--", "-o", "b"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.listFiles, (Args{"a.txt", "-", "-o", "b"}));
  EXPECT_TRUE(parsed.options.nullTerminated);
  EXPECT_TRUE(parsed.options.quiet);
  EXPECT_EQ(parsed.options.outputFile, "");
}

TEST(ExtractOptions, OutputFileInEveryForm) {
  for (const Args& args : {Args{"-o", "out.csv", "--csv"}, Args{"-oout.csv", "--csv"},
                           Args{"--csv", "--output=out.csv"}, Args{"--output", "out.csv", "--csv"},
                           Args{"-qo", "out.csv", "--csv"}}) {
    const ParsedArguments parsed = ParseExtractArguments(args);
    ASSERT_EQ(parsed.error, "") << args[0];
    EXPECT_EQ(parsed.options.outputFile, "out.csv") << args[0];
    EXPECT_TRUE(parsed.options.csv) << args[0];
    EXPECT_TRUE(parsed.options.listFiles.empty()) << args[0];
  }
}

TEST(ExtractOptions, TheDownloadDefaultsAreTheEngines) {
  const DownloadSettings defaults;
  const DownloadSettings parsed = ParseExtractArguments({"list"}).options.download;
  EXPECT_EQ(parsed.jobs, defaults.jobs);
  EXPECT_EQ(parsed.jobs, 64);
  EXPECT_EQ(parsed.perHost, 6);
  EXPECT_EQ(parsed.retries, 3);
  EXPECT_EQ(parsed.perHostDelay, defaults.perHostDelay);
  EXPECT_EQ(parsed.connectTimeout, defaults.connectTimeout);
  EXPECT_EQ(parsed.pageTimeout, defaults.pageTimeout);
  EXPECT_TRUE(parsed.headers.empty());
  EXPECT_FALSE(parsed.insecure);
}

// Each download option in its short, long, abbreviated and "=" forms.
TEST(ExtractOptions, DownloadOptionsReachTheSettings) {
  using Check = bool (*)(const DownloadSettings&);
  const std::vector<std::pair<Args, Check>> cases = {
      {{"-j", "3"}, [](const DownloadSettings& d) { return d.jobs == 3; }},
      {{"-qj1000"}, [](const DownloadSettings& d) { return d.jobs == 1000; }},
      {{"--jo=7"}, [](const DownloadSettings& d) { return d.jobs == 7; }},
      {{"--per-host", "2"}, [](const DownloadSettings& d) { return d.perHost == 2; }},
      {{"--retries=0"}, [](const DownloadSettings& d) { return d.retries == 0; }},
      {{"--delay", "0.25"},
       [](const DownloadSettings& d) { return d.perHostDelay == std::chrono::milliseconds(250); }},
      {{"--connect-timeout=2.5"},
       [](const DownloadSettings& d) {
         return d.connectTimeout == std::chrono::milliseconds(2500);
       }},
      {{"--timeout", "0"}, [](const DownloadSettings& d) { return d.pageTimeout.count() == 0; }},
      // Never rounded down to 0, which means no limit.
      {{"--timeout", "0.001"}, [](const DownloadSettings& d) { return d.pageTimeout.count() > 0; }},
      {{"-A", "probe/1"}, [](const DownloadSettings& d) { return d.userAgent == "probe/1"; }},
      {{"--user-agent=a b"}, [](const DownloadSettings& d) { return d.userAgent == "a b"; }},
      {{"-H", "X-A: 1", "--header=X-B:2", "-qHX-C:"},
       [](const DownloadSettings& d) {
         return d.headers == Args{"X-A: 1", "X-B:2", "X-C:"};
       }},
      {{"-b", "cookies.txt"},
       [](const DownloadSettings& d) { return d.cookieFile == "cookies.txt"; }},
      {{"--cookie=c"}, [](const DownloadSettings& d) { return d.cookieFile == "c"; }},
      {{"--cacert", "ca.pem"}, [](const DownloadSettings& d) { return d.caCertFile == "ca.pem"; }},
      {{"--proxy=http://127.0.0.2:3128"},
       [](const DownloadSettings& d) { return d.proxy == "http://127.0.0.2:3128"; }},
      {{"-qk"}, [](const DownloadSettings& d) { return d.insecure; }},
      {{"--insecure"}, [](const DownloadSettings& d) { return d.insecure; }},
  };
  for (const auto& [args, check] : cases) {
    const ParsedArguments parsed = ParseExtractArguments(args);
    ASSERT_EQ(parsed.error, "") << args[0];
    EXPECT_TRUE(check(parsed.options.download)) << args[0];
  }
}

TEST(ExtractOptions, ShellConventions) {
  EXPECT_TRUE(ParseExtractArguments({"-h"}).options.showHelp);
  EXPECT_TRUE(ParseExtractArguments({"--hel"}).options.showHelp);
  const ParsedArguments dash = ParseExtractArguments({"-o", "-", "-0", "list"});
  ASSERT_EQ(dash.error, "");
  EXPECT_EQ(dash.options.outputFile, "") << "-o - is standard output";
  const ParsedArguments csv = ParseExtractArguments({"--csv", "list"});
  ASSERT_EQ(csv.error, "");
  EXPECT_TRUE(csv.options.csv);
  EXPECT_EQ(csv.options.outputFile, "");
}

TEST(ExtractOptions, AddressesInEveryFormKeepTheirOrder) {
  const ParsedArguments parsed = ParseExtractArguments(
      {"-u", "http://a/", "list", "-uhttp://b/", "--url=c", "-qu", "-d", "--url", "e", "--json"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.addresses, (Args{"http://a/", "http://b/", "c", "-d", "e"}));
  EXPECT_EQ(parsed.options.listFiles, Args{"list"});
  EXPECT_TRUE(parsed.options.json);
}

TEST(ExtractOptions, UsageErrors) {
  const std::vector<std::pair<Args, std::string>> cases = {
      {{"-x"}, "unknown option '-x'"},
      {{"-qz"}, "unknown option '-z'"},
      {{"--nope"}, "unknown option '--nope'"},
      {{"--nope=1"}, "unknown option '--nope'"},
      {{"--c"},
       "option '--c' is ambiguous; it may be --continue --csv --connect-timeout --cookie "
       "--cacert"},
      {{"--csv=yes", "-o", "f"}, "option '--csv' takes no value"},
      {{"list", "-o"}, "option '-o' needs a file name"},
      {{"--output="}, "option '--output' needs a file name"},
      {{"--csv", "-0"}, "--csv writes one comma-delimited line; it cannot be used with -0"},
      {{"-0", "-o", "f"}, "-0 applies to standard output only; it cannot be used with -o"},
      {{"-j"}, "option '-j' needs a number"},
      {{"--jobs"}, "option '--jobs' needs a number"},
      {{"-j", "0"}, "option '-j' needs a number from 1 to 1000"},
      {{"--jo=1001"}, "option '--jobs' needs a number from 1 to 1000"},
      {{"--per-host", "x"}, "option '--per-host' needs a number from 1 to 1000"},
      {{"-j", "-1"}, "option '-j' needs a number from 1 to 1000"},
      {{"-j", "2x"}, "option '-j' needs a number from 1 to 1000"},
      {{"--retries=21"}, "option '--retries' needs a number from 0 to 20"},
      {{"--delay", "-1"}, "option '--delay' needs a number of seconds (such as 2 or 0.5)"},
      {{"--timeout=1s"}, "option '--timeout' needs a number of seconds (such as 2 or 0.5)"},
      {{"--delay=nan"}, "option '--delay' needs a number of seconds (such as 2 or 0.5)"},
      {{"--connect-timeout=0"},
       "option '--connect-timeout' needs a number of seconds above 0 (such as 10 or 2.5)"},
      {{"-H", "X-A 1"}, "option '-H' needs a header as 'Name: value'"},
      {{"--header=: 1"}, "option '--header' needs a header as 'Name: value'"},
      {{"-H", "X-A: 1\r\nX-B: 2"}, "option '-H' needs a header as 'Name: value'"},
      {{"-A"}, "option '-A' needs a text"},
      {{"--proxy="}, "option '--proxy' needs an address"},
      {{"--insecure=yes"}, "option '--insecure' takes no value"},
      {{"list", "-u"}, "option '-u' needs an address"},
      {{"--url="}, "option '--url' needs an address"},
      {{"--json", "--csv", "-o", "f"}, "--json and --csv are two output formats; choose one"},
      {{"-0", "--json"}, "--json ends each record with a line feed; it cannot be used with -0"},
  };
  for (const auto& [args, error] : cases) {
    EXPECT_EQ(ParseExtractArguments(args).error, error) << args[0];
  }
}

TEST(ExtractOptions, PagesFromFilesTheirBaseAndCarryingOn) {
  const ParsedArguments parsed = ParseExtractArguments(
      {"--page", "a.html", "--page=-", "--base", "h/x.htm", "-co", "out", "--continue"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.pageFiles, (Args{"a.html", "-"}));
  EXPECT_EQ(parsed.options.pageBase, "h/x.htm");
  EXPECT_TRUE(parsed.options.continueRun);
  EXPECT_EQ(parsed.options.outputFile, "out");
  EXPECT_TRUE(parsed.options.listFiles.empty()) << "with pages, standard input is no list";

  const std::vector<std::pair<Args, std::string>> cases = {
      {{"--page"}, "option '--page' needs a file name"},
      {{"--page="}, "option '--page' needs a file name"},
      {{"--page", "a", "--base="}, "option '--base' needs an address"},
      {{"--base", "h/"}, "--base gives the address of pages read with --page; there are none"},
      {{"-c", "list"}, "-c carries on a results file; it needs -o FILE"},
      {{"--page", "-", "--page", "-"},
       "standard input holds one page or one list; give '-' only once"},
      {{"--page", "-", "list", "-"},
       "standard input holds one page or one list; give '-' only once"},
  };
  for (const auto& [args, error] : cases) {
    EXPECT_EQ(ParseExtractArguments(args).error, error) << args[0];
  }
  EXPECT_EQ(ParseExtractArguments({"--page", "-", "-u", "h"}).error, "");
}

// The help fits a terminal of 80 columns and names every option.
TEST(ExtractOptions, UsageText) {
  const std::string usage = ExtractUsageText();
  std::istringstream lines(usage);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
  for (const char* option : {"--url",      "--page",       "--base",    "--continue",
                             "--output",   "--csv",        "--json",    "--null",
                             "--quiet",    "--help",       "--version", "--jobs",
                             "--per-host", "--delay",      "--retries", "--connect-timeout",
                             "--timeout",  "--user-agent", "--header",  "--cookie",
                             "--proxy",    "--cacert",     "--insecure"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  EXPECT_NE(usage.find("(1 to 1000, default 64)"), std::string::npos);
  EXPECT_NE(usage.find("(default 15)"), std::string::npos) << "the connection time-out";
}

}  // namespace
}  // namespace verdigo
