// PNG output of a surface through libpng.
#include "platform/display/png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include "platform/system_error.h"

namespace sk::platform::display {

namespace {

// libpng reports errors by longjmp; keep everything that needs destruction outside
// the function that sets the jump point.
bool write_rows(FILE* file, int width, int height, std::vector<png_bytep>& rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool write_png(const Surface& surface, const std::string& path) {
    if (surface.is_empty()) {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    int w = surface.width(), h = surface.height();
    std::vector<png_byte> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3);
    std::vector<png_bytep> rows(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        png_bytep out = pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 3;
        rows[static_cast<std::size_t>(y)] = out;
        const Color* in = surface.row(y);
        for (int x = 0; x < w; ++x) {
            out[x * 3] = static_cast<png_byte>(red_of(in[x]));
            out[x * 3 + 1] = static_cast<png_byte>(green_of(in[x]));
            out[x * 3 + 2] = static_cast<png_byte>(blue_of(in[x]));
        }
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        capture_errno_for_path(path.c_str());
        return false;
    }
    bool ok = write_rows(file, w, h, rows);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) set_last_system_error(kErrWriteFault);
    return ok;
}

}  // namespace sk::platform::display
