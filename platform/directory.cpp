// Directory listing and path names.
#include "platform/directory.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/system_error.h"

namespace sk::platform {

bool list_directory(const std::string& path, std::vector<DirectoryItem>& out) {
    out.clear();
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        capture_errno_for_path(path.c_str());
        return false;
    }
    const std::string prefix = path.empty() || path.back() == '/' ? path : path + '/';
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        DirectoryItem item;
        item.name = e->d_name;
        if (e->d_type == DT_DIR) {
            item.is_directory = true;
        } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            // Links to directories list as directories, as the user will open them.
            struct stat st;
            item.is_directory = ::stat((prefix + item.name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        out.push_back(std::move(item));
    }
    ::closedir(dir);
    return true;
}

bool is_directory(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool path_exists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool is_absolute_path(const std::string& path) { return !path.empty() && path.front() == '/'; }

std::string join_path(const std::string& base, const std::string& name) {
    if (is_absolute_path(name) || base.empty()) return name;
    if (name.empty()) return base;
    return base.back() == '/' ? base + name : base + '/' + name;
}

std::string normal_path(const std::string& path) {
    const bool absolute = is_absolute_path(path);
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else if (!absolute) parts.push_back(part);  // ".." above the root is the root
            continue;
        }
        parts.push_back(part);
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += '/';
        out += parts[i];
    }
    return out.empty() ? std::string(".") : out;
}

std::string parent_path(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string file_name(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string home_directory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return ".";
}

int make_directories(const std::string& directory) {
    for (std::size_t pos = 1; pos <= directory.size(); ++pos) {
        if (pos != directory.size() && directory[pos] != '/') continue;
        std::string part = directory.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return capture_errno_for_path(part.c_str());
    }
    struct stat st {};
    if (::stat(directory.c_str(), &st) != 0) return capture_errno_for_path(directory.c_str());
    if (!S_ISDIR(st.st_mode)) return kErrPathNotFound;
    return 0;
}

std::string state_directory() {
    const char* xdg = std::getenv("XDG_STATE_HOME");
    // Only an absolute path counts as a setting of the state directory.
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/sitekeeper";
    return home_directory() + "/.local/state/sitekeeper";
}

std::string native_name(const std::string& name) {
    std::string path = name;
    std::replace(path.begin(), path.end(), '\\', '/');
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z'));
    if (!drive) return path;
    const char letter = static_cast<char>(path[0] | 0x20);
    std::string rest = path.substr(2);
    while (!rest.empty() && rest.front() == '/') rest.erase(rest.begin());
    std::string base = state_directory();
    if (letter != 'c') base += std::string("/") + letter;
    return rest.empty() ? base : base + "/" + rest;
}

}  // namespace sk::platform
