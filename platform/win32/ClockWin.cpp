#include <windows.h>

#include "platform/Clock.h"

namespace kv::platform {

LocalDateTime LocalNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

}  // namespace kv::platform
