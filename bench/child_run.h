// Running a program as a child process for the benchmarks: its wall and CPU
// time and its peak resident memory, its output discarded.
#pragma once

#include <string>
#include <vector>

namespace vp::bench {

struct ChildRun {
  bool ok = false;         // exited with status 0
  double seconds = 0;      // wall time
  double cpu_seconds = 0;  // user and system time: what other work on the machine does not inflate
  double peak_mib = 0;
};

ChildRun run_child(const std::vector<std::string>& argv);

// The fastest of `runs` runs; the first failed run as soon as one fails.
ChildRun best_of(int runs, const std::vector<std::string>& argv);

}  // namespace vp::bench
