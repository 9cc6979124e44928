// The Windows builds carry the bitmaps as resources, not as data.
#include "ui/KVResources.h"

namespace kv {

const TEmbeddedResource* EmbeddedResources(std::size_t& count) {
  count = 0;
  return nullptr;
}

}  // namespace kv
