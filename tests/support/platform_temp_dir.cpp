// Temporary directories and whole-file helpers for the platform tests.
#include "support/platform_temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace sk::test {

namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
    // Permissions a test took away are given back so that the entry can go.
    ::chmod(path, 0700);
    ::remove(path);
    return 0;
}

}  // namespace

PlatformTempDir::PlatformTempDir() : PlatformTempDir(std::string()) {}

PlatformTempDir::PlatformTempDir(const std::string& base) {
    if (!base.empty()) {
        std::string pattern = base + "/sk-platform-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
            return;
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/sk-platform-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
}

PlatformTempDir::~PlatformTempDir() {
    if (!m_path.empty()) ::nftw(m_path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string platform_read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool platform_write_file(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return static_cast<bool>(out.flush());
}

bool platform_write_script(const std::string& path, const std::string& body) {
    return platform_write_file(path, "#!/bin/sh\n" + body) && ::chmod(path.c_str(), 0755) == 0;
}

}  // namespace sk::test
