// IMAGE controls: the named picture file found in the start directory, decoded and
// drawn; files that are missing or cannot be read draw nothing.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "fake_host.h"
#include "platform/file.h"
#include "ui/controls/image_file.h"
#include "ui/controls/static_controls.h"

using namespace sk::ui;
using namespace sk::ui::testing;
namespace d = sk::platform::display;
namespace fs = std::filesystem;

namespace {

// A width x height RGBA picture: red on the left half, blue on the right, with the
// top-left pixel transparent.
bool write_test_png(const std::string& path, int width, int height) {
    std::vector<png_byte> px(static_cast<std::size_t>(width * height * 4));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            png_byte* p = &px[static_cast<std::size_t>((y * width + x) * 4)];
            const bool left = x < width / 2;
            p[0] = left ? 255 : 0, p[1] = 0, p[2] = left ? 0 : 255, p[3] = (x == 0 && y == 0) ? 0 : 255;
        }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, px.data(), 0, nullptr) != 0;
}

void write_bytes(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

class ImageControl : public ControlWindow {
protected:
    void SetUp() override {
        ControlWindow::SetUp();
        char tmpl[] = "/tmp/sk-image-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        saved_cwd = sk::platform::current_directory();
        ASSERT_TRUE(sk::platform::set_current_directory(dir));
    }
    void TearDown() override {
        sk::platform::set_current_directory(saved_cwd);
        std::error_code ec;
        fs::remove_all(dir, ec);
        ControlWindow::TearDown();
    }
    GraphicControl& image(const char* file, PixelRect r) {
        definitions.push_back(std::make_unique<ControlDefinition>());
        ControlDefinition& c = *definitions.back();
        c.kind = kKindImage;
        c.field = 3;
        c.file = file;
        auto& control = add(create_control(host, c, {}, {}, r));
        pump();
        return dynamic_cast<GraphicControl&>(control);
    }
    d::Color at(const Control& c, int x, int y) { return d::headless::screen_pixel(screen_of(c, x, y)); }

    std::string dir, saved_cwd;
    std::vector<std::unique_ptr<ControlDefinition>> definitions;
};

}  // namespace

TEST_F(ImageControl, DrawsThePictureNamedInItsDefinition) {
    // The definition names a GIF in upper case; the start directory holds its PNG.
    ASSERT_TRUE(write_test_png(dir + "/linkdb01.png", 20, 10));
    GraphicControl& g = image("LINKDB01.GIF", {10, 10, 50, 40});
    ASSERT_NE(g.image(), nullptr);
    EXPECT_EQ(g.image()->width(), 20);
    EXPECT_EQ(g.image()->height(), 10);
    const d::Color face = d::system_color(d::SystemColor::kButtonFace);
    EXPECT_EQ(at(g, 3, 5), d::rgb(255, 0, 0));
    EXPECT_EQ(at(g, 15, 5), d::rgb(0, 0, 255));
    EXPECT_EQ(at(g, 0, 0), face);    // transparent
    EXPECT_EQ(at(g, 30, 20), face);  // beyond the picture
    // A picture larger than the control is clipped to it.
    ASSERT_TRUE(write_test_png(dir + "/wide.png", 200, 100));
    GraphicControl& wide = image("wide.png", {100, 10, 140, 40});
    ASSERT_NE(wide.image(), nullptr);
    EXPECT_EQ(at(wide, 39, 29), d::rgb(255, 0, 0));
    EXPECT_EQ(d::headless::screen_pixel(screen_of(wide, 45, 15)), face);
    // A backslash in the name is a directory separator.
    fs::create_directory(dir + "/pics");
    ASSERT_TRUE(write_test_png(dir + "/pics/logo.png", 4, 4));
    EXPECT_EQ(find_image_file("pics\\LOGO.PNG"), dir + "/pics/logo.png");
}

TEST_F(ImageControl, MissingOrUnreadableFilesDrawNothing) {
    write_bytes(dir + "/broken.png", std::string("\x89PNG\r\n\x1a\n", 8) + "not really a picture");
    write_bytes(dir + "/plain.gif", "GIF89a");
    fs::create_directory(dir + "/folder.png");
    const d::Color face = d::system_color(d::SystemColor::kButtonFace);
    int x = 10;
    for (const char* name : {"absent.gif", "broken.png", "plain.gif", "folder.png", "", "sub\\"}) {
        GraphicControl& g = image(name, {x, 10, x + 30, 40});
        EXPECT_EQ(g.image(), nullptr) << name;
        EXPECT_EQ(at(g, 5, 5), face) << name;
        x += 40;
    }
    EXPECT_EQ(find_image_file("plain.gif"), "");
    EXPECT_EQ(read_png_file(dir + "/broken.png"), nullptr);
}
