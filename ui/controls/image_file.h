// The pictures of IMAGE controls: a definition names an image file, which is looked
// for in the start directory and beside the program and decoded into a surface.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/display/surface.h"

namespace sk::ui {

// Largest picture decoded, each way; a larger one is refused rather than allocated.
inline constexpr int kMaxImageSide = 8192;

// Decodes a PNG file into a surface with its alpha channel (pixels with alpha 0 are
// left out when drawn). nullptr when the file is missing, is no PNG, is damaged or
// is larger than kMaxImageSide either way.
std::unique_ptr<sk::platform::display::Surface> read_png_file(const std::string& path);

// The file an image name stands for: the name (a backslash counts as a directory
// separator) in the current directory, then in the program's directory, in either
// letter case; for each, the name itself when it holds a PNG, else the same name
// with the extension ".png". Empty when none exists.
std::string find_image_file(std::string_view name);

// find_image_file and read_png_file together: nullptr when the image cannot be had.
std::unique_ptr<sk::platform::display::Surface> load_image(std::string_view name);

}  // namespace sk::ui
