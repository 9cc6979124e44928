// The bitmaps the dialog controls draw: resources of the Windows builds,
// data compiled into the native build.
#pragma once

#include "toolkit/Canvas.h"

namespace kv {

// The bitmap resource of that name ("BMPCL_ARROWS", "BMPCOL_BUTTON",
// "BMPSHIELD_BIG", "BMPSHIELD_SMALL"), with the bottom-left pixel as its
// transparent colour. Raises EResNotFound "Resource <name> not found".
TBitmap LoadBitmapResource(StringView name);

// Native builds: the embedded files, by name.
struct TEmbeddedResource {
  const char16_t* Name;
  const unsigned char* Data;
  std::size_t Size;
};
const TEmbeddedResource* EmbeddedResources(std::size_t& count);

}  // namespace kv
