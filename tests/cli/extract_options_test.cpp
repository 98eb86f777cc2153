#include "cli/extract_options.h"

#include <gtest/gtest.h>

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

TEST(ExtractOptions, JobsAndConnectionsPerHost) {
  const ParsedArguments defaults = ParseExtractArguments({});
  EXPECT_EQ(defaults.options.jobs, 16);
  EXPECT_EQ(defaults.options.perHost, 6);
  for (const Args& args : {Args{"-j", "3", "--per-host", "2"}, Args{"-j3", "--per-host=2"},
                           Args{"--jobs=3", "--per-host", "2"}, Args{"-qj", "3", "--per-host=2"}}) {
    const ParsedArguments parsed = ParseExtractArguments(args);
    ASSERT_EQ(parsed.error, "") << args[0];
    EXPECT_EQ(parsed.options.jobs, 3) << args[0];
    EXPECT_EQ(parsed.options.perHost, 2) << args[0];
  }
  EXPECT_EQ(ParseExtractArguments({"-j", "32"}).options.jobs, 32);
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
      {{"--nul"}, "unknown option '--nul'"},
      {{"--csv=yes", "-o", "f"}, "option '--csv' takes no value"},
      {{"list", "-o"}, "option '-o' needs a file name"},
      {{"--output="}, "option '--output' needs a file name"},
      {{"--csv", "list"}, "--csv needs an output file (-o FILE)"},
      {{"-0", "-o", "f"}, "-0 applies to standard output only; it cannot be used with -o"},
      {{"-j"}, "option '-j' needs a number"},
      {{"-j", "0"}, "option '-j' needs a number from 1 to 32"},
      {{"--jobs=33"}, "option '--jobs' needs a number from 1 to 32"},
      {{"--per-host", "x"}, "option '--per-host' needs a number from 1 to 32"},
      {{"-j", "-1"}, "option '-j' needs a number from 1 to 32"},
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

}  // namespace
}  // namespace verdigo
