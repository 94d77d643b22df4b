#include "core/outcome.h"

#include "core/messages.h"

namespace vp {
namespace {

constexpr OutcomeText kOutcomeTexts[] = {
    {Outcome::Done, 0, messages::kLinesSuffix, {}, messages::kCompletedPrefix},
    {Outcome::Aborted, 1, messages::kNoDataLabel, {}, messages::kCancelled},
    {Outcome::OutOfMemory, 2, messages::kNoDataLabel, {}, messages::kOutOfMemory},
    {Outcome::Unreadable, 3, messages::kBadImageLabel, {}, messages::kUnreadableImage},
    {Outcome::Unsupported, 3, messages::kBadImageLabel, messages::kUnsupportedFormat, messages::kUnreadableImage},
};

}  // namespace

const OutcomeText& outcome_text(Outcome outcome) {
  for (const OutcomeText& row : kOutcomeTexts)
    if (row.outcome == outcome) return row;
  return kOutcomeTexts[1];  // not reached: every outcome has its row
}

}  // namespace vp
