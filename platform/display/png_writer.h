// Writes a surface as an 8-bit RGB PNG file through libpng.
#pragma once

#include <string>

#include "platform/display/surface.h"

namespace sk::platform::display {

// False and last_system_error() when the file cannot be written.
bool write_png(const Surface& surface, const std::string& path);

}  // namespace sk::platform::display
