// Finding and decoding the image files of IMAGE controls (through libpng's
// simplified reading interface).
#include "ui/controls/image_file.h"

#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/file.h"

namespace sk::ui {

namespace pd = sk::platform::display;

namespace {

bool has_png_signature(const std::string& path) {
    // Only a regular file: a FIFO or device would block or never end.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    unsigned char head[8] = {};
    const bool ok = std::fread(head, 1, sizeof head, f) == sizeof head && png_sig_cmp(head, 0, sizeof head) == 0;
    std::fclose(f);
    return ok;
}

std::string directory_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string join(const std::string& dir, const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string with_png_extension(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? name.substr(0, dot) : name;
    return stem + ".png";
}

}  // namespace

std::unique_ptr<pd::Surface> read_png_file(const std::string& path) {
    if (!has_png_signature(path)) return nullptr;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return nullptr;
    if (image.width == 0 || image.height == 0 || image.width > static_cast<png_uint_32>(kMaxImageSide) ||
        image.height > static_cast<png_uint_32>(kMaxImageSide)) {
        png_image_free(&image);
        return nullptr;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) {
        png_image_free(&image);
        return nullptr;
    }
    const int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
    auto surface = std::make_unique<pd::Surface>(w, h, 0);
    for (int y = 0; y < h; ++y) {
        const png_byte* in = bytes.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 4;
        pd::Color* out = surface->row(y);
        for (int x = 0; x < w; ++x, in += 4)
            out[x] = (static_cast<pd::Color>(in[3]) << 24) | (static_cast<pd::Color>(in[0]) << 16) |
                     (static_cast<pd::Color>(in[1]) << 8) | in[2];
    }
    return surface;
}

std::string find_image_file(std::string_view name) {
    std::string file(name);
    for (char& c : file)
        if (c == '\\') c = '/';
    if (file.empty() || file.back() == '/') return std::string();
    std::vector<std::string> dirs{sk::platform::current_directory()};
    const std::string program_dir = directory_of(sk::platform::program_path());
    if (!program_dir.empty() && program_dir != dirs.front()) dirs.push_back(program_dir);
    for (const std::string& dir : dirs) {
        for (const std::string& candidate : {file, with_png_extension(file)}) {
            const std::string path = sk::platform::find_case_insensitive(join(dir, candidate));
            if (has_png_signature(path)) return path;
        }
    }
    return std::string();
}

std::unique_ptr<pd::Surface> load_image(std::string_view name) {
    const std::string path = find_image_file(name);
    return path.empty() ? nullptr : read_png_file(path);
}

}  // namespace sk::ui
