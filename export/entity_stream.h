// Writing a drawing's entities in their order, where each one's text depends on
// its record alone: a helper thread formats chunks of them while the calling
// thread formats others and writes them out, so that the text of a large
// drawing takes about half the time. Without a helper the calling thread
// formats them all; the text is the same either way.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>

#include "raster/progress.h"

namespace vp {

// Writes entity i's text into `into` (room for the most an entity takes) and
// returns its length. Called from two threads at once.
using FormatEntity = std::function<std::size_t(std::size_t i, char* into)>;

// Below this many entities the calling thread formats each as it writes it.
inline constexpr std::size_t kLeastSharedEntities = std::size_t{1} << 12;

// Writes entities 0 .. count - 1 to `out`, each of at most `most` bytes, and
// reports each (Phase::Save, i + 1, count) once it is written. False when a
// write fails or the progress asks to stop; the rest is then left unwritten.
// May throw std::bad_alloc.
bool write_entities(std::ostream& out, std::size_t count, std::size_t most, const FormatEntity& format,
                    Progress& progress);

}  // namespace vp
