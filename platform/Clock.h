// The clock: the local date and time.
#pragma once

namespace kv::platform {

struct LocalDateTime {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
};

LocalDateTime LocalNow();

}  // namespace kv::platform
