// The application's data dictionary and program-start state.
//
// Four files are declared here for the whole run: the site file LINKDB (driver
// "KESTREL", prefix URL), the category file Categories ("KESTREL", prefix CAT),
// the text file AsciiFile ("ASCII", prefix ASC, named by ExportFileName when it is
// opened) that the export writes, and the text file ImportFile ("ASCII", prefix
// IMP, named the same way) that the imports read. With them live their record
// buffers, keys and memo, the globals every procedure shares, the request and
// response codes procedures hand each other, the usage counters that make the
// first user open a data file and the last one close it, and OpenOrCreateFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "data/control_blocks.h"

namespace sk::app {

// ---------------------------------------------------------------------------
// Request codes (values of PendingRequest); 0 is no request, as for a browse
// started from the menu.
inline constexpr std::int32_t RequestInsert = 1;
inline constexpr std::int32_t RequestChange = 2;
inline constexpr std::int32_t RequestDelete = 3;
inline constexpr std::int32_t RequestSelect = 4;  // pick one record, hand it back in the buffer
// Response codes (values of LastResponse).
inline constexpr std::int32_t ResponseDone = 1;
inline constexpr std::int32_t ResponseCancelled = 2;

// ---------------------------------------------------------------------------
// Globals. STRING(n) variables are exactly n bytes, blank-padded, no terminator.
inline constexpr std::size_t kPathTextSize = 255;
inline constexpr std::size_t kCategorySize = 15;

extern std::int32_t PendingRequest;          // request for the next procedure called
extern std::int32_t LastResponse;            // that procedure's answer
extern char ExportFileName[kPathTextSize];   // file name of AsciiFile
extern char LastDirectory[kPathTextSize];    // directory last confirmed in a file dialog
extern char ProgramDirectory[kPathTextSize]; // restored after every file dialog
extern std::int32_t CategoriesUsers;         // procedures holding Categories open
extern std::int32_t LINKDBUsers;             // procedures holding LINKDB open
extern std::int32_t AsciiFileUsers;          // procedures holding AsciiFile open
extern std::int32_t ImportFileUsers;         // procedures holding ImportFile open
inline constexpr std::size_t kViewFileNameSize = 80;
extern char ViewFileName[kViewFileNameSize]; // the file the text viewers load
extern char Work[kPathTextSize];             // scratch text of the HTML import
extern std::int32_t Found;                   // search position of the HTML import
extern char SavedCategory[kCategorySize];    // category name as read before a change

inline constexpr std::string_view kDefaultExportFileName = "bookmark.htm";

// The global initialiser: strings blank, PendingRequest, LastResponse, the usage
// counters and Found 0.
void init_globals();

// The program start's own settings, after the window system is initialised and
// before Main runs: the globals initialised, LastDirectory and ProgramDirectory
// set to the current directory, ExportFileName set to "bookmark.htm". Opens no
// data file.
void start_program_globals();

// ---------------------------------------------------------------------------
// Fixed-length text helpers for the STRING(n) globals and record fields.

// Copies text into a field of n bytes, cut at n and blank-padded.
void set_fixed(char* field, std::size_t n, std::string_view text);
template <std::size_t N>
void set_fixed(char (&field)[N], std::string_view text) { set_fixed(field, N, text); }

// The field's text without its trailing blanks.
std::string fixed_text(const char* field, std::size_t n);
template <std::size_t N>
std::string fixed_text(const char (&field)[N]) { return fixed_text(field, N); }

// ---------------------------------------------------------------------------
// File Categories: driver "KESTREL", disk name "CATEGORIES", prefix CAT.
struct CategoriesRecord {
    char category[kCategorySize];  // CAT:CATEGORY STRING(15) at 0
};
static_assert(sizeof(CategoriesRecord) == 15);

// File LINKDB: driver "KESTREL", disk name "LINKDB", prefix URL, one memo.
struct LinkdbRecord {
    char location[128];            // URL:LOCATION STRING(128) at 0
    char description[60];          // URL:DESCRIPTION STRING(60) at 128
    char category[kCategorySize];  // URL:CATEGORY STRING(15) at 188
    unsigned char rating[2];       // URL:RATING DECIMAL(2,0) at 203, packed decimal
    char keyword[10];              // URL:KEYWORD STRING(10) at 205
};
static_assert(sizeof(LinkdbRecord) == 215);

inline constexpr std::uint32_t kSiteInfoSize = 500;  // URL:SITEINFO MEMO(500)

// File AsciiFile: driver "ASCII", named by ExportFileName, prefix ASC, no keys.
inline constexpr std::size_t kAsciiLineSize = 512;
struct AsciiRecord {
    char line[kAsciiLineSize];     // ASC:LINE STRING(512) at 0
};
static_assert(sizeof(AsciiRecord) == 512);

// File ImportFile: driver "ASCII", named by ExportFileName, prefix IMP, no keys.
// The imports read their input through it. Its line record is the driver's
// largest, so that the long lines of bookmark files (each link's icon written
// into its tag as data) are read whole; only longer lines are cut.
inline constexpr std::size_t kImportLineSize = 65535;
struct ImportRecord {
    char line[kImportLineSize];    // IMP:LINE STRING(65535) at 0
};
static_assert(sizeof(ImportRecord) == 65535);

// Attribute byte of every file the application declares: instance registration
// (bit 4) and driver option 1 (bit 2).
inline constexpr std::uint8_t kApplicationFileAttributes = 0x14;

// Record buffers.
extern CategoriesRecord cat_record;
extern LinkdbRecord url_record;
extern AsciiRecord asc_record;
extern ImportRecord imp_record;

// Keys (attribute words: unique/optional/no-case 6, duplicates 7, two-part 5).
extern sk::data::KeyControlBlock cat_k_category;     // CAT:K_CATEGORY     (CAT:CATEGORY)
extern sk::data::KeyControlBlock url_k_location;     // URL:K_LOCATION     (URL:LOCATION)
extern sk::data::KeyControlBlock url_k_description;  // URL:K_DESCRIPTION  (URL:DESCRIPTION)
extern sk::data::KeyControlBlock url_k_category;     // URL:K_CATEGORY     (URL:CATEGORY, URL:LOCATION)
extern sk::data::KeyControlBlock url_k_rating;       // URL:K_RATING       (URL:RATING, URL:LOCATION)
extern sk::data::KeyControlBlock url_k_keyword;      // URL:K_KEYWORD      (URL:KEYWORD, URL:LOCATION)

// The memo URL:SITEINFO. Its 500-byte text buffer belongs to the driver, which
// allocates it when it creates the file's state.
extern sk::data::MemoControlBlock url_siteinfo;
// The memo's text buffer (kSiteInfoSize bytes), or null while the driver holds no
// state for LINKDB.
char* url_siteinfo_text();

// The file blocks.
extern sk::data::FileControlBlock Categories;
extern sk::data::FileControlBlock LINKDB;
extern sk::data::FileControlBlock AsciiFile;
extern sk::data::FileControlBlock ImportFile;

// The record declarations, each ending with its zero byte.
const std::uint8_t* categories_field_stream(std::size_t* size);
const std::uint8_t* linkdb_field_stream(std::size_t* size);
const std::uint8_t* ascii_field_stream(std::size_t* size);
const std::uint8_t* import_field_stream(std::size_t* size);

// Driver names as the declarations give them.
inline constexpr std::string_view kKestrelDriver = "KESTREL";
inline constexpr std::string_view kAsciiDriver = "ASCII";

// The driver a declared file names ("KESTREL" or "ASCII"); empty for a block that
// is not one of the declarations.
std::string_view declared_driver(const sk::data::FileControlBlock& file);

// Connects a driver's dispatch entry to every declared file that names the driver
// (the program start does this for each driver linked in). Returns how many
// declarations now use it; 0 for a name no declaration uses.
int install_file_driver(std::string_view driver_name, sk::data::DriverEntry entry);

// ---------------------------------------------------------------------------
// Opening the data files.

// The access mode the application opens its files with: read/write, deny none.
inline constexpr unsigned kSharedReadWrite = 0x42;

// Opens file with mode 42h, creating it when it is missing and offering to
// rebuild its keys when they must be rebuilt. Returns only when the file is open;
// every other outcome shows a standard message (1 to 5, 30) and ends the program.
void OpenOrCreateFile(sk::data::FileControlBlock& file);

// The file-use protocol: the first user (counter 0) opens the file through
// OpenOrCreateFile, every user adds 1; on the way out each subtracts 1 and the
// last closes the file. A release with the counter already 0 changes nothing.
void use_file(sk::data::FileControlBlock& file, std::int32_t& users);
void release_file(sk::data::FileControlBlock& file, std::int32_t& users);

// The same for the two data files with their own counters.
void use_categories();
void release_categories();
void use_linkdb();
void release_linkdb();
void use_ascii_file();
void release_ascii_file();
void use_import_file();
void release_import_file();

// The line last read into IMP:LINE without the blanks that pad it.
std::string_view import_line();

// Makes the fields of LINKDB and Categories and the memo "URL:SiteInfo" known to
// the expression evaluator under their labels. The memo is bound only while the
// driver holds LINKDB's state (its buffer lives there).
void bind_file_fields();

}  // namespace sk::app
