#include "cad/chain_fitter.h"

#include <chrono>
#include <utility>

#include "raster/thread_start.h"

namespace vp::cad {

namespace {

// A batch is this many pixels of chains; this many batches wait at most.
constexpr std::size_t kBatchPixels = 1 << 14;
constexpr std::size_t kMostQueued = 6;
// This thread asks whether to stop this often while it waits for the helper.
constexpr std::chrono::milliseconds kAskWhileWaiting{40};

// A chain's pieces into the graph, each break between two pieces a vertex of its own.
void add_pieces(PieceGraph& graph, std::vector<Piece> pieces, std::int32_t first_vertex, std::int32_t last_vertex) {
  std::int32_t from = first_vertex;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const std::int32_t to = k + 1 == pieces.size() ? last_vertex : graph.add_vertex(pieces[k].b);
    graph.add(std::move(pieces[k]), from, to);
    from = to;
  }
}

}  // namespace

ChainFitter::ChainFitter(const std::vector<SkeletonNode>& nodes, const ChainFitSettings& settings, PieceGraph& graph,
                         StopCheck& stop)
    : nodes_(nodes), settings_(settings), graph_(graph), stop_(stop) {
  worker_ = try_start_thread([this] { work(); });
}

ChainFitter::~ChainFitter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  abandon_ = true;
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

bool ChainFitter::take(Chain& chain) {
  open_pixels_ += chain.pixels.size();
  open_.chains.push_back(std::move(chain));
  if (open_pixels_ >= kBatchPixels) return queue_open_batch();
  return !stop_.stopped();
}

bool ChainFitter::finish() { return queue_open_batch() && commit(true); }

template <class Ready>
bool ChainFitter::wait_heard(std::unique_lock<std::mutex>& lock, Ready ready) {
  while (!changed_.wait_for(lock, kAskWhileWaiting, ready)) {
    lock.unlock();
    const bool go_on = stop_.ask();
    lock.lock();
    if (!go_on) return false;
  }
  return true;
}

bool ChainFitter::queue_open_batch() {
  if (open_.chains.empty()) return !stop_.stopped();
  if (!worker_.joinable()) {  // no helper: fitted here, at once
    fit(open_, own_centres_);
    open_.done = true;
    if (stop_.stopped()) return false;
  }
  {
    std::unique_lock lock(mutex_);
    // The walk waits for the helper rather than holding many batches.
    if (!wait_heard(lock, [&] { return queued_.size() < kMostQueued || queued_.front().done; })) return false;
    queued_.push_back(std::exchange(open_, Batch{}));
  }
  open_pixels_ = 0;
  changed_.notify_all();
  return commit(false);
}

void ChainFitter::fit(Batch& batch, std::vector<Point>& centres) {
  batch.fitted.reserve(batch.chains.size());
  ChainFitSettings settings = settings_;
  settings.limits.abandon = &abandon_;  // a blot's long outline is fitted for a while
  for (const Chain& chain : batch.chains) {
    // A stop from this thread (on its own, it asks as it goes) or from the walk's.
    if (abandon_ || (!worker_.joinable() && !stop_.keep_going(1 + static_cast<std::int64_t>(chain.pixels.size()) / 16)))
      return;
    batch.fitted.push_back(fit_chain(chain, nodes_, settings, centres));
  }
}

void ChainFitter::work() {
  std::vector<Point> centres;
  std::unique_lock lock(mutex_);
  for (;;) {
    Batch* next = nullptr;
    changed_.wait(lock, [&] {
      for (Batch& b : queued_)
        if (!b.taken) {
          next = &b;
          return true;
        }
      return stopping_;
    });
    if (next == nullptr) return;
    next->taken = true;
    lock.unlock();
    try {
      fit(*next, centres);
    } catch (...) {
      lock.lock();
      if (!failure_) failure_ = std::current_exception();
      next->done = true;
      changed_.notify_all();
      continue;
    }
    lock.lock();
    next->done = true;
    changed_.notify_all();
  }
}

bool ChainFitter::commit(bool all) {
  for (;;) {
    Batch batch;
    {
      std::unique_lock lock(mutex_);
      if (all && !wait_heard(lock, [&] { return queued_.empty() || queued_.front().done; })) return false;
      if (failure_) std::rethrow_exception(failure_);
      if (stop_.stopped()) return false;
      if (queued_.empty() || !queued_.front().done) return true;
      batch = std::move(queued_.front());
      queued_.pop_front();
    }
    changed_.notify_all();
    while (graph_.vertices.size() < nodes_.size()) graph_.add_vertex(nodes_[graph_.vertices.size()].position);
    for (FittedChain& chain : batch.fitted) {
      if (!stop_.keep_going()) return false;
      if (chain.pieces.empty()) continue;
      if (chain.start_node >= 0) {
        add_pieces(graph_, std::move(chain.pieces), chain.start_node, chain.end_node);
      } else if (chain.pieces.size() == 1 && chain.pieces.front().kind == PieceKind::Circle) {
        graph_.add(std::move(chain.pieces.front()), -1, -1);
      } else {
        const std::int32_t start = graph_.add_vertex(chain.pieces.front().a);
        add_pieces(graph_, std::move(chain.pieces), start, start);
      }
    }
  }
}

}  // namespace vp::cad
