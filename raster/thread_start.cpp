#include "raster/thread_start.h"

#include <atomic>
#include <system_error>

namespace vp {
namespace {

std::atomic<bool> g_refused{false};
std::atomic<bool> g_refuse_for_testing{false};

}  // namespace

std::thread try_start_thread(std::function<void()> work) {
  try {
    if (g_refuse_for_testing) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(work));
  } catch (const std::system_error&) {
    g_refused = true;
    return {};
  }
}

JoinedThread::JoinedThread(std::thread thread, std::function<void()> before_join)
    : thread_(std::move(thread)), before_join_(std::move(before_join)) {}

JoinedThread::~JoinedThread() {
  if (!thread_.joinable()) return;
  if (before_join_) before_join_();
  thread_.join();
}

void JoinedThread::join() {
  if (thread_.joinable()) thread_.join();
}

bool threads_were_refused() { return g_refused; }

void refuse_threads_for_testing(bool refuse) {
  g_refuse_for_testing = refuse;
  if (!refuse) g_refused = false;
}

}  // namespace vp
