#include "platform/Resources.h"

namespace kv::platform {

bool LoadModuleResource(StringView, std::uint32_t, std::string&) { return false; }

}  // namespace kv::platform
