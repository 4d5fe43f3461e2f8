// Profile files: where they live, what a write changes (and what it keeps byte for
// byte), reading with defaults, and writers in two processes at once.
#include "platform/profile.h"
#include "platform/system_error.h"
#include "support/platform_child.h"
#include "support/platform_temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace sk::platform;
using sk::test::PlatformChild;
using sk::test::PlatformTempDir;
using sk::test::platform_read_file;
using sk::test::platform_write_file;

namespace {

// Points the configuration directory at a fresh temporary directory for one test.
class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        m_had_xdg = xdg != nullptr;
        m_had_home = home != nullptr;
        if (xdg) m_xdg = xdg;
        if (home) m_home = home;
        ::setenv("XDG_CONFIG_HOME", m_dir.path().c_str(), 1);
    }
    void TearDown() override {
        if (m_had_xdg) ::setenv("XDG_CONFIG_HOME", m_xdg.c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
        if (m_had_home) ::setenv("HOME", m_home.c_str(), 1);
        else ::unsetenv("HOME");
    }
    std::string ini() const { return m_dir.path() + "/sitekeeper/LKDB32.INI"; }

    PlatformTempDir m_dir;

private:
    bool m_had_xdg = false, m_had_home = false;
    std::string m_xdg, m_home;
};

}  // namespace

TEST_F(ProfileTest, PlainNameLivesInTheConfigurationDirectory) {
    EXPECT_EQ(profile_path("LKDB32.INI"), ini());
    EXPECT_EQ(profile_path("/etc/other.ini"), "/etc/other.ini");
    EXPECT_EQ(profile_path("rel/x.ini"), "rel/x.ini");
    // Without an absolute XDG_CONFIG_HOME the home directory's .config is used.
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", m_dir.path().c_str(), 1);
    EXPECT_EQ(profile_path("LKDB32.INI"), m_dir.path() + "/.config/sitekeeper/LKDB32.INI");
    ASSERT_TRUE(write_profile_string("LKDB32.INI", "Main", "XPosit", "12"));
    EXPECT_EQ(platform_read_file(m_dir.path() + "/.config/sitekeeper/LKDB32.INI"), "[Main]\r\nXPosit=12\r\n");
}

TEST_F(ProfileTest, FirstWriteCreatesDirectoryFileSectionAndEntry) {
    EXPECT_EQ(read_profile_string("LKDB32.INI", "Main", "XPosit", "dflt"), "dflt");
    ASSERT_TRUE(write_profile_string("LKDB32.INI", "BrowseLINKDB", "Maximize", "No"));
    ASSERT_TRUE(write_profile_string("LKDB32.INI", "BrowseLINKDB", "XPosit", "40"));
    ASSERT_TRUE(write_profile_string("LKDB32.INI", "Main", "Width", "300"));
    EXPECT_EQ(platform_read_file(ini()), "[BrowseLINKDB]\r\nMaximize=No\r\nXPosit=40\r\n[Main]\r\nWidth=300\r\n");
    EXPECT_EQ(read_profile_string("LKDB32.INI", "browselinkdb", "XPOSIT", ""), "40");
    EXPECT_EQ(read_profile_string("LKDB32.INI", "Main", "Width", ""), "300");
    EXPECT_EQ(read_profile_string("LKDB32.INI", "Main", "Height", "none"), "none");
    EXPECT_EQ(read_profile_string("LKDB32.INI", "Other", "Width", "none"), "none");
    ASSERT_TRUE(write_profile_string("LKDB32.INI", "main", "WIDTH", "310"));  // any case finds the entry
    EXPECT_EQ(read_profile_string("LKDB32.INI", "Main", "Width", ""), "310");
    EXPECT_EQ(platform_read_file(ini()), "[BrowseLINKDB]\r\nMaximize=No\r\nXPosit=40\r\n[Main]\r\nWidth=310\r\n");
    // No temporary files are left beside it.
    DIR* d = ::opendir((m_dir.path() + "/sitekeeper").c_str());
    ASSERT_NE(d, nullptr);
    int entries = 0;
    while (const dirent* e = ::readdir(d)) entries += e->d_name[0] != '.';
    ::closedir(d);
    EXPECT_EQ(entries, 2);  // the file and its lock file
}

TEST_F(ProfileTest, WriteKeepsEveryOtherByteAndTheFilesLineEnds) {
    std::string path = m_dir.file("kept.ini");
    const std::string original =
        "; window positions\n"
        "\n"
        "  [ Main ]  \n"
        "XPosit = 10   \n"
        "odd line without equals\n"
        "YPosit=\"  quoted \"\n"
        "\n"
        "[UpdateLINKDB]\n"
        "; note=kept\n"
        "Width=5\n"
        "[Main]\n"
        "Height=99\n";
    ASSERT_TRUE(platform_write_file(path, original));
    EXPECT_EQ(read_profile_string(path, "main", "xposit", ""), "10");
    EXPECT_EQ(read_profile_string(path, "Main", "YPosit", ""), "  quoted ");
    EXPECT_EQ(read_profile_string(path, "UpdateLINKDB", "; note", "no"), "no");  // a comment is no entry
    // The first section of a name counts.
    EXPECT_EQ(read_profile_string(path, "Main", "Height", "none"), "none");

    ASSERT_TRUE(write_profile_string(path, "MAIN", "XPosit", "7"));
    ASSERT_TRUE(write_profile_string(path, "Main", "Width", "80"));
    ASSERT_TRUE(write_profile_string(path, "UpdateLINKDB", "Height", "3"));
    ASSERT_TRUE(write_profile_string(path, "Export", "Maximize", "Yes"));
    EXPECT_EQ(platform_read_file(path),
              "; window positions\n"
              "\n"
              "  [ Main ]  \n"
              "XPosit = 7\n"
              "odd line without equals\n"
              "YPosit=\"  quoted \"\n"
              "Width=80\n"
              "\n"
              "[UpdateLINKDB]\n"
              "; note=kept\n"
              "Width=5\n"
              "Height=3\n"
              "[Main]\n"
              "Height=99\n"
              "[Export]\n"
              "Maximize=Yes\n");
}

TEST_F(ProfileTest, CrLfFileWithoutFinalLineEndAndWithByteOrderMark) {
    std::string path = m_dir.file("crlf.ini");
    ASSERT_TRUE(platform_write_file(path, "\xEF\xBB\xBF[Main]\r\nXPosit=1\r\n\r\n[ReadMe]\r\nWidth=2"));
    EXPECT_EQ(read_profile_string(path, "Main", "XPosit", ""), "1");
    EXPECT_EQ(read_profile_string(path, "ReadMe", "Width", ""), "2");
    ASSERT_TRUE(write_profile_string(path, "ReadMe", "Height", "4"));
    ASSERT_TRUE(write_profile_string(path, "Main", "YPosit", "6"));
    EXPECT_EQ(platform_read_file(path),
              "\xEF\xBB\xBF[Main]\r\nXPosit=1\r\nYPosit=6\r\n\r\n[ReadMe]\r\nWidth=2\r\nHeight=4\r\n");
}

TEST_F(ProfileTest, ValuesAreTrimmedOnReadAndUnchangedWritesLeaveTheFileAlone) {
    std::string path = m_dir.file("t.ini");
    ASSERT_TRUE(write_profile_string(path, " Main ", "Maximize", "  Yes  "));
    EXPECT_EQ(read_profile_string(path, "Main", "Maximize", ""), "Yes");
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_TRUE(write_profile_string(path, "Main", "Maximize", "  Yes  "));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // not rewritten
    ASSERT_TRUE(write_profile_string(path, "Main", "Maximize", ""));
    EXPECT_EQ(read_profile_string(path, "Main", "Maximize", "dflt"), "");
}

TEST_F(ProfileTest, NamesAndValuesThatWouldBreakTheFileAreRefused) {
    std::string path = m_dir.file("bad.ini");
    ASSERT_TRUE(write_profile_string(path, "Main", "X", "1"));
    const std::string before = platform_read_file(path);
    EXPECT_FALSE(write_profile_string(path, "Main", "X", "1\r\n[Evil]"));
    EXPECT_EQ(last_system_error(), kErrInvalidParameter);
    EXPECT_FALSE(write_profile_string(path, "Ma]in", "X", "1"));
    EXPECT_FALSE(write_profile_string(path, "Main", "A=B", "1"));
    EXPECT_FALSE(write_profile_string(path, "Main", "[X", "1"));
    EXPECT_FALSE(write_profile_string(path, "", "X", "1"));
    EXPECT_FALSE(write_profile_string(path, "Main", "  ", "1"));
    EXPECT_FALSE(write_profile_string("", "Main", "X", "1"));
    EXPECT_EQ(platform_read_file(path), before);
    // A directory where the file should be: the write fails, nothing is replaced.
    ASSERT_EQ(::mkdir(m_dir.file("dir.ini").c_str(), 0700), 0);
    EXPECT_FALSE(write_profile_string(m_dir.file("dir.ini"), "Main", "X", "1"));
    EXPECT_EQ(last_system_error(), kErrAccessDenied);
    EXPECT_EQ(read_profile_string(m_dir.file("dir.ini"), "Main", "X", "d"), "d");
    EXPECT_FALSE(write_profile_string(m_dir.file("nodir/x.ini"), "Main", "X", "1"));
    EXPECT_EQ(last_system_error(), kErrPathNotFound);
}

TEST_F(ProfileTest, FileThatMayNotBeWrittenIsNotReplaced) {
    std::string path = m_dir.file("frozen.ini");
    ASSERT_TRUE(platform_write_file(path, "[Main]\nXPosit=1\n"));
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(m_dir.path().c_str(), 0777), 0);
    // Root may write anything, so the write is made by an unprivileged child.
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild&) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 10;
        if (write_profile_string(path, "Main", "XPosit", "2")) return 1;
        if (last_system_error() != kErrAccessDenied) return 2;
        return read_profile_string(path, "Main", "XPosit", "") == "1" ? 0 : 3;
    }));
    EXPECT_EQ(child.join(), 0);
    EXPECT_EQ(platform_read_file(path), "[Main]\nXPosit=1\n");
}

TEST_F(ProfileTest, SymbolicLinkStaysALinkAndCaseVariantIsUsed) {
    std::string real = m_dir.file("real.ini");
    std::string link = m_dir.file("link.ini");
    ASSERT_TRUE(platform_write_file(real, "[A]\nB=1\n"));
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    ASSERT_TRUE(write_profile_string(link, "A", "B", "2"));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(platform_read_file(real), "[A]\nB=2\n");
    EXPECT_EQ(read_profile_string(m_dir.file("REAL.INI"), "a", "b", ""), "2");
    ASSERT_TRUE(write_profile_string(m_dir.file("REAL.INI"), "A", "C", "3"));
    EXPECT_EQ(platform_read_file(real), "[A]\nB=2\nC=3\n");
    EXPECT_NE(::lstat(m_dir.file("REAL.INI").c_str(), &st), 0);
}

TEST_F(ProfileTest, TwoProcessesWritingDifferentSectionsLoseNothing) {
    constexpr int kWrites = 1000;
    // On a memory file system when there is one: the test is about the lock and the
    // rename, and each write's two flushes to a disk would take it past a minute.
    PlatformTempDir fast("/dev/shm");
    std::string path = fast.file("race.ini");
    ASSERT_TRUE(platform_write_file(path, "; shared by two writers\r\n"));
    auto writer = [&](const char* section) {
        for (int i = 1; i <= kWrites; ++i) {
            std::string v = std::to_string(i);
            if (!write_profile_string(path, section, "XPosit", v)) return 1;
            if (!write_profile_string(path, section, "Counter", v)) return 2;
            // What this process wrote last must be there whatever the other did.
            if (read_profile_string(path, section, "Counter", "") != v) return 3;
        }
        return 0;
    };
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild& me) {
        me.signal();
        return writer("Child");
    }));
    ASSERT_TRUE(child.wait_signal());
    EXPECT_EQ(writer("Parent"), 0);
    EXPECT_EQ(child.join(), 0);
    const std::string last = std::to_string(kWrites);
    auto section = [&](const char* name) { return "[" + std::string(name) + "]\r\nXPosit=" + last + "\r\nCounter=" + last + "\r\n"; };
    const std::string text = platform_read_file(path);
    const std::string head = "; shared by two writers\r\n";
    EXPECT_TRUE(text == head + section("Parent") + section("Child") || text == head + section("Child") + section("Parent"))
        << text;
}

TEST_F(ProfileTest, WriterKilledMidWayLeavesAWholeFileAndNoLockBehind) {
    PlatformTempDir fast("/dev/shm");
    std::string path = fast.file("killed.ini");
    ASSERT_TRUE(platform_write_file(path, "; kept\r\n[Main]\r\nWidth=1\r\n"));
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild& me) {
        me.signal();
        for (long i = 0;; ++i) write_profile_string(path, "Main", "Width", std::to_string(i % 100000));
        return 0;
    }));
    ASSERT_TRUE(child.wait_signal());
    ::usleep(150'000);
    EXPECT_EQ(child.kill_and_join(), -1);  // wherever the child is in its write
    const std::string text = platform_read_file(path);
    ASSERT_EQ(text.rfind("; kept\r\n[Main]\r\nWidth=", 0), 0u) << text;
    ASSERT_GE(text.size(), 25u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    std::string value = read_profile_string(path, "Main", "Width", "");
    EXPECT_FALSE(value.empty());
    EXPECT_EQ(value.find_first_not_of("0123456789"), std::string::npos);
    // The dead writer's lock went with it.
    EXPECT_TRUE(write_profile_string(path, "Main", "Width", "final"));
    EXPECT_EQ(read_profile_string(path, "Main", "Width", ""), "final");
}
