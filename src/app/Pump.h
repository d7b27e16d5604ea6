#pragma once
// Waiting on the GUI thread without freezing the windows.
#include <cstdint>

#include "controls/Controls.h"

namespace quill::app {

// The due time of a wait in 100-nanosecond units, negative meaning "from
// now": amount x milliseconds per unit x -10000, in double precision, cut
// toward zero. Unit codes 0 to 3 are ms, s, min, h; any other code is
// itself the milliseconds per unit. Values beyond 64 bits saturate.
std::int64_t DueTime(int amount, int unit);

class QtMessagePump final : public controls::MessagePump {
 public:
  void ProcessPending() override;
  // A due time of zero or later than now (a positive due time is an
  // absolute time, long past) returns at once; otherwise events are
  // processed until it has passed. Off the GUI thread, where there is
  // nothing to process, it simply sleeps.
  bool PumpingWait(int amount = 0, int unit = 0) override;
};

}  // namespace quill::app
