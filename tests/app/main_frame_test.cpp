// Main on the headless display: the frame with its menu and the site list it
// opens at once, About, and the frame's place written when it closes.
#include "app/main_frame.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/dictionary.h"
#include "platform/display/menu.h"
#include "ui/engine.h"
#include "ui/engine_test_support.h"
#include "ui/event.h"
#include "ui/controls/list_control.h"
#include "ui/frame.h"

namespace {

namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;
using namespace sk::ui;

class MainFrame : public test::EngineTest {
protected:
    void SetUp() override {
        char dir[] = "/tmp/skmainXXXXXX";
        m_config = mkdtemp(dir);
        setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
        // The data files are created in the current directory on first use.
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_config);
        EngineTest::SetUp();
        ASSERT_TRUE(initialise_engine());
        sk::app::start_program_globals();  // globals, and the file drivers installed
    }
    void TearDown() override {
        EngineTest::TearDown();
        std::filesystem::current_path(m_previous);
        std::filesystem::remove_all(m_config);
    }
    // The flags of the menu command with this item's field number.
    static std::uint32_t item_flags(Window& frame, std::int32_t field) {
        pd::MenuId holder = 0;
        const int at = pd::find_menu_command(pd::window_menu(frame.handle()), std::uint32_t(field) + 0x4000, &holder);
        pd::MenuEntry e;
        if (at < 0 || !pd::menu_entry(holder, at, &e)) return 0xFFFFFFFF;
        return e.flags;
    }
    // Main started on a procedure thread of its own; m_main_done is set when it returns.
    bool start_main() {
        return start([this] {
                   sk::app::Main();
                   m_main_done = true;
               }) != 0;
    }
    std::string m_config;
    std::filesystem::path m_previous;
    std::atomic<bool> m_main_done{false};
};

TEST_F(MainFrame, OpensTheFrameAnswersAboutAndKeepsItsPlace) {
    ASSERT_TRUE(start_main());
    ASSERT_TRUE(wait_until([] { return application_frame() != nullptr; }));
    Window& frame = *application_frame();
    EXPECT_EQ(pd::window_text(frame.handle()), "Sitekeeper");
    // Every menu item either starts a procedure of this build or is greyed.
    for (const sk::app::MenuProcedure& p : sk::app::menu_procedures()) {
        const std::uint32_t flags = item_flags(frame, p.field);
        ASSERT_NE(flags, 0xFFFFFFFF) << p.name;
        EXPECT_EQ((flags & pd::kMenuGrayed) != 0, p.run == nullptr) << p.name;
    }
    EXPECT_EQ(item_flags(frame, -13) & pd::kMenuGrayed, 0u);  // About
    // The site list opens by itself, on a thread of its own, creating the files.
    const bool browse_open = wait_until([] { return hl::find_window_by_text("Browse Locations") != 0; });
    if (!browse_open) {
        hl::save_screenshot("/tmp/main-debug.png");
        for (pd::WindowId w : pd::child_windows(0)) ADD_FAILURE() << "window: " << pd::window_text(w);
    }
    ASSERT_TRUE(browse_open);
    EXPECT_TRUE(std::filesystem::exists(m_config + "/LINKDB.KSF"));
    // The list is the real list control, shown empty with its header.
    ASSERT_TRUE(wait_until([&] { return !frame.children().empty(); }));
    EXPECT_NE(dynamic_cast<ListControl*>(frame.children().front()->control(1)), nullptr);

    command(frame, -13);
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("About") != 0; }));
    settle();
    hl::save_screenshot("/tmp/main-about.png");
    hl::press_key(pd::kVkReturn);
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("About") == 0; }));

    settle();
    hl::save_screenshot("/tmp/main-browse.png");
    command(frame, -8);  // E&xit: the site list closes, then the frame
    ASSERT_TRUE(wait_until([this] { return m_main_done.load(); }));
    EXPECT_EQ(hl::find_window_by_text("Browse Locations"), 0u);
    EXPECT_EQ(sk::app::LINKDBUsers, 0);
    EXPECT_EQ(sk::app::LastResponse, sk::app::ResponseCancelled);
    std::ifstream ini(m_config + "/sitekeeper/LKDB32.INI");
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_NE(text.str().find("[Main]"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("Maximize=No"), std::string::npos) << text.str();
}

// The site list the frame opens by itself and a second one from "Locations" run
// side by side on threads of their own; the data files stay open until the last
// of them closes.
TEST_F(MainFrame, LocationsOpensASecondSiteListBesideTheFirst) {
    ASSERT_TRUE(start_main());
    ASSERT_TRUE(wait_until([] { return application_frame() != nullptr && !application_frame()->children().empty(); }));
    Window& frame = *application_frame();
    ASSERT_TRUE(wait_until([] { return sk::app::LINKDBUsers == 1; }));
    Window* first = frame.children().front();
    EXPECT_EQ(thread_stack_size(first->thread()), 25000u);

    command(frame, -9);  // "Locations"
    ASSERT_TRUE(wait_until([&] { return frame.children().size() == 2 && sk::app::LINKDBUsers == 2; }));
    Window* second = frame.children().front() == first ? frame.children().back() : frame.children().front();
    EXPECT_NE(second->thread(), first->thread());
    EXPECT_EQ(thread_stack_size(second->thread()), 50000u);
    EXPECT_EQ(pd::window_text(second->handle()), "Browse Locations");
    EXPECT_EQ(sk::app::CategoriesUsers, 2);

    first->post(kEventCloseWindow);
    ASSERT_TRUE(wait_until([&] { return frame.children().size() == 1; }));
    EXPECT_EQ(frame.children().front(), second);
    EXPECT_EQ(sk::app::LINKDBUsers, 1);
    EXPECT_EQ(sk::app::CategoriesUsers, 1);

    command(frame, -8);
    ASSERT_TRUE(wait_until([this] { return m_main_done.load(); }));
    EXPECT_EQ(sk::app::LINKDBUsers, 0);
    EXPECT_EQ(sk::app::CategoriesUsers, 0);
}

}  // namespace
