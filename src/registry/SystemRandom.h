#pragma once

#include <cstddef>

namespace pw {

// Fills the buffer from the operating system's random source; false when the
// source is unavailable.
bool FillSystemRandom(void* buffer, std::size_t size);

}  // namespace pw
