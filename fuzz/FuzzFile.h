// The fuzz input as a file, for targets whose parser reads only files. The
// INI engine and the line reader read bytes in memory: their targets touch
// no disk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Base.h"

namespace kvfuzz {
// Writes the bytes to this process's scratch file in $TMPDIR (or /tmp) and
// returns its name; the file is removed when the process ends normally.
kv::String WriteInput(const std::uint8_t* data, std::size_t size);
}
