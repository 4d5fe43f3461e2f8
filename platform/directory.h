// Directories and path names: listing a directory, asking what a path names, and the
// lexical operations on path names the file dialog needs. Paths are UTF-8 bytes with
// '/' separators.
#pragma once

#include <string>
#include <vector>

namespace sk::platform {

struct DirectoryItem {
    std::string name;        // the entry's own name, without the directory
    bool is_directory = false;
};

// The entries of a directory other than "." and "..", in the order the system gives
// them. Entries that cannot be examined are listed as files; a directory that cannot
// be read gives false and sets the last system error.
bool list_directory(const std::string& path, std::vector<DirectoryItem>& out);

// True when path names an existing directory (symbolic links followed).
bool is_directory(const std::string& path);
// True when path names anything that exists.
bool path_exists(const std::string& path);

bool is_absolute_path(const std::string& path);
// base joined with name; name itself when it is absolute.
std::string join_path(const std::string& base, const std::string& name);
// "." and ".." resolved and repeated separators folded, without asking the system;
// a trailing separator is dropped except for the root.
std::string normal_path(const std::string& path);
// Everything before the last separator ("" for a plain name, "/" for a name at the root).
std::string parent_path(const std::string& path);
// Everything after the last separator.
std::string file_name(const std::string& path);

}  // namespace sk::platform
