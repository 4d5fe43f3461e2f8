// Byte-range locks: open-file-description locks between processes and between opens
// of one process, at the offsets the drivers use (80000000h and above).
#include "platform/file.h"
#include "platform/system_error.h"
#include "support/platform_child.h"
#include "support/platform_temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace sk::platform;
using sk::test::PlatformChild;
using sk::test::PlatformTempDir;
using sk::test::platform_write_file;

namespace {

constexpr std::uint64_t kWriterRegion = 0x80000000ULL;
constexpr std::uint64_t kRecordLock = 0x80000400ULL + 0xFFFFFFFFULL + 1;  // the highest record byte

}  // namespace

TEST(FileLock, LockHeldByAChildFailsWith33UntilTheChildUnlocks) {
    PlatformTempDir dir;
    std::string name = dir.file("LINKDB.KSF");
    ASSERT_TRUE(platform_write_file(name, "data"));
    PlatformChild child;
    ASSERT_TRUE(child.start([&](PlatformChild& me) {
        File f;
        if (!f.open(name, kAccessReadWrite | kDenyNone)) return 1;
        if (!f.lock(kRecordLock, 1) || !f.lock(kWriterRegion, 0x3FF)) return 2;
        me.signal();
        if (!me.wait_signal()) return 3;
        if (!f.unlock(kRecordLock, 1)) return 4;
        me.signal();
        return me.wait_signal() ? 0 : 5;
    }));
    ASSERT_TRUE(child.wait_signal());
    File f;
    ASSERT_TRUE(f.open(name, kAccessReadWrite | kDenyNone));
    EXPECT_TRUE(f.is_locked_elsewhere(kRecordLock, 1));
    EXPECT_FALSE(f.lock(kRecordLock, 1));
    EXPECT_EQ(last_system_error(), kErrLockViolation);
    EXPECT_FALSE(f.lock(kWriterRegion + 0x100, 1, false));  // inside the region
    EXPECT_EQ(last_system_error(), kErrLockViolation);
    EXPECT_TRUE(f.lock(kWriterRegion + 0x3FF, 1));  // just past it
    child.signal();
    ASSERT_TRUE(child.wait_signal());
    EXPECT_FALSE(f.is_locked_elsewhere(kRecordLock, 1));
    EXPECT_TRUE(f.lock(kRecordLock, 1));
    EXPECT_FALSE(f.lock(kWriterRegion, 1));  // the child still holds the region
    child.signal();
    EXPECT_EQ(child.join(), 0);
    // The child's locks went with the child.
    EXPECT_TRUE(f.lock(kWriterRegion, 0x3FF));
}

TEST(FileLock, TwoOpensInOneProcessExcludeEachOther) {
    PlatformTempDir dir;
    std::string name = dir.file("f");
    ASSERT_TRUE(platform_write_file(name, ""));
    File a, b;
    ASSERT_TRUE(a.open(name, kAccessReadWrite | kDenyNone));
    ASSERT_TRUE(b.open(name, kAccessReadWrite | kDenyNone));
    EXPECT_TRUE(a.lock(kWriterRegion + 10, 1, false));
    EXPECT_TRUE(b.lock(kWriterRegion + 10, 1, false));  // shared with shared
    EXPECT_FALSE(b.lock(kWriterRegion, 100, true));
    EXPECT_EQ(last_system_error(), kErrLockViolation);
    EXPECT_TRUE(b.is_locked_elsewhere(kWriterRegion + 10, 1, true));
    EXPECT_FALSE(b.is_locked_elsewhere(kWriterRegion + 10, 1, false));  // a shared lock would be let in
    EXPECT_TRUE(a.unlock(kWriterRegion + 10, 1));
    EXPECT_TRUE(b.lock(kWriterRegion, 100, true));  // its own shared lock becomes exclusive
    EXPECT_FALSE(b.is_locked_elsewhere(kWriterRegion, 100));  // its own lock does not count
    EXPECT_TRUE(a.is_locked_elsewhere(kWriterRegion + 99, 1, false));
    b.close();
    EXPECT_TRUE(a.lock(kWriterRegion, 100));
}

TEST(FileLock, ClosingAnotherDescriptorOfTheFileKeepsTheLocks) {
    PlatformTempDir dir;
    std::string name = dir.file("f");
    ASSERT_TRUE(platform_write_file(name, ""));
    File holder, other;
    ASSERT_TRUE(holder.open(name, kAccessReadWrite | kDenyNone));
    ASSERT_TRUE(holder.lock(kWriterRegion, 0x3FF));
    // With per-process locks, closing any descriptor of the file would drop them all.
    int raw = ::open(name.c_str(), O_RDWR);
    ASSERT_GE(raw, 0);
    ::close(raw);
    File passer;
    ASSERT_TRUE(passer.open(name, kAccessRead | kDenyNone));
    passer.close();
    ASSERT_TRUE(other.open(name, kAccessReadWrite | kDenyNone));
    EXPECT_FALSE(other.lock(kWriterRegion, 1));
    EXPECT_EQ(last_system_error(), kErrLockViolation);
}

TEST(FileLock, BadRangesAndClosedFilesAreRefused) {
    PlatformTempDir dir;
    std::string name = dir.file("f");
    File f;
    EXPECT_FALSE(f.lock(0, 1));
    EXPECT_EQ(last_system_error(), kErrInvalidHandle);
    ASSERT_TRUE(f.create(name, kAccessReadWrite));
    EXPECT_FALSE(f.lock(10, 0));
    EXPECT_EQ(last_system_error(), kErrInvalidParameter);
    EXPECT_FALSE(f.lock(~0ULL - 1, 4));  // would wrap around
    EXPECT_EQ(last_system_error(), kErrInvalidParameter);
    // The range kept for the sharing modes cannot be locked through here.
    EXPECT_FALSE(f.lock(0x7FFF'FFFF'0000'0000ULL, 1));
    EXPECT_EQ(last_system_error(), kErrInvalidParameter);
    EXPECT_FALSE(f.unlock(0x7FFF'FFFE'FFFF'FFFFULL, 2));
    EXPECT_EQ(last_system_error(), kErrInvalidParameter);
    // Locks take no space: the file stays empty.
    EXPECT_TRUE(f.lock(0x7FFF'FFFE'FFFF'FFFFULL, 1));
    EXPECT_EQ(f.size(), 0);
}
