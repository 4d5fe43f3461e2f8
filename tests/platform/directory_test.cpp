// Directory listing and the lexical path operations the file dialog relies on.
#include "platform/directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/system_error.h"

namespace sk::platform {
namespace {

TEST(Paths, NormalFormResolvesDotsAndNeverClimbsAboveTheRoot) {
    EXPECT_EQ(normal_path("/home/a/../b/./c/"), "/home/b/c");
    EXPECT_EQ(normal_path("/../.."), "/");
    EXPECT_EQ(normal_path("//x///y"), "/x/y");
    EXPECT_EQ(normal_path("a/../.."), "..");
    EXPECT_EQ(normal_path("a/.."), ".");
    EXPECT_EQ(join_path("/base", "/abs"), "/abs");
    EXPECT_EQ(join_path("/", "x"), "/x");
    EXPECT_EQ(join_path("/base", "x"), "/base/x");
    EXPECT_EQ(parent_path("/x"), "/");
    EXPECT_EQ(parent_path("name"), "");
    EXPECT_EQ(parent_path("a/b/c"), "a/b");
    EXPECT_EQ(file_name("a/b/c.txt"), "c.txt");
    EXPECT_EQ(file_name("plain"), "plain");
}

TEST(Directories, ListingTellsDirectoriesAndLinksToThemFromFiles) {
    char pattern[] = "/tmp/sk-dir-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    ASSERT_EQ(std::system(("mkdir " + dir + "/sub && touch " + dir + "/file.txt && ln -s sub " + dir +
                           "/link && ln -s missing " + dir + "/dangling").c_str()),
              0);
    std::vector<DirectoryItem> items;
    ASSERT_TRUE(list_directory(dir, items));
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].name, "dangling");
    EXPECT_FALSE(items[0].is_directory);
    EXPECT_EQ(items[1].name, "file.txt");
    EXPECT_FALSE(items[1].is_directory);
    EXPECT_EQ(items[2].name, "link");
    EXPECT_TRUE(items[2].is_directory);
    EXPECT_EQ(items[3].name, "sub");
    EXPECT_TRUE(items[3].is_directory);
    EXPECT_TRUE(is_directory(dir + "/link"));
    EXPECT_TRUE(path_exists(dir + "/file.txt"));
    EXPECT_FALSE(path_exists(dir + "/dangling"));

    EXPECT_FALSE(list_directory(dir + "/nothing/here", items));
    EXPECT_EQ(last_system_error(), kErrPathNotFound);
    EXPECT_TRUE(items.empty());
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace
}  // namespace sk::platform

// Names written for a system with drive letters: drive C is the state
// directory itself, other drives directories in it, backslashes separators;
// other names keep their meaning. Only an absolute XDG_STATE_HOME counts.
TEST(Paths, DriveLetterNamesLieInTheStateDirectory) {
    const char* old = std::getenv("XDG_STATE_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_STATE_HOME", "/var/tmp/state", 1);
    EXPECT_EQ(sk::platform::state_directory(), "/var/tmp/state/sitekeeper");
    EXPECT_EQ(sk::platform::native_name("c:\\kestrel.tcf"), "/var/tmp/state/sitekeeper/kestrel.tcf");
    EXPECT_EQ(sk::platform::native_name("C:/KESTREL.TCF"), "/var/tmp/state/sitekeeper/KESTREL.TCF");
    EXPECT_EQ(sk::platform::native_name("D:\\Data\\tx.tcf"), "/var/tmp/state/sitekeeper/d/Data/tx.tcf");
    EXPECT_EQ(sk::platform::native_name("c:"), "/var/tmp/state/sitekeeper");
    EXPECT_EQ(sk::platform::native_name("/srv/shared/tx.tcf"), "/srv/shared/tx.tcf");
    EXPECT_EQ(sk::platform::native_name("data\\tx.tcf"), "data/tx.tcf");
    EXPECT_EQ(sk::platform::native_name("plain.tcf"), "plain.tcf");
    EXPECT_EQ(sk::platform::native_name("1:odd"), "1:odd");
    const char* home = std::getenv("HOME");
    const std::string saved_home = home ? home : "";
    ::setenv("XDG_STATE_HOME", "relative/state", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(sk::platform::state_directory(), "/home/someone/.local/state/sitekeeper");
    if (home) ::setenv("HOME", saved_home.c_str(), 1);
    else ::unsetenv("HOME");
    if (old) ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
    else ::unsetenv("XDG_STATE_HOME");
}
