// CancelState: the outcome code of the last conversion or save.
#pragma once

#include <cstdint>

namespace vp {

enum CancelCode : std::int32_t {
  kNoFailure = 0,    // the run or save goes on, or has succeeded
  kAborted = 1,      // aborted by the user; for a save: not written
  kOutOfMemory = 2,  // a table or the grid did not get its storage
  kUnreadable = 3,   // the bitmap could not be read or its format is not supported
};

}  // namespace vp
