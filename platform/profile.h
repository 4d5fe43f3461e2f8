// Profile (INI) files: named entries in named sections of a small text file.
//
// Section and entry names match without regard to letter case; values are trimmed
// of surrounding blanks when read. A write creates the file, the section and the
// entry as needed and keeps every other byte of the file as it was. Writes replace
// the file atomically and are serialised between processes.
#pragma once

#include <string>
#include <string_view>

namespace sk::platform {

// A plain name lives in $XDG_CONFIG_HOME/sitekeeper/ (else ~/.config/sitekeeper/,
// created on demand); a name with "/" is used as is.
std::string profile_path(std::string_view file_name);
std::string read_profile_string(std::string_view file_name, std::string_view section,
                                std::string_view entry, std::string_view default_text);
// false: last_system_error() says why (the file is left as it was).
bool write_profile_string(std::string_view file_name, std::string_view section,
                          std::string_view entry, std::string_view value);

}  // namespace sk::platform
