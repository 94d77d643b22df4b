#include "scan/decoding_thread.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "raster/thread_start.h"

namespace vp::scan {

struct Band {
  std::vector<std::uint8_t> levels;  // rows one after the other, `width` bytes each
  std::vector<std::int32_t> rows;    // each row's index from the top
};

// The bands between the two threads: the decoder fills empty ones, the clean-up
// drains filled ones and gives them back. Bands are made as needed, at most
// kQueuedBands + 2 (one being filled, one being drained), or 2 of rows wider than a band.
class BandQueue {
 public:
  explicit BandQueue(std::int32_t width)
      : width_(static_cast<std::size_t>(width)),
        rows_per_band_(std::max<std::size_t>(1, kBandBytes / width_)),
        // Rows wider than a band are a band each: two of them (one filled, one
        // drained) keep the threads apart without holding several such rows.
        most_bands_(width_ > kBandBytes ? 2 : kQueuedBands + 2) {}

  // Decoding thread: the row into the band being filled, handed on once full.
  // False once the clean-up has stopped the reading.
  bool add(std::int32_t row, std::span<const std::uint8_t> grey) {
    if (!filling_) {
      std::unique_lock lock(mutex_);
      room_.wait(lock, [&] { return cancelled_ || !empty_.empty() || made_ < most_bands_; });
      if (cancelled_) return false;
      if (!empty_.empty()) {
        filling_ = std::move(empty_.back());
        empty_.pop_back();
      } else {
        ++made_;
        lock.unlock();
        filling_ = std::make_unique<Band>();
        filling_->levels.resize(rows_per_band_ * width_);
        filling_->rows.reserve(rows_per_band_);
      }
    }
    // A row is `width` bytes; never more into the band, whatever a reader hands over.
    std::copy_n(grey.begin(), std::min(grey.size(), width_),
                filling_->levels.begin() + static_cast<std::ptrdiff_t>(filling_->rows.size() * width_));
    filling_->rows.push_back(row);
    if (filling_->rows.size() == rows_per_band_) return hand_on();
    return !cancelled();
  }

  // Decoding thread: the reading is over (the band begun goes too).
  void finish(ImageStatus status, std::exception_ptr error) {
    if (filling_ && !filling_->rows.empty()) hand_on();
    const std::lock_guard lock(mutex_);
    done_ = true;
    status_ = status;
    error_ = std::move(error);
    rows_ready_.notify_all();
  }

  // Calling thread: the next filled band, empty at the end of the reading;
  // asks `keep_going` every few milliseconds while it waits (false: empty too).
  std::unique_ptr<Band> take(const std::function<bool()>& keep_going) {
    std::unique_lock lock(mutex_);
    while (filled_.empty() && !done_) {
      if (rows_ready_.wait_for(lock, std::chrono::milliseconds(20)) == std::cv_status::timeout && keep_going) {
        lock.unlock();
        const bool go_on = keep_going();
        lock.lock();
        if (!go_on) return nullptr;
      }
    }
    if (filled_.empty()) return nullptr;
    std::unique_ptr<Band> band = std::move(filled_.front());
    filled_.pop_front();
    return band;
  }

  // Calling thread: a drained band, for the decoder to fill again.
  void give_back(std::unique_ptr<Band> band) {
    band->rows.clear();
    const std::lock_guard lock(mutex_);
    empty_.push_back(std::move(band));
    room_.notify_one();
  }

  // Calling thread: the decoder is to stop at its next row.
  void cancel() {
    const std::lock_guard lock(mutex_);
    cancelled_ = true;
    room_.notify_all();
  }

  // Whether the decoder has finished and every band has been taken.
  bool over() {
    const std::lock_guard lock(mutex_);
    return done_ && filled_.empty();
  }
  std::size_t width() const { return width_; }
  ImageStatus status() const { return status_; }
  const std::exception_ptr& error() const { return error_; }

 private:
  bool cancelled() {
    const std::lock_guard lock(mutex_);
    return cancelled_;
  }
  bool hand_on() {
    const std::lock_guard lock(mutex_);
    filled_.push_back(std::move(filling_));
    rows_ready_.notify_one();
    return !cancelled_;
  }

  const std::size_t width_, rows_per_band_, most_bands_;
  std::unique_ptr<Band> filling_;  // the decoding thread's own
  std::mutex mutex_;
  std::condition_variable room_, rows_ready_;
  std::deque<std::unique_ptr<Band>> filled_;
  std::vector<std::unique_ptr<Band>> empty_;
  std::size_t made_ = 0;
  bool cancelled_ = false, done_ = false;
  ImageStatus status_ = ImageStatus::Ok;
  std::exception_ptr error_;
};

DecodedRows::DecodedRows(const GreySource& source, std::int32_t width, std::function<bool()> keep_going,
                         DecodingStop* stop)
    : queue_(std::make_unique<BandQueue>(width)), keep_going_(std::move(keep_going)), stop_(stop) {
  if (stop_ != nullptr) stop_->stop = false;
  BandQueue& queue = *queue_;
  decoder_ = try_start_thread([&queue, source] {
    ImageStatus status = ImageStatus::Unreadable;
    std::exception_ptr error;
    try {
      status = source([&](std::int32_t row, std::span<const std::uint8_t> grey) { return queue.add(row, grey); });
    } catch (...) {
      error = std::current_exception();
    }
    queue.finish(status, std::move(error));
  });
}

DecodedRows::~DecodedRows() {
  if (finished_ || !decoder_.joinable()) return;
  stop();
  decoder_.join();
}

bool DecodedRows::next(std::int32_t& row, std::span<const std::uint8_t>& grey) {
  if (stopped_ || finished_ || !decoder_.joinable()) return false;
  if (band_ && taken_ == band_->rows.size()) queue_->give_back(std::move(band_));
  if (!band_) {
    band_ = queue_->take(keep_going_);
    taken_ = 0;
    if (!band_) {
      if (!queue_->over()) stop();  // keep_going said no
      return false;
    }
  }
  row = band_->rows[taken_];
  grey = {band_->levels.data() + taken_ * queue_->width(), queue_->width()};
  ++taken_;
  return true;
}

void DecodedRows::stop() {
  stopped_ = true;
  if (stop_ != nullptr) stop_->stop = true;
  queue_->cancel();
}

ImageStatus DecodedRows::finish() {
  if (finished_ || !decoder_.joinable()) return status_;
  if (!queue_->over()) stop();
  decoder_.join();
  finished_ = true;
  if (queue_->error()) std::rethrow_exception(queue_->error());
  return status_ = queue_->status();
}

GreySource decoded_on_own_thread(GreySource source, std::int32_t width, std::function<bool()> keep_going,
                                 DecodingStop* stop) {
  return [source = std::move(source), width, keep_going = std::move(keep_going),
          stop](const GreyRowSink& sink) -> ImageStatus {
    DecodedRows rows(source, width, keep_going, stop);
    if (!rows.started()) return source(sink);  // no second thread: the reading as on one
    std::int32_t row = 0;
    std::span<const std::uint8_t> grey;
    while (rows.next(row, grey)) {
      if (!sink(row, grey)) {
        rows.stop();
        break;
      }
    }
    return rows.finish();
  };
}

}  // namespace vp::scan
