#include "sim/step_clock.h"

namespace listpool::sim {

void StepClock::OnEvent(const Event& event) {
    Event stamped = event;
    stamped.timeMs = steps_;
    next_.OnEvent(stamped);
    if (event.phase == Event::kDone && event.op != Op::kEnd) {
        ++steps_;
    }
}

}  // namespace listpool::sim
