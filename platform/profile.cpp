// Profile (INI) files.
//
// The file is a sequence of lines, each ended by CR LF or LF (the last one may have
// no line end; a UTF-8 byte order mark at the very start is kept and skipped):
//
//   [Section]            a section header; blanks around the name are ignored
//   Entry=Value          an entry of the section above; blanks around both are ignored
//   ; text               a comment
//   anything else        kept, but means nothing
//
// Names match without regard to ASCII letter case; the first section of a name and
// the first entry of a name within it count. A value wrapped in one pair of double
// quotes is read without them.
//
// A write changes only the bytes it must: the value of an existing entry (the text
// up to the "=" and the blanks after it are kept), a new entry line after the last
// non-blank line of its section, or a new section at the end of the file. New lines
// take the line end the file already uses (its first line end decides), CR LF in a
// file that has none yet. Every other byte, comments and blank lines included, is
// written back as it was.
//
// Writes are atomic and serialised: the writer takes an exclusive open-file-
// description lock on "<file>.lock" beside the file (waiting for it), reads the
// current file, writes the new contents to a temporary file in the same directory,
// flushes it to disk, renames it over the file and flushes the directory. A reader
// takes no lock: it always finds either the old or the new file, whole. The lock file
// is never removed, since removing it would let two writers lock different files.
// A file that may not be written is not replaced: the write fails with 5.
#include "platform/profile.h"

#include "platform/directory.h"
#include "platform/file.h"
#include "platform/system_error.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sk::platform {

namespace {

// A profile file larger than this is not one; it is refused rather than loaded.
constexpr std::size_t kMaxProfileSize = 16u << 20;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

bool equal_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

enum class LineKind { kOther, kSection, kEntry };

struct Line {
    std::size_t begin = 0;  // first byte of the text
    std::size_t end = 0;    // one past the text, before the line end
    std::size_t next = 0;   // one past the line end
    LineKind kind = LineKind::kOther;
    std::string_view name;   // section or entry name, trimmed
    std::size_t equals = 0;  // entries: position of the "="
};

std::vector<Line> split_lines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        std::size_t lf = text.find('\n', pos);
        line.next = lf == std::string_view::npos ? text.size() : lf + 1;
        line.end = lf == std::string_view::npos ? text.size() : lf;
        if (line.end > line.begin && text[line.end - 1] == '\r') --line.end;
        std::string_view body = trim(text.substr(line.begin, line.end - line.begin));
        if (!body.empty() && body.front() == '[') {
            std::size_t close = body.find(']');
            line.kind = LineKind::kSection;
            line.name = trim(body.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        } else if (!body.empty() && body.front() != ';') {
            std::size_t eq = text.substr(line.begin, line.end - line.begin).find('=');
            if (eq != std::string_view::npos) {
                line.kind = LineKind::kEntry;
                line.equals = line.begin + eq;
                line.name = trim(text.substr(line.begin, eq));
            }
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

// Index of the first header of section, or lines.size().
std::size_t find_section(const std::vector<Line>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == LineKind::kSection && equal_nocase(lines[i].name, section)) return i;
    return lines.size();
}

// One past the last line of the section whose header is at index header.
std::size_t section_end(const std::vector<Line>& lines, std::size_t header) {
    std::size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != LineKind::kSection) ++i;
    return i;
}

std::size_t find_entry(const std::vector<Line>& lines, std::size_t header, std::string_view entry) {
    std::size_t end = section_end(lines, header);
    for (std::size_t i = header + 1; i < end; ++i)
        if (lines[i].kind == LineKind::kEntry && equal_nocase(lines[i].name, entry)) return i;
    return lines.size();
}

std::string line_end_of(std::string_view text) {
    std::size_t lf = text.find('\n');
    if (lf != std::string_view::npos && (lf == 0 || text[lf - 1] != '\r')) return "\n";
    return "\r\n";
}

bool has_line_break(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Reads the whole file. Returns 0 (exists set), or a system error; a missing file
// is 0 with exists false.
int read_whole(const std::string& path, std::string* out, bool* exists) {
    out->clear();
    *exists = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) return 0;
        return capture_errno_for_path(path.c_str());
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int code = S_ISDIR(st.st_mode) ? kErrAccessDenied : capture_errno();
        ::close(fd);
        return code;
    }
    *exists = true;
    char buffer[8192];
    for (;;) {
        ssize_t r = ::read(fd, buffer, sizeof buffer);
        if (r < 0) {
            if (errno == EINTR) continue;
            int code = errno == EIO ? kErrReadFault : capture_errno();
            ::close(fd);
            return code;
        }
        if (r == 0) break;
        if (out->size() + static_cast<std::size_t>(r) > kMaxProfileSize) {
            ::close(fd);
            return kErrNotEnoughMemory;
        }
        out->append(buffer, static_cast<std::size_t>(r));
    }
    ::close(fd);
    return 0;
}

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t r = ::write(fd, data.data(), data.size());
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) {
            errno = ENOSPC;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(r));
    }
    return true;
}

int fsync_retry(int fd) {
    int r;
    do {
        r = ::fsync(fd);
    } while (r != 0 && errno == EINTR);
    return r;
}

std::string config_directory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // Only an absolute path counts as a setting of the configuration directory.
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/sitekeeper";
    return home_directory() + "/.config/sitekeeper";
}

std::string directory_of(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a write replaces: a symbolic link is followed, so that the link stays.
std::string write_target(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string result = real;
            std::free(real);
            return result;
        }
    }
    return path;
}

// Holds the exclusive lock of "<path>.lock" for its lifetime.
class WriterLock {
public:
    int acquire(const std::string& path) {
        std::string name = path + ".lock";
        m_fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
        if (m_fd < 0) return capture_errno_for_path(name.c_str());
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        int r;
        do {
            r = ::fcntl(m_fd, F_OFD_SETLKW, &fl);
        } while (r != 0 && errno == EINTR);
        if (r != 0) return capture_errno();
        return 0;
    }
    ~WriterLock() {
        if (m_fd >= 0) ::close(m_fd);
    }

private:
    int m_fd = -1;
};

// Replaces path with contents: temporary file, flush, rename, flush the directory.
int replace_file(const std::string& path, std::string_view contents, const struct stat* old) {
    std::string directory = directory_of(path);
    std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    std::string temp = directory + "/." + base + ".XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return capture_errno_for_path(temp.c_str());
    bool ok = write_all(fd, contents);
    if (ok && old != nullptr) ok = ::fchmod(fd, old->st_mode & 07777) == 0 || errno == EPERM;
    if (ok) ok = fsync_retry(fd) == 0;
    int code = ok ? 0 : capture_errno();
    if (::close(fd) != 0 && code == 0) code = capture_errno();
    if (code == 0 && ::rename(temp.c_str(), path.c_str()) != 0) code = capture_errno_for_path(path.c_str());
    if (code != 0) {
        ::unlink(temp.c_str());
        set_last_system_error(code);
        return code;
    }
    int dfd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync_retry(dfd);
        ::close(dfd);
    }
    return 0;
}

}  // namespace

std::string profile_path(std::string_view file_name) {
    if (file_name.find('/') != std::string_view::npos) return std::string(file_name);
    return config_directory() + "/" + std::string(file_name);
}

std::string read_profile_string(std::string_view file_name, std::string_view section, std::string_view entry,
                                std::string_view default_text) {
    section = trim(section);
    entry = trim(entry);
    if (file_name.empty() || section.empty() || entry.empty()) return std::string(default_text);
    std::string path = find_case_insensitive(profile_path(file_name));
    std::string text;
    bool exists = false;
    if (int code = read_whole(path, &text, &exists); code != 0 || !exists) {
        set_last_system_error(code != 0 ? code : kErrFileNotFound);
        return std::string(default_text);
    }
    std::vector<Line> lines = split_lines(text);
    std::size_t header = find_section(lines, section);
    if (header == lines.size()) return std::string(default_text);
    std::size_t at = find_entry(lines, header, entry);
    if (at == lines.size()) return std::string(default_text);
    const Line& line = lines[at];
    std::string_view value = trim(std::string_view(text).substr(line.equals + 1, line.end - line.equals - 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool write_profile_string(std::string_view file_name, std::string_view section, std::string_view entry,
                          std::string_view value) {
    section = trim(section);
    entry = trim(entry);
    // Names and values that would change the file's structure are refused.
    if (file_name.empty() || section.empty() || entry.empty() || has_line_break(section) ||
        section.find(']') != std::string_view::npos || has_line_break(entry) ||
        entry.find('=') != std::string_view::npos || entry.front() == '[' || entry.front() == ';' ||
        has_line_break(value) || file_name.back() == '/') {
        set_last_system_error(kErrInvalidParameter);
        return false;
    }
    std::string path = profile_path(file_name);
    if (file_name.find('/') == std::string_view::npos) {
        if (int code = make_directories(directory_of(path)); code != 0) {
            set_last_system_error(code);
            return false;
        }
    }
    path = write_target(find_case_insensitive(path));

    WriterLock lock;
    if (int code = lock.acquire(path); code != 0) {
        set_last_system_error(code);
        return false;
    }
    std::string text;
    bool exists = false;
    if (int code = read_whole(path, &text, &exists); code != 0) {
        set_last_system_error(code);
        return false;
    }
    struct stat old {};
    bool have_old = exists && ::stat(path.c_str(), &old) == 0;
    // The replacing rename would get past a file made read-only; it is refused as
    // the write to it would be.
    if (exists && ::access(path.c_str(), W_OK) != 0) {
        capture_errno_for_path(path.c_str());
        return false;
    }

    std::vector<Line> lines = split_lines(text);
    std::string eol = line_end_of(text);
    std::string updated;
    std::size_t header = find_section(lines, section);
    if (header == lines.size()) {
        updated = text;
        if (!lines.empty() && updated.back() != '\n') updated += eol;
        updated.append("[").append(section).append("]").append(eol);
        updated.append(entry).append("=").append(value).append(eol);
    } else if (std::size_t at = find_entry(lines, header, entry); at != lines.size()) {
        // The blanks after the "=" are kept unless the value brings its own.
        const Line& line = lines[at];
        std::size_t value_start = line.equals + 1;
        if (!value.empty() && !is_blank(value.front()))
            while (value_start < line.end && (text[value_start] == ' ' || text[value_start] == '\t')) ++value_start;
        if (std::string_view(text).substr(value_start, line.end - value_start) == value) return true;
        updated = text.substr(0, value_start);
        updated.append(value).append(text, line.end, std::string::npos);
    } else {
        // After the last non-blank line of the section, so that blank lines that
        // separate it from the next section stay where they are.
        std::size_t last = header;
        for (std::size_t i = header + 1; i < section_end(lines, header); ++i)
            if (!trim(std::string_view(text).substr(lines[i].begin, lines[i].end - lines[i].begin)).empty()) last = i;
        std::size_t insert_at = lines[last].next;
        updated = text.substr(0, insert_at);
        if (insert_at == lines[last].end) updated += eol;  // the line had no line end
        updated.append(entry).append("=").append(value).append(eol);
        updated.append(text, insert_at, std::string::npos);
    }
    if (int code = replace_file(path, updated, have_old ? &old : nullptr); code != 0) return false;
    return true;
}

}  // namespace sk::platform
