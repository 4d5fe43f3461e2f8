// Window positions: round trips through the profile file, and what a restore
// leaves alone.
#include "app/window_positions.h"

#include "platform/profile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using sk::app::kPositionsFile;
using sk::app::RestoreWindowPosition;
using sk::app::SaveWindowPosition;
using sk::app::WindowPlacement;

class WindowPositions : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/sk-winpos-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        const char* old = std::getenv("XDG_CONFIG_HOME");
        had_old = old != nullptr;
        if (had_old)
            old_value = old;
        ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    }
    void TearDown() override
    {
        if (had_old)
            ::setenv("XDG_CONFIG_HOME", old_value.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    std::string entry(std::string_view section, std::string_view name)
    {
        return sk::platform::read_profile_string(kPositionsFile, section, name, "<none>");
    }
    void put(std::string_view section, std::string_view name, std::string_view value)
    {
        ASSERT_TRUE(sk::platform::write_profile_string(kPositionsFile, section, name, value));
    }

    std::string dir;
    bool had_old = false;
    std::string old_value;
};

WindowPlacement opened_at(int x, int y, int w, int h)
{
    WindowPlacement p;
    p.x = x;
    p.y = y;
    p.width = w;
    p.height = h;
    return p;
}

TEST_F(WindowPositions, SaveWritesAllEntriesAsPlainDecimalText)
{
    WindowPlacement w = opened_at(12, -3, 400, 250);
    w.maximized = true;
    ASSERT_TRUE(SaveWindowPosition("BrowseLINKDB", kPositionsFile, w));
    EXPECT_EQ(entry("BrowseLINKDB", "Maximize"), "Yes");
    EXPECT_EQ(entry("BrowseLINKDB", "XPosit"), "12");
    EXPECT_EQ(entry("BrowseLINKDB", "YPosit"), "-3");
    EXPECT_EQ(entry("BrowseLINKDB", "Width"), "400");
    EXPECT_EQ(entry("BrowseLINKDB", "Height"), "250");

    // The file is the plain name in the configuration directory.
    EXPECT_TRUE(fs::exists(fs::path(dir) / "sitekeeper" / "LKDB32.INI"));
}

TEST_F(WindowPositions, RoundTripRestoresNormalPlacementAndMaximisedState)
{
    WindowPlacement saved = opened_at(30, 40, 500, 320);
    saved.maximized = true;
    ASSERT_TRUE(SaveWindowPosition("UpdateLINKDB", kPositionsFile, saved));

    WindowPlacement w = opened_at(1, 1, 100, 100);
    ASSERT_TRUE(RestoreWindowPosition("UpdateLINKDB", kPositionsFile, &w));
    EXPECT_EQ(w.x, 30);
    EXPECT_EQ(w.y, 40);
    EXPECT_EQ(w.width, 500);
    EXPECT_EQ(w.height, 320);
    EXPECT_TRUE(w.maximized);

    saved.maximized = false;
    saved.x = 77;
    ASSERT_TRUE(SaveWindowPosition("UpdateLINKDB", kPositionsFile, saved));
    w = opened_at(1, 1, 100, 100);
    w.maximized = true;  // maximised on opening: only the maximised state is applied
    ASSERT_TRUE(RestoreWindowPosition("UpdateLINKDB", kPositionsFile, &w));
    EXPECT_EQ(w.x, 1);
    EXPECT_EQ(w.width, 100);
    EXPECT_FALSE(w.maximized);
}

TEST_F(WindowPositions, FirstRunLeavesTheWindowAsDefined)
{
    WindowPlacement w = opened_at(5, 6, 70, 80);
    w.maximized = true;
    EXPECT_FALSE(RestoreWindowPosition("Main", kPositionsFile, &w));
    EXPECT_EQ(w.x, 5);
    EXPECT_EQ(w.y, 6);
    EXPECT_EQ(w.width, 70);
    EXPECT_EQ(w.height, 80);
    EXPECT_TRUE(w.maximized);
}

TEST_F(WindowPositions, MinimisedWindowKeepsThePreviousEntries)
{
    ASSERT_TRUE(SaveWindowPosition("ReadMe", kPositionsFile, opened_at(10, 20, 300, 200)));
    WindowPlacement w = opened_at(99, 99, 99, 99);
    w.minimized = true;
    w.maximized = true;
    EXPECT_FALSE(SaveWindowPosition("ReadMe", kPositionsFile, w));
    EXPECT_EQ(entry("ReadMe", "XPosit"), "10");
    EXPECT_EQ(entry("ReadMe", "Maximize"), "No");
}

TEST_F(WindowPositions, ZeroVerticalPositionMovesNothingButStillAppliesMaximize)
{
    WindowPlacement saved = opened_at(15, 0, 300, 200);
    saved.maximized = true;
    ASSERT_TRUE(SaveWindowPosition("Export", kPositionsFile, saved));
    WindowPlacement w = opened_at(1, 2, 3, 4);
    ASSERT_TRUE(RestoreWindowPosition("Export", kPositionsFile, &w));
    EXPECT_EQ(w.x, 1);
    EXPECT_EQ(w.y, 2);
    EXPECT_TRUE(w.maximized);

    // A zero horizontal position applies nothing at all.
    saved = opened_at(0, 50, 300, 200);
    saved.maximized = true;
    ASSERT_TRUE(SaveWindowPosition("Export", kPositionsFile, saved));
    w = opened_at(1, 2, 3, 4);
    EXPECT_FALSE(RestoreWindowPosition("Export", kPositionsFile, &w));
    EXPECT_FALSE(w.maximized);
}

TEST_F(WindowPositions, FixedSizeWindowIsMovedButKeepsItsSize)
{
    ASSERT_TRUE(SaveWindowPosition("SelectCategory", kPositionsFile, opened_at(60, 70, 900, 800)));
    WindowPlacement w = opened_at(1, 2, 200, 150);
    w.resizable = false;
    ASSERT_TRUE(RestoreWindowPosition("SelectCategory", kPositionsFile, &w));
    EXPECT_EQ(w.x, 60);
    EXPECT_EQ(w.y, 70);
    EXPECT_EQ(w.width, 200);
    EXPECT_EQ(w.height, 150);
}

TEST_F(WindowPositions, HandEditedEntriesAreReadSafely)
{
    put("BrowseCategories", "XPosit", "  42.9");
    put("BrowseCategories", "YPosit", "-7abc");
    put("BrowseCategories", "Width", "99999999999999999999");
    put("BrowseCategories", "Height", "300");
    put("BrowseCategories", "Maximize", "Yes   x");  // compared as 20 characters, exactly
    WindowPlacement w = opened_at(1, 2, 3, 4);
    ASSERT_TRUE(RestoreWindowPosition("BrowseCategories", kPositionsFile, &w));
    EXPECT_EQ(w.x, 42);
    EXPECT_EQ(w.y, -7);
    EXPECT_EQ(w.width, 2147483647);
    EXPECT_EQ(w.height, 300);
    EXPECT_FALSE(w.maximized);

    // Text that is not a number, or a size that is not positive, moves nothing.
    put("BrowseCategories", "Width", "-20");
    put("BrowseCategories", "Maximize", "Yes");
    w = opened_at(1, 2, 3, 4);
    ASSERT_TRUE(RestoreWindowPosition("BrowseCategories", kPositionsFile, &w));
    EXPECT_EQ(w.x, 1);
    EXPECT_EQ(w.width, 3);
    EXPECT_TRUE(w.maximized);

    put("BrowseCategories", "XPosit", "left");
    w = opened_at(1, 2, 3, 4);
    EXPECT_FALSE(RestoreWindowPosition("BrowseCategories", kPositionsFile, &w));
}

TEST_F(WindowPositions, SectionsAreKeptApartAndLongNamesMatchOnBothPaths)
{
    ASSERT_TRUE(SaveWindowPosition("BrowseURL:K_Category", kPositionsFile, opened_at(11, 12, 13, 14)));
    ASSERT_TRUE(SaveWindowPosition("BrowseLINKDB", kPositionsFile, opened_at(21, 22, 23, 24)));
    WindowPlacement w;
    ASSERT_TRUE(RestoreWindowPosition("BrowseURL:K_Category", kPositionsFile, &w));
    EXPECT_EQ(w.x, 11);
    EXPECT_EQ(w.height, 14);

    const std::string long_name(120, 'S');
    ASSERT_TRUE(SaveWindowPosition(long_name, kPositionsFile, opened_at(31, 32, 33, 34)));
    EXPECT_EQ(entry(long_name.substr(0, 79), "XPosit"), "31");
    w = WindowPlacement{};
    ASSERT_TRUE(RestoreWindowPosition(long_name, kPositionsFile, &w));
    EXPECT_EQ(w.y, 32);
}

}  // namespace
