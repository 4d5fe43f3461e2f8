// BrowseLINKDB on the headless display over the in-memory driver: the first page,
// moving with the keys, typing a letter to locate, another tab, and a screenshot
// (/tmp/browse-linkdb.png).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "app/dictionary.h"
#include "app/procedures.h"
#include "data/file_layer.h"
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "runtime/error.h"
#include "support/memory_driver.h"
#include "support/platform_temp_dir.h"
#include "procedure_test_support.h"
#include "ui/controls/list_control.h"
#include "ui/engine.h"
#include "ui/thread.h"
#include "ui/window.h"

// The forms are not what this test is about: stand-ins that cancel.
namespace sk::app {
__attribute__((weak)) void UpdateLINKDB() { LastResponse = ResponseCancelled; }
__attribute__((weak)) void UpdateCategories() { LastResponse = ResponseCancelled; }
__attribute__((weak)) void SelectCategories() { LastResponse = ResponseCancelled; }
}  // namespace sk::app

namespace {

namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;
namespace sd = sk::data;
using namespace sk::app;

template <typename Done>
bool wait_until(Done done, int timeout_ms = 8000) {
    for (int waited = 0; !done(); waited += 5) {
        if (waited >= timeout_ms) return false;
        sk::ui::LockRelease unlocked;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    sk::ui::LockRelease unlocked;
    hl::wait_until_idle(5000);
    return true;
}

std::atomic<bool> frame_done{false};

void run_frame() {
    sk::ui::Window frame(sk::ui::WindowType::kApplication, "LKDB32$lkdb3004", "MAIN$APPFRAME");
    if (frame.open()) {
        while (frame.accept()) {
        }
        if (frame.is_open()) frame.close();
    }
    frame_done = true;
}

sk::ui::Window* browse_window() {
    sk::ui::Window* f = sk::ui::application_frame();
    return f != nullptr && !f->children().empty() ? f->children().front() : nullptr;
}

sk::ui::ListControl* list() {
    sk::ui::Window* w = browse_window();
    return w ? dynamic_cast<sk::ui::ListControl*>(w->control(1)) : nullptr;
}

// The first column of every row, the selected one in brackets.
std::string rows(std::size_t column = 0) { return sk::app::test::list_column(list(), column, " ", true); }

TEST(BrowseProcedures, BrowseLINKDBPagesLocatesAndSwitchesOrder) {
    sk::test::PlatformTempDir config;
    sk::app::test::ConfigHomeIn config_home(config.path());
    ASSERT_TRUE(sk::app::test::start_headless_engine());
    sk::test::memory_store_clear();
    ASSERT_EQ(install_file_driver("KESTREL", sk::test::memory_entry), 2);
    use_categories();
    use_linkdb();
    set_fixed(cat_record.category, "NEWS");
    ASSERT_EQ(sd::add(&Categories), 0);
    for (int i = 0; i < 30; ++i) {
        std::memset(&url_record, ' ', sizeof url_record);
        std::memset(url_record.rating, 0, sizeof url_record.rating);
        const char letter = static_cast<char>('a' + i % 26);
        set_fixed(url_record.location, "http://" + std::string(1, letter) + std::to_string(i) + ".example/");
        set_fixed(url_record.description, std::string(1, static_cast<char>('A' + i % 26)) + " site " + std::to_string(i));
        set_fixed(url_record.category, "NEWS");
        ASSERT_EQ(sd::add(&LINKDB), 0);
    }
    ASSERT_NE(sk::ui::start(run_frame, 50000), 0);
    ASSERT_TRUE(wait_until([] { return sk::ui::application_frame() != nullptr; }));
    ASSERT_NE(sk::ui::start(BrowseLINKDB, 50000), 0);
    ASSERT_TRUE(wait_until([] { return list() != nullptr && list()->row_count() > 0; }));
    EXPECT_EQ(LINKDBUsers, 2);
    const std::string first = rows();
    EXPECT_EQ(first.substr(0, 10), "[A site 0]") << first;
    const std::size_t page = list()->row_count();
    EXPECT_GT(page, 3u);
    hl::press_key(pd::kVkDown);
    wait_until([] { return true; });
    EXPECT_EQ(list()->selected(), 2u) << rows();
    hl::press_key(pd::kVkNext);
    wait_until([] { return true; });
    EXPECT_NE(rows(), first);
    hl::type_text("m");
    wait_until([] { return true; });
    EXPECT_EQ(rows().substr(0, 4), "[M s") << rows();
    // The "Location" tab: the view in location order.
    browse_window()->set_property(2, 31887, "2");
    wait_until([] { return true; });
    EXPECT_EQ(rows(1).rfind("http://", 0) == 0 || rows(1).rfind("[http://", 0) == 0, true) << rows(1);
    EXPECT_TRUE(hl::save_screenshot("/tmp/browse-linkdb.png"));
    browse_window()->post(sk::ui::kEventCloseWindow);
    ASSERT_TRUE(wait_until([] { return browse_window() == nullptr; }));
    EXPECT_EQ(LINKDBUsers, 1);
    sk::ui::application_frame()->post(sk::ui::kEventCloseWindow);
    ASSERT_TRUE(wait_until([] { return frame_done.load(); }));
    EXPECT_TRUE(sk::ui::wait_for_threads());
    release_linkdb();
    release_categories();
    install_file_driver("KESTREL", nullptr);
    sk::test::memory_store_clear();
}

}  // namespace
