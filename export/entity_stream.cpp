#include "export/entity_stream.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "raster/thread_start.h"

namespace vp {
namespace {

constexpr std::size_t kChunk = 1024;  // entities a chunk
constexpr std::int64_t kSlots = 4;    // chunks formatted ahead of the one being written, at most

// A chunk's text and where each of its entities ends in it.
struct Slot {
  std::vector<char> text;
  std::vector<std::size_t> ends;
  std::atomic<std::int64_t> chunk{-1};  // the chunk it holds, once formatted
};

}  // namespace

bool write_entities(std::ostream& out, std::size_t count, std::size_t most, const FormatEntity& format,
                    Progress& progress) {
  const auto total = static_cast<std::int64_t>(count);
  const auto put = [&](std::size_t i, const char* text, std::size_t length) {
    return out.write(text, static_cast<std::streamsize>(length)) &&
           progress.report(Phase::Save, static_cast<std::int64_t>(i) + 1, total);
  };
  if (count < kLeastSharedEntities) {
    std::vector<char> entity(most);
    for (std::size_t i = 0; i < count; ++i)
      if (!put(i, entity.data(), format(i, entity.data()))) return false;
    return true;
  }

  // Chunk c goes into slot c % kSlots once chunk c - kSlots is written; either
  // thread takes the next chunk whose slot is free. The calling thread writes
  // the chunks in order, and formats one only while the next to write is not ready.
  const auto chunks = static_cast<std::int64_t>((count + kChunk - 1) / kChunk);
  std::array<Slot, kSlots> slots;
  for (Slot& slot : slots) {
    slot.text.resize(kChunk * most);
    slot.ends.resize(kChunk);
  }
  std::atomic<std::int64_t> next{0}, written{0};
  std::atomic<bool> stop{false};
  const auto fill = [&](std::int64_t c) {
    Slot& slot = slots[static_cast<std::size_t>(c % kSlots)];
    const std::size_t first = static_cast<std::size_t>(c) * kChunk, end = std::min(count, first + kChunk);
    std::size_t at = 0;
    for (std::size_t i = first; i < end; ++i) {
      at += format(i, slot.text.data() + at);
      slot.ends[i - first] = at;
    }
    slot.chunk = c;
    slot.chunk.notify_all();
  };
  // The chunk taken; `chunks` when every one is taken, -1 when no slot is free.
  const auto take = [&] {
    std::int64_t c = next;
    while (c < chunks && c < written + kSlots)
      if (next.compare_exchange_weak(c, c + 1)) return c;
    return c >= chunks ? chunks : std::int64_t{-1};
  };
  const JoinedThread helper(try_start_thread([&] {
                              while (!stop) {
                                const std::int64_t c = take();
                                if (c == chunks) return;
                                if (c >= 0) {
                                  fill(c);
                                } else if (const std::int64_t seen = written; next >= seen + kSlots) {
                                  written.wait(seen);
                                }
                              }
                            }),
                            [&stop, &written] {
                              stop = true;
                              written = INT64_MAX;  // the value it may be waiting on changes
                              written.notify_all();
                            });
  for (std::int64_t w = 0; w < chunks; ++w) {
    Slot& slot = slots[static_cast<std::size_t>(w % kSlots)];
    for (std::int64_t held = slot.chunk; held != w; held = slot.chunk) {
      if (const std::int64_t c = take(); c >= 0 && c < chunks)
        fill(c);
      else
        slot.chunk.wait(held);  // the helper's, under way
    }
    const std::size_t first = static_cast<std::size_t>(w) * kChunk, end = std::min(count, first + kChunk);
    for (std::size_t i = first, from = 0; i < end; from = slot.ends[i - first], ++i)
      if (!put(i, slot.text.data() + from, slot.ends[i - first] - from)) return false;
    written = w + 1;
    written.notify_all();
  }
  return true;
}

}  // namespace vp
