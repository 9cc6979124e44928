#include "ui/KVResources.h"

#include "platform/Resources.h"
#include "toolkit/Controls.h"

namespace kv {

TBitmap LoadBitmapResource(StringView name) {
  std::string bytes;
  if (!platform::LoadModuleResource(name, platform::kResourceBitmap, bytes)) {
    std::size_t count = 0;
    const TEmbeddedResource* table = EmbeddedResources(count);
    for (std::size_t i = 0; i < count; ++i)
      if (name == table[i].Name) bytes.assign(reinterpret_cast<const char*>(table[i].Data), table[i].Size);
  }
  if (bytes.empty()) throw EResNotFound(u"Resource " + String(name) + u" not found");
  TBitmap b = DecodeBmp(bytes);
  b.UseBottomLeftAsTransparent();
  return b;
}

}  // namespace kv
