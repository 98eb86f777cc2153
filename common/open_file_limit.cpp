#include "common/open_file_limit.h"

#include <sys/resource.h>

#include <algorithm>
#include <limits>

namespace verdigo {

long RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return std::numeric_limits<long>::max();
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY ||
      limit.rlim_cur > static_cast<rlim_t>(std::numeric_limits<long>::max())) {
    return std::numeric_limits<long>::max();
  }
  return static_cast<long>(limit.rlim_cur);
}

FittedJobs FitJobsToOpenFiles(int jobs, long openFileLimit) {
  const long fitting = std::max(1L, (openFileLimit - kDescriptorsReserved) / kDescriptorsPerJob);
  if (jobs <= fitting) return {jobs, {}};
  const int fitted = static_cast<int>(fitting);
  return {fitted, std::to_string(fitted) + " downloads at once instead of " + std::to_string(jobs) +
                      ": the open-file limit is " + std::to_string(openFileLimit) + " (ulimit -n)"};
}

int JobsThatFitOpenFiles(int jobs, const std::function<void(const std::string&)>& tell) {
  const FittedJobs fitted = FitJobsToOpenFiles(jobs, RaiseOpenFileLimit());
  if (!fitted.message.empty() && tell) tell(fitted.message);
  return fitted.jobs;
}

}  // namespace verdigo
