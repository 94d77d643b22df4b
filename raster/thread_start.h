// Starting a helper thread where the system may refuse one (a limit on
// processes, no address space left for its stack): the work then goes on with
// fewer threads instead of ending the program.
#pragma once

#include <functional>
#include <thread>

namespace vp {

// The thread running `work`, or an empty (not joinable) one when the system
// refused to start it; `work` has then not run.
std::thread try_start_thread(std::function<void()> work);

// A helper thread that is joined when the object goes, however the scope that
// holds it ends, a throw included: `before_join` runs first, while the thread
// still runs, to tell it to stop early. join() waits for it to end by itself.
class JoinedThread {
 public:
  explicit JoinedThread(std::thread thread, std::function<void()> before_join = {});
  ~JoinedThread();
  JoinedThread(const JoinedThread&) = delete;
  JoinedThread& operator=(const JoinedThread&) = delete;
  // Whether the thread was started and is not yet joined.
  bool running() const { return thread_.joinable(); }
  void join();

 private:
  std::thread thread_;
  std::function<void()> before_join_;
};

// Whether a thread has been refused since the program began, so that the
// program can say once that it went on with fewer.
bool threads_were_refused();

// Test hook: refuse every thread from now on (or stop refusing, and forget the refusals).
void refuse_threads_for_testing(bool refuse);

}  // namespace vp
