// Decoding on a thread of its own: a reader's grey rows are decoded on a second
// thread and handed, in bands of rows through a bounded queue, to the clean-up on
// the calling thread, so that the two work at once. The rows reach the sink in
// the order the reader gives them, exactly as a reading on one thread would.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <thread>

#include "scan/threshold.h"

namespace vp::scan {

// What a reading on two threads shares with the reader: `stop` is set when the
// clean-up stops the reading, for the reader's own stop check (which runs on the
// decoding thread, where nothing of the front end may be asked).
struct DecodingStop {
  std::atomic<bool> stop{false};
  bool requested() const { return stop.load(std::memory_order_relaxed); }
};

class BandQueue;
struct Band;

// The rows of `source`, decoded on a thread of its own, taken one at a time on
// the calling thread. While it waits for rows, next() asks `keep_going` now and
// then (false stops the reading, as a sink returning false would).
class DecodedRows {
 public:
  DecodedRows(const GreySource& source, std::int32_t width, std::function<bool()> keep_going = {},
              DecodingStop* stop = nullptr);
  ~DecodedRows();  // stops the decoding thread and waits for it
  DecodedRows(const DecodedRows&) = delete;
  DecodedRows& operator=(const DecodedRows&) = delete;

  // False when no thread could be had: nothing was read (read `source` itself).
  bool started() const { return decoder_.joinable(); }
  // The next row (valid until the next call); false at the end of the reading or once stopped.
  bool next(std::int32_t& row, std::span<const std::uint8_t>& grey);
  // Stops the reading (the decoder leaves off at its next row).
  void stop();
  // Waits for the decoding thread to end (stopping it unless every row was
  // taken); the reader's status, or its exception (std::bad_alloc) thrown again
  // here. May be called again: the same status.
  ImageStatus finish();

 private:
  std::unique_ptr<BandQueue> queue_;
  std::unique_ptr<Band> band_;  // the band rows are taken from
  std::size_t taken_ = 0;
  bool stopped_ = false;
  bool finished_ = false;
  ImageStatus status_ = ImageStatus::Unreadable;
  std::function<bool()> keep_going_;
  DecodingStop* stop_;
  std::thread decoder_;
};

// A source that reads `source` through DecodedRows into its sink (`source` on the
// calling thread when no second thread can be had). The decoding thread has
// ended before the source returns, whatever happened.
GreySource decoded_on_own_thread(GreySource source, std::int32_t width, std::function<bool()> keep_going = {},
                                 DecodingStop* stop = nullptr);

// Rows per band and bands in the queue: enough for the threads to run apart for
// a while, little memory (about 6 MiB; two rows where a row is wider than a band).
constexpr std::size_t kBandBytes = std::size_t{1} << 20;
constexpr std::size_t kQueuedBands = 4;

}  // namespace vp::scan
