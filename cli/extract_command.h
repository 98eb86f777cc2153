#pragma once

#include "cli/address_reader.h"
#include "cli/extract_options.h"
#include "cli/page_sources.h"
#include "engine/interfaces.h"

// verdigo-extract: downloads the pages of address lists through the link
// engine and writes their rows to standard output or a results file.
namespace verdigo {

// Exit status: 0 when every page was downloaded, 1 when some page was not
// found, 2 for a wrong command line or a file that cannot be read or written.
int RunExtractCommand(int argc, char** argv);

// Where a run writes.
struct ExtractStreams {
  int out;  // the rows, unless the options name a results file
  int err;  // messages, and the progress line when it is a terminal
};

struct ExtractOutcome {
  int exitStatus = 0;
  // The reader of `out` went away (EPIPE, or seen gone while the run
  // waited): the run ended early, and the process should end as a command in
  // a pipeline does.
  bool readerGone = false;
};

// The run itself, given its parts: the addresses in list order, the
// downloader that fetches them (the engine starts pages ahead of their turn
// and collects them in order), the page files it writes into and the
// descriptors it writes to. Rows always come in list order. The pages the
// options read from files (--page) come first; one that cannot be opened
// ends the run with status 2 before anything is written.
ExtractOutcome RunExtraction(const ExtractOptions& options, AddressReader& addresses,
                             Downloader& downloader, PageFiles& pageFiles, ExtractStreams streams);
// The same with the pages from files opened already.
ExtractOutcome RunExtraction(const ExtractOptions& options, AddressReader& addresses,
                             PageSources& pages, Downloader& downloader, PageFiles& pageFiles,
                             ExtractStreams streams);

}  // namespace verdigo
