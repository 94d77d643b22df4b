// Fitting the skeleton's chains while the walk goes on: chains gather into
// batches, a helper thread fits them (this thread, when none can be had), and
// their pieces join the graph in the walk's order, so the drawing does not
// depend on the threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "cad/chain_fit.h"
#include "cad/piece_graph.h"
#include "cad/stop_check.h"

namespace vp::cad {

class ChainFitter {
 public:
  // `stop` is asked while this thread waits for the helper and while pieces join the graph.
  ChainFitter(const std::vector<SkeletonNode>& nodes, const ChainFitSettings& settings, PieceGraph& graph,
              StopCheck& stop);
  ~ChainFitter();  // a walk that stopped or threw leaves its batches unused
  ChainFitter(const ChainFitter&) = delete;
  ChainFitter& operator=(const ChainFitter&) = delete;

  // Takes the chain's pixels over. False once a stop was asked for.
  bool take(Chain& chain);
  // Fits what is left and adds every chain's pieces; rethrows what the helper threw.
  // False when a stop was asked for (the graph is then incomplete).
  bool finish();

 private:
  struct Batch {
    std::vector<Chain> chains;
    std::vector<FittedChain> fitted;
    bool taken = false, done = false;
  };
  bool queue_open_batch();
  void fit(Batch& batch, std::vector<Point>& centres);
  void work();
  // Waits until `ready` holds, asking `stop_` now and then; false when a stop was asked for.
  template <class Ready>
  bool wait_heard(std::unique_lock<std::mutex>& lock, Ready ready);
  // Adds the finished batches at the front to the graph; with `all`, waits for
  // every one. False when a stop was asked for.
  bool commit(bool all);

  const std::vector<SkeletonNode>& nodes_;
  const ChainFitSettings& settings_;
  PieceGraph& graph_;
  StopCheck& stop_;
  Batch open_;
  std::size_t open_pixels_ = 0;
  std::deque<Batch> queued_;  // in the walk's order
  std::vector<Point> own_centres_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::atomic<bool> abandon_{false};  // the helper leaves its batch unfinished
  std::exception_ptr failure_;
  std::thread worker_;
};

}  // namespace vp::cad
