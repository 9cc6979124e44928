// The fuzz input as a file: the reader and the INI engine read files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Base.h"

namespace kvfuzz {
// Writes the bytes to this process's scratch file and returns its name.
kv::String WriteInput(const std::uint8_t* data, std::size_t size);
}
