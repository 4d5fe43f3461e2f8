// A fresh temporary directory for a test, removed with everything in it at the end.
#pragma once

#include <string>

namespace sk::test {

class PlatformTempDir {
public:
    PlatformTempDir();   // creates a new directory under $TMPDIR (else /tmp)
    // Creates it under base instead, or under $TMPDIR when base is missing.
    explicit PlatformTempDir(const std::string& base);
    ~PlatformTempDir();  // removes it recursively
    PlatformTempDir(const PlatformTempDir&) = delete;
    PlatformTempDir& operator=(const PlatformTempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Whole contents of a file ("" when it cannot be read), and writing one.
std::string platform_read_file(const std::string& path);
bool platform_write_file(const std::string& path, const std::string& contents);
// Writes an executable shell script: a "#!/bin/sh" line, then body.
bool platform_write_script(const std::string& path, const std::string& body);

}  // namespace sk::test
