#include "sim/timeline/step_clock.h"

namespace listpool::sim {

void StepClock::OnNotice(const Notice& notice) {
    Notice stamped = notice;
    stamped.time = steps_;
    next_.OnNotice(stamped);
    if (notice.phase == Notice::kDone && notice.op != Op::kEnd) {
        ++steps_;
    }
}

}  // namespace listpool::sim
