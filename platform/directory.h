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

// $HOME, else the password database's home directory, else ".".
std::string home_directory();
// Creates directory and its missing parents (mode 0700). Returns 0 or a system error.
int make_directories(const std::string& directory);
// Where the program keeps state between runs: $XDG_STATE_HOME/sitekeeper when
// that is an absolute path, else ~/.local/state/sitekeeper.
std::string state_directory();
// A file name written for a system with drive letters, as this system reads
// it. "c:\kestrel.tcf" names a file in the state directory; another drive's
// names lie under a directory named by its letter ("d:\tx\a.tcf" is
// tx/a.tcf in the directory "d" of the state directory); backslashes are
// separators. Any other name keeps its meaning, with backslashes in it read as
// separators.
std::string native_name(const std::string& name);

}  // namespace sk::platform
