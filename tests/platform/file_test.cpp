// Files: sharing modes between opens and processes, error numbers, positioned I/O,
// letter-case matching of names, and the file-name operations.
#include "platform/file.h"
#include "platform/system_error.h"
#include "support/platform_child.h"
#include "support/platform_temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sk::platform;
using sk::test::PlatformChild;
using sk::test::PlatformTempDir;
using sk::test::platform_read_file;
using sk::test::platform_write_file;

namespace {

const unsigned kAccesses[] = {kAccessRead, kAccessWrite, kAccessReadWrite};
const unsigned kShares[] = {kShareCompat, kDenyAll, kDenyWrite, kDenyRead, kDenyNone};

// The sharing rule written out independently of the lock protocol: a second open
// is let in when each open's sharing allows the other's access.
bool share_allows(unsigned share, unsigned access) {
    bool reads = access != kAccessWrite;
    bool writes = access != kAccessRead;
    switch (share) {
        case kDenyAll: return false;
        case kDenyWrite: return !writes;
        case kDenyRead: return !reads;
        default: return true;
    }
}

}  // namespace

TEST(FileSharing, EveryPairOfModesInOneProcessFollowsTheSharingRule) {
    PlatformTempDir dir;
    std::string name = dir.file("data.bin");
    ASSERT_TRUE(platform_write_file(name, "x"));
    for (unsigned a1 : kAccesses)
        for (unsigned s1 : kShares)
            for (unsigned a2 : kAccesses)
                for (unsigned s2 : kShares) {
                    File first, second;
                    ASSERT_TRUE(first.open(name, a1 | s1));
                    bool expected = share_allows(s1, a2) && share_allows(s2, a1);
                    bool opened = second.open(name, a2 | s2);
                    EXPECT_EQ(opened, expected) << "first " << (a1 | s1) << " second " << (a2 | s2);
                    if (!opened) {
                        EXPECT_EQ(last_system_error(), kErrSharingViolation);
                    }
                }
}

TEST(FileSharing, DenyAllInAnotherProcessRefusesOpenWith32UntilItCloses) {
    PlatformTempDir dir;
    std::string name = dir.file("LINKDB.KSF");
    ASSERT_TRUE(platform_write_file(name, "data"));
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild& me) {
        File f;
        if (!f.open(name, kAccessReadWrite | kDenyAll)) return 1;
        me.signal();
        if (!me.wait_signal()) return 2;
        f.close();
        me.signal();
        return me.wait_signal() ? 0 : 3;
    }));
    ASSERT_TRUE(child.wait_signal());
    File f;
    EXPECT_FALSE(f.open(name, kAccessRead | kDenyNone));
    EXPECT_EQ(last_system_error(), kErrSharingViolation);
    EXPECT_FALSE(f.create(name, kAccessReadWrite | kDenyNone));
    EXPECT_EQ(last_system_error(), kErrSharingViolation);
    EXPECT_EQ(platform_read_file(name), "data");  // a refused create truncates nothing
    child.signal();
    ASSERT_TRUE(child.wait_signal());
    EXPECT_TRUE(f.open(name, kAccessRead | kDenyNone));
    child.signal();
    EXPECT_EQ(child.join(), 0);
}

TEST(FileSharing, WriterInAnotherProcessKeepsOutDenyWrite) {
    PlatformTempDir dir;
    std::string name = dir.file("shared.bin");
    ASSERT_TRUE(platform_write_file(name, ""));
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild& me) {
        File f;
        if (!f.open(name, kAccessWrite | kDenyNone)) return 1;
        me.signal();
        return me.wait_signal() ? 0 : 2;
    }));
    ASSERT_TRUE(child.wait_signal());
    File reader;
    EXPECT_FALSE(reader.open(name, kAccessRead | kDenyWrite));
    EXPECT_EQ(last_system_error(), kErrSharingViolation);
    EXPECT_TRUE(reader.open(name, kAccessRead | kDenyRead));
    child.signal();
    EXPECT_EQ(child.join(), 0);
}

TEST(FileSharing, StateGoesWithTheFileWhenMovedAndEndsAtClose) {
    PlatformTempDir dir;
    std::string name = dir.file("a");
    File first;
    ASSERT_TRUE(first.create(name, kAccessReadWrite | kDenyAll));
    File moved = std::move(first);
    EXPECT_FALSE(first.is_open());
    File other;
    EXPECT_FALSE(other.open(name, kAccessRead | kDenyNone));
    // Another descriptor of the same file opened and closed behind File's back does
    // not end the sharing state either.
    int raw = ::open(name.c_str(), O_RDONLY);
    ASSERT_GE(raw, 0);
    ::close(raw);
    EXPECT_FALSE(other.open(name, kAccessRead | kDenyNone));
    moved.close();
    EXPECT_TRUE(other.open(name, kAccessRead | kDenyNone));
}

TEST(FileErrors, MissingFileMissingPathDirectoryAndBadModeAreDistinct) {
    PlatformTempDir dir;
    File f;
    EXPECT_FALSE(f.open(dir.file("none.ksf"), kAccessRead));
    EXPECT_EQ(last_system_error(), kErrFileNotFound);
    EXPECT_FALSE(f.open(dir.file("nodir/none.ksf"), kAccessRead));
    EXPECT_EQ(last_system_error(), kErrPathNotFound);
    EXPECT_FALSE(f.create(dir.file("nodir/none.ksf"), kAccessReadWrite));
    EXPECT_EQ(last_system_error(), kErrPathNotFound);
    ASSERT_TRUE(platform_write_file(dir.file("plain"), "x"));
    EXPECT_FALSE(f.open(dir.file("plain/inside"), kAccessRead));
    EXPECT_EQ(last_system_error(), kErrPathNotFound);
    EXPECT_FALSE(f.open(dir.path(), kAccessRead));
    EXPECT_EQ(last_system_error(), kErrAccessDenied);
    EXPECT_FALSE(f.open(dir.file("plain"), 0x03));
    EXPECT_EQ(last_system_error(), kErrInvalidParameter);
    EXPECT_FALSE(f.open(dir.file("plain"), 0x50));
    EXPECT_EQ(last_system_error(), kErrInvalidParameter);
    EXPECT_FALSE(f.is_open());
}

TEST(FileErrors, PermissionRefusalIsAccessDeniedAndReadOnlyFilesStillShare) {
    PlatformTempDir dir;
    std::string name = dir.file("secret");
    std::string readonly = dir.file("readonly");
    ASSERT_TRUE(platform_write_file(name, "x"));
    ASSERT_TRUE(platform_write_file(readonly, "r"));
    File writer;  // opened before the file is made read-only
    ASSERT_TRUE(writer.open(readonly, kAccessReadWrite | kDenyNone));
    ASSERT_EQ(::chmod(name.c_str(), 0), 0);
    ASSERT_EQ(::chmod(readonly.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.file("locked").c_str(), 0555), 0);
    // Root passes every permission check, so the open is made by an unprivileged child.
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild&) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 10;
        File f;
        if (f.open(name, kAccessRead)) return 1;
        if (last_system_error() != kErrAccessDenied) return 2;
        if (f.create(dir.file("locked/new"), kAccessReadWrite)) return 3;
        if (last_system_error() != kErrAccessDenied) return 4;
        // A file that may only be read is opened read-only; it still takes part in
        // sharing, and it cannot carry an exclusive lock.
        if (f.open(readonly, kAccessReadWrite)) return 5;
        if (last_system_error() != kErrAccessDenied) return 6;
        if (f.open(readonly, kAccessRead | kDenyWrite)) return 7;
        if (last_system_error() != kErrSharingViolation) return 8;
        if (!f.open(readonly, kAccessRead | kDenyNone)) return 9;
        if (!f.lock(0, 1, false)) return 11;
        if (f.lock(0, 1, true) || last_system_error() != kErrAccessDenied) return 12;
        return 0;
    }));
    EXPECT_EQ(child.join(), 0);
}

TEST(FileIo, PositionedReadWriteSizeTruncateAndAccessChecks) {
    PlatformTempDir dir;
    std::string name = dir.file("io.bin");
    File f;
    ASSERT_TRUE(f.create(name, kAccessReadWrite | kDenyWrite));
    EXPECT_EQ(f.size(), 0);
    // A write far past the end leaves a hole that reads as zeros.
    EXPECT_EQ(f.write_at(0x1'0000'0000ULL, "tail", 4), 4);
    EXPECT_EQ(f.size(), 0x1'0000'0004LL);
    EXPECT_EQ(f.write_at(2, "abc", 3), 3);
    char buf[8] = {};
    EXPECT_EQ(f.read_at(0, buf, 6), 6);
    EXPECT_EQ(std::string(buf, 6), std::string("\0\0abc\0", 6));
    EXPECT_EQ(f.read_at(0x1'0000'0002ULL, buf, 8), 2);  // short at the end
    EXPECT_EQ(std::string(buf, 2), "il");
    EXPECT_EQ(f.read_at(0x2'0000'0000ULL, buf, 8), 0);
    EXPECT_TRUE(f.truncate(4));
    EXPECT_EQ(f.size(), 4);
    EXPECT_TRUE(f.flush());
    f.close();
    EXPECT_EQ(platform_read_file(name), std::string("\0\0ab", 4));

    File reader;
    ASSERT_TRUE(reader.open(name, kAccessRead | kDenyNone));
    EXPECT_EQ(reader.write_at(0, "z", 1), -1);
    EXPECT_EQ(last_system_error(), kErrAccessDenied);
    EXPECT_FALSE(reader.truncate(0));
    EXPECT_EQ(last_system_error(), kErrAccessDenied);
    File writer;
    ASSERT_TRUE(writer.open(name, kAccessWrite | kDenyNone));
    EXPECT_EQ(writer.read_at(0, buf, 1), -1);
    EXPECT_EQ(last_system_error(), kErrAccessDenied);
    writer.close();
    EXPECT_EQ(writer.read_at(0, buf, 1), -1);
    EXPECT_EQ(last_system_error(), kErrInvalidHandle);
    EXPECT_EQ(writer.size(), -1);
}

TEST(FileIo, CreateTruncatesAnExistingFile) {
    PlatformTempDir dir;
    std::string name = dir.file("t");
    ASSERT_TRUE(platform_write_file(name, "old contents"));
    File f;
    ASSERT_TRUE(f.create(name, kAccessReadWrite));
    EXPECT_EQ(f.size(), 0);
}

TEST(FileIo, InjectedFaultsFailWritesTruncatesAndFlushesWithoutTouchingTheFile) {
    PlatformTempDir dir;
    std::string name = dir.file("faults.bin");
    File f;
    ASSERT_TRUE(f.create(name, kAccessReadWrite));
    ASSERT_EQ(f.write_at(0, "abcd", 4), 4);
    struct Budget {
        int writes_left;
    } budget{1};
    // One more write is let through, then the disk is "full".
    set_file_fault_hook(
        [](FileOperation op, const std::string&, void* context) {
            auto* b = static_cast<Budget*>(context);
            if (op != FileOperation::kWrite) return static_cast<int>(kErrWriteFault);
            return b->writes_left-- > 0 ? 0 : static_cast<int>(kErrHandleDiskFull);
        },
        &budget);
    EXPECT_EQ(f.write_at(4, "e", 1), 1);
    EXPECT_EQ(f.write_at(0, "zz", 2), -1);
    EXPECT_EQ(last_system_error(), kErrHandleDiskFull);
    EXPECT_FALSE(f.truncate(1));
    EXPECT_EQ(last_system_error(), kErrWriteFault);
    EXPECT_FALSE(f.flush());
    set_file_fault_hook(nullptr, nullptr);
    EXPECT_TRUE(f.flush());
    EXPECT_EQ(platform_read_file(name), "abcde");
}

TEST(FileIo, InjectedReadFaultsFailTheChosenReadsOnly) {
    PlatformTempDir dir;
    ASSERT_TRUE(platform_write_file(dir.file("bad.txt"), "0123456789"));
    ASSERT_TRUE(platform_write_file(dir.file("good.txt"), "abcdefghij"));
    File bad, good;
    ASSERT_TRUE(bad.open(dir.file("bad.txt"), kAccessReadWrite));
    ASSERT_TRUE(good.open(dir.file("good.txt"), kAccessRead));
    // A write hook that refuses everything leaves reads alone.
    set_file_fault_hook([](FileOperation, const std::string&, void*) { return static_cast<int>(kErrWriteFault); },
                        nullptr);
    char buf[8] = {};
    EXPECT_EQ(bad.read_at(0, buf, 4), 4);
    set_file_fault_hook(nullptr, nullptr);

    // One more read of bad.txt is let through, then its disk fails; good.txt reads on.
    struct Plan {
        int reads_left;
        std::uint64_t last_offset;
    } plan{1, 0};
    set_file_read_fault_hook(
        [](const std::string& path, std::uint64_t offset, void* context) {
            auto* p = static_cast<Plan*>(context);
            if (path.find("bad.txt") == std::string::npos) return 0;
            p->last_offset = offset;
            return p->reads_left-- > 0 ? 0 : static_cast<int>(kErrReadFault);
        },
        &plan);
    EXPECT_EQ(bad.read_at(2, buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "234");
    std::memcpy(buf, "xxxxxxxx", 8);
    EXPECT_EQ(bad.read_at(6, buf, 4), -1);
    EXPECT_EQ(last_system_error(), kErrReadFault);
    EXPECT_EQ(plan.last_offset, 6u);
    EXPECT_EQ(std::string(buf, 8), "xxxxxxxx");
    EXPECT_EQ(good.read_at(0, buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "abc");
    // Writes go on as before; the file itself is sound once the hook is gone.
    EXPECT_EQ(bad.write_at(0, "Z", 1), 1);
    set_file_read_fault_hook(nullptr, nullptr);
    EXPECT_EQ(bad.read_at(0, buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "Z12");
}

TEST(FileNames, OpenFindsACaseVariantOnlyWhenTheExactNameIsMissing) {
    PlatformTempDir dir;
    ASSERT_TRUE(platform_write_file(dir.file("linkdb.ksf"), "lower"));
    File f;
    ASSERT_TRUE(f.open(dir.file("LINKDB.KSF"), kAccessRead));
    EXPECT_EQ(f.path(), dir.file("linkdb.ksf"));
    f.close();
    ASSERT_TRUE(platform_write_file(dir.file("LINKDB.KSF"), "upper"));
    EXPECT_EQ(find_case_insensitive(dir.file("LINKDB.KSF")), dir.file("LINKDB.KSF"));
    EXPECT_EQ(find_case_insensitive(dir.file("LinkDB.ksf")), dir.file("LINKDB.KSF"));  // smallest variant
    EXPECT_EQ(find_case_insensitive(dir.file("LINKDB.KS")), dir.file("LINKDB.KS"));
    // Only ASCII letters fold: a name that differs elsewhere is missing.
    EXPECT_FALSE(f.open(dir.file("LINKDB_KSF"), kAccessRead));
    EXPECT_EQ(last_system_error(), kErrFileNotFound);
}

TEST(FileNames, CreateReusesAnExistingCaseVariantElseTheExactName) {
    PlatformTempDir dir;
    ASSERT_TRUE(platform_write_file(dir.file("Categories.Ksf"), "old"));
    File f;
    ASSERT_TRUE(f.create(dir.file("CATEGORIES.KSF"), kAccessReadWrite));
    EXPECT_EQ(f.path(), dir.file("Categories.Ksf"));
    struct stat st {};
    EXPECT_NE(::lstat(dir.file("CATEGORIES.KSF").c_str(), &st), 0);  // no second file
    f.close();
    ASSERT_TRUE(f.create(dir.file("NEW.KSF"), kAccessReadWrite));
    EXPECT_EQ(f.path(), dir.file("NEW.KSF"));
}

TEST(FileNames, DeleteRenameAndExistence) {
    PlatformTempDir dir;
    ASSERT_TRUE(platform_write_file(dir.file("one"), "1"));
    ASSERT_TRUE(platform_write_file(dir.file("Two"), "2"));
    EXPECT_TRUE(file_exists(dir.file("ONE")));
    EXPECT_FALSE(file_exists(dir.path()));
    EXPECT_FALSE(rename_file(dir.file("one"), dir.file("TWO")));  // a case variant exists
    EXPECT_EQ(last_system_error(), kErrFileExists);
    EXPECT_EQ(platform_read_file(dir.file("Two")), "2");
    EXPECT_TRUE(rename_file(dir.file("one"), dir.file("ONE")));  // only the letter case changes
    EXPECT_EQ(platform_read_file(dir.file("ONE")), "1");
    EXPECT_TRUE(rename_file(dir.file("one"), dir.file("three")));
    EXPECT_EQ(platform_read_file(dir.file("three")), "1");
    EXPECT_FALSE(rename_file(dir.file("missing"), dir.file("x")));
    EXPECT_EQ(last_system_error(), kErrFileNotFound);
    EXPECT_FALSE(rename_file(dir.file("three"), dir.file("nodir/x")));
    EXPECT_EQ(last_system_error(), kErrPathNotFound);
    EXPECT_TRUE(delete_file(dir.file("TWO")));
    EXPECT_FALSE(file_exists(dir.file("two")));
    EXPECT_FALSE(delete_file(dir.file("two")));
    EXPECT_EQ(last_system_error(), kErrFileNotFound);
    EXPECT_FALSE(delete_file(dir.file("nodir/two")));
    EXPECT_EQ(last_system_error(), kErrPathNotFound);
}

TEST(FileNames, ReplaceAtomicallySwapsInTheWholeNewFileOrLeavesTheOld) {
    PlatformTempDir dir;
    ASSERT_TRUE(platform_write_file(dir.file("Data.ksf"), "old contents"));
    ASSERT_TRUE(platform_write_file(dir.file("data.new"), "new contents"));
    // A reader that had the old file open keeps reading the old file.
    File reader;
    ASSERT_TRUE(reader.open(dir.file("Data.ksf"), kAccessRead | kDenyNone));
    // The existing letter-case variant is the file replaced: no second file appears.
    ASSERT_TRUE(replace_file_atomically(dir.file("data.new"), dir.file("DATA.KSF")));
    EXPECT_EQ(platform_read_file(dir.file("Data.ksf")), "new contents");
    struct stat st {};
    EXPECT_NE(::lstat(dir.file("DATA.KSF").c_str(), &st), 0);
    EXPECT_NE(::lstat(dir.file("data.new").c_str(), &st), 0);
    char buf[16] = {};
    EXPECT_EQ(reader.read_at(0, buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "old");
    reader.close();

    // A missing target is simply created.
    ASSERT_TRUE(platform_write_file(dir.file("t1"), "fresh"));
    ASSERT_TRUE(replace_file_atomically(dir.file("t1"), dir.file("made")));
    EXPECT_EQ(platform_read_file(dir.file("made")), "fresh");

    // When the new file cannot be brought to disk nothing is replaced and the
    // temporary is left for the caller.
    ASSERT_TRUE(platform_write_file(dir.file("t2"), "doomed"));
    set_file_fault_hook([](FileOperation, const std::string&, void*) { return static_cast<int>(kErrWriteFault); },
                        nullptr);
    EXPECT_FALSE(replace_file_atomically(dir.file("t2"), dir.file("Data.ksf")));
    EXPECT_EQ(last_system_error(), kErrWriteFault);
    set_file_fault_hook(nullptr, nullptr);
    EXPECT_EQ(platform_read_file(dir.file("Data.ksf")), "new contents");
    EXPECT_EQ(platform_read_file(dir.file("t2")), "doomed");

    // Refusals: no temporary, a directory as either side, a file onto itself.
    EXPECT_FALSE(replace_file_atomically(dir.file("missing"), dir.file("Data.ksf")));
    EXPECT_EQ(last_system_error(), kErrFileNotFound);
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
    EXPECT_FALSE(replace_file_atomically(dir.file("t2"), dir.file("sub")));
    EXPECT_EQ(last_system_error(), kErrAccessDenied);
    EXPECT_FALSE(replace_file_atomically(dir.file("sub"), dir.file("t2")));
    EXPECT_FALSE(replace_file_atomically(dir.file("t2"), dir.file("T2")));
    EXPECT_EQ(last_system_error(), kErrInvalidParameter);
    EXPECT_EQ(platform_read_file(dir.file("t2")), "doomed");
    EXPECT_EQ(platform_read_file(dir.file("Data.ksf")), "new contents");
}

TEST(FileNames, CurrentDirectoryAndProgramPath) {
    PlatformTempDir dir;
    std::string start = current_directory();
    ASSERT_FALSE(start.empty());
    ASSERT_EQ(::mkdir(dir.file("Sub").c_str(), 0700), 0);
    EXPECT_TRUE(set_current_directory(dir.file("sub")));
    char* real = ::realpath(dir.file("Sub").c_str(), nullptr);
    ASSERT_NE(real, nullptr);
    EXPECT_EQ(current_directory(), real);
    std::free(real);
    EXPECT_FALSE(set_current_directory(dir.file("missing")));
    EXPECT_EQ(last_system_error(), kErrPathNotFound);
    EXPECT_TRUE(set_current_directory(start));
    std::string self = program_path();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.front(), '/');
    EXPECT_NE(self.find("test_platform_file_test"), std::string::npos);
}

TEST(SystemError, ErrnoTable) {
    EXPECT_EQ(system_error_from_errno(ENOENT), kErrFileNotFound);
    EXPECT_EQ(system_error_from_errno(ENOTDIR), kErrPathNotFound);
    EXPECT_EQ(system_error_from_errno(EMFILE), kErrTooManyOpenFiles);
    EXPECT_EQ(system_error_from_errno(EPERM), kErrAccessDenied);
    EXPECT_EQ(system_error_from_errno(EROFS), kErrWriteProtect);
    EXPECT_EQ(system_error_from_errno(EWOULDBLOCK), kErrLockViolation);
    EXPECT_EQ(system_error_from_errno(EDQUOT), kErrHandleDiskFull);
    EXPECT_EQ(system_error_from_errno(EEXIST), kErrFileExists);
    EXPECT_EQ(system_error_from_errno(EINVAL), kErrInvalidParameter);
    EXPECT_EQ(system_error_from_errno(EPROTO), kErrGeneralFailure);
    errno = ENOSPC;
    EXPECT_EQ(capture_errno(), kErrHandleDiskFull);
    EXPECT_EQ(last_system_error(), kErrHandleDiskFull);
    EXPECT_EQ(system_error_for_path(ENOENT, "/no-such-dir-here/file"), kErrPathNotFound);
    EXPECT_EQ(system_error_for_path(ENOENT, "/tmp/no-such-file-here"), kErrFileNotFound);
}

namespace {

// Two processes open the same file over and over with modes that exclude each
// other, counting the holders in shared memory: more than one at a time is a fault.
// unprivileged: both run as an unprivileged user on a file they may only read, so
// that neither can take the registration gate.
void race_exclusive_opens(const std::string& name, unsigned mode, bool unprivileged) {
    void* shared = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* holders = static_cast<std::atomic<int>*>(shared);
    auto* overlaps = holders + 1;
    auto* successes = holders + 2;
    new (holders) std::atomic<int>(0);
    new (overlaps) std::atomic<int>(0);
    new (successes) std::atomic<int>(0);
    auto body = [&](PlatformChild& me) {
        if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 10;
        me.signal();
        if (!me.wait_signal()) return 11;
        for (int i = 0; i < 300; ++i) {
            File f;
            if (f.open(name, mode)) {
                if (holders->fetch_add(1) != 0) overlaps->fetch_add(1);
                successes->fetch_add(1);
                holders->fetch_sub(1);
            } else if (last_system_error() != kErrSharingViolation) {
                return 12;
            }
        }
        return 0;
    };
    PlatformChild a, b;
    ASSERT_TRUE(a.start(body));
    ASSERT_TRUE(b.start(body));
    ASSERT_TRUE(a.wait_signal());
    ASSERT_TRUE(b.wait_signal());
    a.signal();
    b.signal();
    EXPECT_EQ(a.join(), 0);
    EXPECT_EQ(b.join(), 0);
    EXPECT_EQ(overlaps->load(), 0);
    EXPECT_GT(successes->load(), 0);
    ::munmap(shared, 4096);
}

}  // namespace

TEST(FileSharing, RacingExclusiveOpensNeverBothSucceed) {
    PlatformTempDir dir;
    std::string name = dir.file("race.bin");
    ASSERT_TRUE(platform_write_file(name, "x"));
    race_exclusive_opens(name, kAccessReadWrite | kDenyAll, false);
}

TEST(FileSharing, RacingOpensOfAReadOnlyFileNeverBothSucceed) {
    PlatformTempDir dir;
    std::string name = dir.file("race.bin");
    ASSERT_TRUE(platform_write_file(name, "x"));
    ASSERT_EQ(::chmod(name.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    race_exclusive_opens(name, kAccessRead | kDenyRead, true);
}
