#pragma once
// The operating system's clock.

#include "base/utc_time.h"

namespace varne4 {

// UTC comes from the system clock directly, so no time-zone arithmetic can go
// wrong around daylight-saving changes; the local date only names screenshots.
class SystemClock final : public Clock {
public:
    DateTime utcNow() const override;
    DateTime localNow() const override;
};

} // namespace varne4
