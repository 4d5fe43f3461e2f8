// Directory listing and path names.
#include "platform/directory.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

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

}  // namespace sk::platform
