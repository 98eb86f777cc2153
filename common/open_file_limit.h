#pragma once

#include <functional>
#include <string>

// Open descriptors: each download at once needs a socket and page files. The
// program raises its own limit as far as it may, and runs fewer downloads at
// once where even that cannot carry the number asked for, rather than fail
// pages for want of a descriptor.
namespace verdigo {

// Descriptors one download at once may hold: its socket (two while libcurl
// tries a second address) and the pair of its resolver, and two page files,
// since twice as many pages as downloads are started ahead.
inline constexpr long kDescriptorsPerJob = 5;
// Descriptors kept for everything else: standard streams, lists, the output,
// the private folder, libcurl's wake-up pipe, the window's own.
inline constexpr long kDescriptorsReserved = 32;

// Raises the soft limit on open files to the hard limit; returns the soft
// limit then in force.
long RaiseOpenFileLimit();

struct FittedJobs {
  int jobs = 1;
  std::string message;  // empty when the jobs asked for fit
};

// The downloads at once, at most `jobs`, that `openFileLimit` descriptors
// carry (at least one), and what to tell the user when they are fewer.
FittedJobs FitJobsToOpenFiles(int jobs, long openFileLimit);

// Raises the limit and fits `jobs` to it; `tell`, when given, hears once
// why the downloads at once are fewer.
int JobsThatFitOpenFiles(int jobs, const std::function<void(const std::string&)>& tell = {});

}  // namespace verdigo
