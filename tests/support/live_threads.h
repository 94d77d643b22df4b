// The threads of this process, to see that work on a second thread has ended.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <system_error>
#include <thread>

namespace vp::testing {

// 0 where the system does not list them (/proc on Linux): the checks then compare 0 with 0.
inline std::size_t live_threads() {
  std::error_code error;
  std::size_t count = 0;
  for (std::filesystem::directory_iterator task("/proc/self/task", error), end; !error && task != end;
       task.increment(error))
    ++count;
  return error ? 0 : count;
}

// The count to compare with after work on other threads: taken after a first
// thread has come and gone, since a sanitizer starts a thread of its own then.
inline std::size_t live_threads_before_work() {
  std::thread([] {}).join();
  return live_threads();
}

// The count once it has come down to `expected`, or after a second: a joined
// thread can still be listed for a moment while the system reaps it.
inline std::size_t live_threads_settled(std::size_t expected) {
  std::size_t count = live_threads();
  for (int i = 0; i < 200 && count > expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    count = live_threads();
  }
  return count;
}

}  // namespace vp::testing
