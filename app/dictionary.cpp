// The file declarations, globals and file-opening routines of the application.
#include "app/dictionary.h"

#include "app/standard_messages.h"
#include "data/ascii/ascii_driver.h"
#include "data/file_layer.h"
#include "data/ksf/driver.h"
#include "platform/file.h"
#include "runtime/bind.h"
#include "runtime/error.h"
#include "runtime/halt.h"

#include <array>
#include <cstring>

namespace sk::app {

namespace sd = sk::data;

// ---------------------------------------------------------------------------
// Globals. The blank strings are set by init_globals, which the program start
// runs before anything reads them.

std::int32_t PendingRequest = 0;
std::int32_t LastResponse = 0;
char ExportFileName[kPathTextSize];
char LastDirectory[kPathTextSize];
char ProgramDirectory[kPathTextSize];
std::int32_t CategoriesUsers = 0;
std::int32_t LINKDBUsers = 0;
std::int32_t AsciiFileUsers = 0;
std::int32_t ImportFileUsers = 0;
char ViewFileName[kViewFileNameSize];
char Work[kPathTextSize];
std::int32_t Found = 0;
char SavedCategory[kCategorySize];

namespace {

// Blank the strings before any static initialiser of another module could look.
struct BlankGlobals {
    BlankGlobals()
    {
        std::memset(ExportFileName, ' ', sizeof ExportFileName);
        std::memset(LastDirectory, ' ', sizeof LastDirectory);
        std::memset(ProgramDirectory, ' ', sizeof ProgramDirectory);
        std::memset(Work, ' ', sizeof Work);
        std::memset(SavedCategory, ' ', sizeof SavedCategory);
    }
} blank_globals;

// ---------------------------------------------------------------------------
// Record declarations, built at compile time in the field stream format:
//   16h, then per field 18h, offset (4 bytes LE), label, 0, type, size data, and 0.

struct FieldDecl {
    std::uint32_t offset;
    std::string_view label;
    std::uint8_t type;
    std::uint32_t length;   // STRING: its length
    std::uint8_t digits;    // DECIMAL: digits and places
    std::uint8_t places;
};

template <std::size_t M>
constexpr std::size_t stream_size(const std::array<FieldDecl, M>& fields)
{
    std::size_t n = 1;  // group marker
    for (const FieldDecl& f : fields) {
        n += 1 + 4 + f.label.size() + 1 + 1;
        n += f.type == sd::kTypeString ? 5 : f.type == sd::kTypeDecimal ? 2 : 0;
    }
    return n + 1;  // closing zero
}

template <std::size_t N, std::size_t M>
constexpr std::array<std::uint8_t, N> make_stream(const std::array<FieldDecl, M>& fields)
{
    std::array<std::uint8_t, N> out{};
    std::size_t i = 0;
    auto put32 = [&](std::uint32_t v) {
        for (int b = 0; b < 4; ++b)
            out[i++] = static_cast<std::uint8_t>(v >> (8 * b));
    };
    out[i++] = sd::kTypeGroup;
    for (const FieldDecl& f : fields) {
        out[i++] = sd::kFieldStart;
        put32(f.offset);
        for (char c : f.label)
            out[i++] = static_cast<std::uint8_t>(c);
        out[i++] = 0;
        out[i++] = f.type;
        if (f.type == sd::kTypeString) {
            put32(f.length);
            out[i++] = 0;
        } else if (f.type == sd::kTypeDecimal) {
            out[i++] = f.digits;
            out[i++] = f.places;
        }
    }
    out[i++] = sd::kStreamEnd;
    return out;
}

constexpr std::array<FieldDecl, 1> kCategoriesFields{{
    {0, "CAT:CATEGORY", sd::kTypeString, 15, 0, 0},
}};
constexpr std::array<FieldDecl, 5> kLinkdbFields{{
    {0, "URL:LOCATION", sd::kTypeString, 128, 0, 0},
    {128, "URL:DESCRIPTION", sd::kTypeString, 60, 0, 0},
    {188, "URL:CATEGORY", sd::kTypeString, 15, 0, 0},
    {203, "URL:RATING", sd::kTypeDecimal, 0, 2, 0},
    {205, "URL:KEYWORD", sd::kTypeString, 10, 0, 0},
}};
constexpr std::array<FieldDecl, 1> kAsciiFields{{
    {0, "ASC:LINE", sd::kTypeString, 512, 0, 0},
}};

constexpr auto kCategoriesStream = make_stream<stream_size(kCategoriesFields)>(kCategoriesFields);
constexpr auto kLinkdbStream = make_stream<stream_size(kLinkdbFields)>(kLinkdbFields);
constexpr auto kAsciiStream = make_stream<stream_size(kAsciiFields)>(kAsciiFields);
constexpr std::array<FieldDecl, 1> kImportFields{{
    {0, "IMP:LINE", sd::kTypeString, kImportLineSize, 0, 0},
}};
constexpr auto kImportStream = make_stream<stream_size(kImportFields)>(kImportFields);

// Key components: field numbers of the declaration, 1-based, ascending.
constexpr std::int32_t kFieldLocation = 1;
constexpr std::int32_t kFieldDescription = 2;
constexpr std::int32_t kFieldCategory = 3;
constexpr std::int32_t kFieldRating = 4;
constexpr std::int32_t kFieldKeyword = 5;

constexpr std::int32_t kCatCategoryParts[] = {1};
constexpr std::int32_t kLocationParts[] = {kFieldLocation};
constexpr std::int32_t kDescriptionParts[] = {kFieldDescription};
constexpr std::int32_t kCategoryParts[] = {kFieldCategory, kFieldLocation};
constexpr std::int32_t kRatingParts[] = {kFieldRating, kFieldLocation};
constexpr std::int32_t kKeywordParts[] = {kFieldKeyword, kFieldLocation};

constexpr std::uint32_t kUniqueOptionalNoCase = sd::kKeyOptional | sd::kKeyNoCase;  // 6
constexpr std::uint32_t kDuplicatesOptionalNoCase =
    sd::kKeyDuplicates | sd::kKeyOptional | sd::kKeyNoCase;                           // 7
constexpr std::uint32_t kDuplicatesNoCase = sd::kKeyDuplicates | sd::kKeyNoCase;     // 5

constexpr char kCatKCategoryLabel[] = "CAT:K_CATEGORY";
constexpr char kUrlKLocationLabel[] = "URL:K_LOCATION";
constexpr char kUrlKDescriptionLabel[] = "URL:K_DESCRIPTION";
constexpr char kUrlKCategoryLabel[] = "URL:K_CATEGORY";
constexpr char kUrlKRatingLabel[] = "URL:K_RATING";
constexpr char kUrlKKeywordLabel[] = "URL:K_KEYWORD";
constexpr char kSiteInfoLabel[] = "URL:SITEINFO";

template <std::size_t N>
constexpr std::uint32_t text_length(const char (&)[N]) { return static_cast<std::uint32_t>(N - 1); }

template <std::size_t N>
constexpr std::uint8_t part_count(const std::int32_t (&)[N]) { return static_cast<std::uint8_t>(N); }

constexpr char kCategoriesName[] = "CATEGORIES";
constexpr char kLinkdbName[] = "LINKDB";

}  // namespace

// ---------------------------------------------------------------------------
// Record buffers, keys, memo and files.

CategoriesRecord cat_record;
LinkdbRecord url_record;
AsciiRecord asc_record;
ImportRecord imp_record;

sd::KeyControlBlock cat_k_category{
    .reserved = {},
    .label = kCatKCategoryLabel,
    .label_length = text_length(kCatKCategoryLabel),
    .driver_entry = nullptr,
    .attributes = kUniqueOptionalNoCase,
    .component_count = part_count(kCatCategoryParts),
    .components = kCatCategoryParts,
    .file = &Categories,
};

sd::KeyControlBlock url_k_location{
    .reserved = {},
    .label = kUrlKLocationLabel,
    .label_length = text_length(kUrlKLocationLabel),
    .driver_entry = nullptr,
    .attributes = kUniqueOptionalNoCase,
    .component_count = part_count(kLocationParts),
    .components = kLocationParts,
    .file = &LINKDB,
};

sd::KeyControlBlock url_k_description{
    .reserved = {},
    .label = kUrlKDescriptionLabel,
    .label_length = text_length(kUrlKDescriptionLabel),
    .driver_entry = nullptr,
    .attributes = kDuplicatesOptionalNoCase,
    .component_count = part_count(kDescriptionParts),
    .components = kDescriptionParts,
    .file = &LINKDB,
};

sd::KeyControlBlock url_k_category{
    .reserved = {},
    .label = kUrlKCategoryLabel,
    .label_length = text_length(kUrlKCategoryLabel),
    .driver_entry = nullptr,
    .attributes = kDuplicatesNoCase,
    .component_count = part_count(kCategoryParts),
    .components = kCategoryParts,
    .file = &LINKDB,
};

sd::KeyControlBlock url_k_rating{
    .reserved = {},
    .label = kUrlKRatingLabel,
    .label_length = text_length(kUrlKRatingLabel),
    .driver_entry = nullptr,
    .attributes = kDuplicatesNoCase,
    .component_count = part_count(kRatingParts),
    .components = kRatingParts,
    .file = &LINKDB,
};

sd::KeyControlBlock url_k_keyword{
    .reserved = {},
    .label = kUrlKKeywordLabel,
    .label_length = text_length(kUrlKKeywordLabel),
    .driver_entry = nullptr,
    .attributes = kDuplicatesNoCase,
    .component_count = part_count(kKeywordParts),
    .components = kKeywordParts,
    .file = &LINKDB,
};

sd::MemoControlBlock url_siteinfo{
    .external_name = nullptr,
    .external_name_length = 0,
    .label = kSiteInfoLabel,
    .label_length = text_length(kSiteInfoLabel),
    .buffer = nullptr,
    .driver_entry = nullptr,
    .reserved = 0,
    .attributes = 1,
    .size = kSiteInfoSize,
};

namespace {

sd::KeyControlBlock* const kCategoriesKeys[] = {&cat_k_category};
sd::KeyControlBlock* const kLinkdbKeys[] = {&url_k_location, &url_k_description, &url_k_category,
                                            &url_k_rating, &url_k_keyword};
sd::MemoControlBlock* const kLinkdbMemos[] = {&url_siteinfo};

}  // namespace

sd::FileControlBlock Categories{
    .entry = nullptr,
    .name = kCategoriesName,
    .name_length = text_length(kCategoriesName),
    .driver_string = nullptr,
    .driver_string_length = 0,
    .owner = nullptr,
    .owner_length = 0,
    .attributes = kApplicationFileAttributes,
    .key_count = 1,
    .memo_count = 0,
    .record_length = sizeof(CategoriesRecord),
    .fields = kCategoriesStream.data(),
    .keys = kCategoriesKeys,
    .memos = nullptr,
    .record = cat_record.category,
    .state = nullptr,
    .reserved = 0,
    .fields_size = static_cast<std::uint32_t>(kCategoriesStream.size()),
    .primary = nullptr,
};

sd::FileControlBlock LINKDB{
    .entry = nullptr,
    .name = kLinkdbName,
    .name_length = text_length(kLinkdbName),
    .driver_string = nullptr,
    .driver_string_length = 0,
    .owner = nullptr,
    .owner_length = 0,
    .attributes = kApplicationFileAttributes,
    .key_count = 5,
    .memo_count = 1,
    .record_length = sizeof(LinkdbRecord),
    .fields = kLinkdbStream.data(),
    .keys = kLinkdbKeys,
    .memos = kLinkdbMemos,
    .record = url_record.location,
    .state = nullptr,
    .reserved = 0,
    .fields_size = static_cast<std::uint32_t>(kLinkdbStream.size()),
    .primary = nullptr,
};

namespace {

// A file of the ASCII driver, one text line a record: its name is the variable
// ExportFileName, which the driver reads each time the file is opened. The
// ASCII driver is part of the data layer and always present; the KESTREL entry
// is installed by the program start.
template <std::size_t N>
constexpr sd::FileControlBlock ascii_file_block(std::uint32_t record_length, const std::array<std::uint8_t, N>& fields,
                                                char* record)
{
    return sd::FileControlBlock{
        .entry = sk::ascii::ascii_entry,
        .name = ExportFileName,
        .name_length = kPathTextSize,
        .driver_string = nullptr,
        .driver_string_length = 0,
        .owner = nullptr,
        .owner_length = 0,
        .attributes = kApplicationFileAttributes,
        .key_count = 0,
        .memo_count = 0,
        .record_length = record_length,
        .fields = fields.data(),
        .keys = nullptr,
        .memos = nullptr,
        .record = record,
        .state = nullptr,
        .reserved = 0,
        .fields_size = static_cast<std::uint32_t>(N),
        .primary = nullptr,
    };
}

}  // namespace

constinit sd::FileControlBlock AsciiFile = ascii_file_block(sizeof(AsciiRecord), kAsciiStream, asc_record.line);

// The imports' input: named like AsciiFile, with a record of its own.
constinit sd::FileControlBlock ImportFile = ascii_file_block(sizeof(ImportRecord), kImportStream, imp_record.line);

char* url_siteinfo_text() { return url_siteinfo.buffer; }

namespace {

template <std::size_t N>
const std::uint8_t* stream_of(const std::array<std::uint8_t, N>& stream, std::size_t* size)
{
    *size = N;
    return stream.data();
}

}  // namespace

const std::uint8_t* categories_field_stream(std::size_t* size) { return stream_of(kCategoriesStream, size); }
const std::uint8_t* linkdb_field_stream(std::size_t* size) { return stream_of(kLinkdbStream, size); }
const std::uint8_t* ascii_field_stream(std::size_t* size) { return stream_of(kAsciiStream, size); }
const std::uint8_t* import_field_stream(std::size_t* size) { return stream_of(kImportStream, size); }

namespace {

struct Declaration {
    sd::FileControlBlock* file;
    std::string_view driver;
};

const Declaration kDeclarations[] = {
    {&Categories, kKestrelDriver},
    {&LINKDB, kKestrelDriver},
    {&AsciiFile, kAsciiDriver},
    {&ImportFile, kAsciiDriver},
};

}  // namespace

std::string_view declared_driver(const sd::FileControlBlock& file)
{
    for (const Declaration& d : kDeclarations)
        if (d.file == &file)
            return d.driver;
    return {};
}

int install_file_driver(std::string_view driver_name, sd::DriverEntry entry)
{
    int installed = 0;
    for (const Declaration& d : kDeclarations) {
        if (d.driver == driver_name) {
            d.file->entry = entry;
            ++installed;
        }
    }
    return installed;
}

// ---------------------------------------------------------------------------
// Fixed-length text.

void set_fixed(char* field, std::size_t n, std::string_view text)
{
    const std::size_t used = text.size() < n ? text.size() : n;
    if (used > 0)
        std::memcpy(field, text.data(), used);
    if (n > used)
        std::memset(field + used, ' ', n - used);
}

std::string fixed_text(const char* field, std::size_t n)
{
    while (n > 0 && field[n - 1] == ' ')
        --n;
    return std::string(field, n);
}

// ---------------------------------------------------------------------------
// Program start.

void init_globals()
{
    PendingRequest = 0;
    LastResponse = 0;
    CategoriesUsers = 0;
    LINKDBUsers = 0;
    AsciiFileUsers = 0;
    ImportFileUsers = 0;
    Found = 0;
    set_fixed(ViewFileName, "");
    set_fixed(ExportFileName, "");
    set_fixed(LastDirectory, "");
    set_fixed(ProgramDirectory, "");
    set_fixed(Work, "");
    set_fixed(SavedCategory, "");
}

void start_program_globals()
{
    init_globals();
    const std::string directory = sk::platform::current_directory();
    set_fixed(LastDirectory, directory);
    set_fixed(ProgramDirectory, directory);
    set_fixed(ExportFileName, kDefaultExportFileName);
    install_file_driver(kKestrelDriver, sk::ksf::ksf_entry);
}

// ---------------------------------------------------------------------------
// Opening the data files.

namespace {

// The file's name on disk as the file layer reports it, asked without disturbing
// the error the messages are about to quote. A driver that cannot answer leaves
// the declared name.
std::string disk_name(sd::FileControlBlock& file)
{
    sd::FileControlBlock* const failed_file = sk::rt::error_file();
    sk::rt::push_error_state();
    std::string text = sd::name(&file);
    sk::rt::pop_error_state();
    sk::rt::set_error_file(failed_file);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (text.empty())
        text = sd::file_name_text(file);
    return text;
}

// Shows a fatal entry; the entry ends the program itself. Should the halt ever
// return (it does not), the program still does not go on with the file closed.
[[noreturn]] void fatal_message(int id, sd::FileControlBlock& file, std::string_view halt_text)
{
    ShowStandardMessage(id, disk_name(file));
    sk::rt::halt(0, halt_text);
}

}  // namespace

void OpenOrCreateFile(sd::FileControlBlock& file)
{
    sd::open(&file, kSharedReadWrite);
    int code = sk::rt::error_code();
    if (code == 0 || code == sk::rt::kFileAlreadyOpen)
        return;

    if (code == sk::rt::kFileNotFound) {
        sd::create(&file);
        if (sk::rt::error_code() != 0)
            fatal_message(4, file, "File Creation Error!");
        sd::open(&file, kSharedReadWrite);
        if (sk::rt::error_code() != 0)
            fatal_message(5, file, "File Creation Error!");
        return;
    }

    if (code == sk::rt::kInvalidRecordDeclaration)
        fatal_message(1, file, "Invalid File!");

    if (code == sk::rt::kKeyFileMustBeRebuilt) {
        // Answered No, the question ends the program itself.
        ShowStandardMessage(2, disk_name(file));
        sd::build(&file);
        if (sk::rt::error_code() != 0)
            fatal_message(3, file, "Error Rebuilding Key!");
        sd::open(&file, kSharedReadWrite);
        code = sk::rt::error_code();
        if (code == 0 || code == sk::rt::kFileAlreadyOpen)
            return;
    }

    // Whatever the answer, the program cannot go on without the file.
    ShowStandardMessage(30, disk_name(file));
    sk::rt::halt(0, "Disk Error");
}

void use_file(sd::FileControlBlock& file, std::int32_t& users)
{
    if (users == 0)
        OpenOrCreateFile(file);
    ++users;
}

void release_file(sd::FileControlBlock& file, std::int32_t& users)
{
    if (users <= 0)
        return;
    --users;
    if (users == 0)
        sd::close(&file);
}

void use_categories() { use_file(Categories, CategoriesUsers); }
void release_categories() { release_file(Categories, CategoriesUsers); }
void use_linkdb() { use_file(LINKDB, LINKDBUsers); }
void release_linkdb() { release_file(LINKDB, LINKDBUsers); }
void use_ascii_file() { use_file(AsciiFile, AsciiFileUsers); }
void release_ascii_file() { release_file(AsciiFile, AsciiFileUsers); }
void use_import_file() { use_file(ImportFile, ImportFileUsers); }
void release_import_file() { release_file(ImportFile, ImportFileUsers); }

std::string_view import_line()
{
    // Most lines are far shorter than the record, so the padding is skipped
    // eight bytes at a time before the last ones are looked at singly.
    constexpr std::uint64_t kEightBlanks = 0x2020202020202020ULL;
    const char* line = imp_record.line;
    std::size_t n = sizeof imp_record.line;
    while (n % 8 != 0 && line[n - 1] == ' ')
        --n;
    if (n % 8 == 0) {
        std::uint64_t word = 0;
        while (n >= 8) {
            std::memcpy(&word, line + n - 8, 8);
            if (word != kEightBlanks)
                break;
            n -= 8;
        }
    }
    while (n > 0 && line[n - 1] == ' ')
        --n;
    return std::string_view(line, n);
}

void bind_file_fields() {
    namespace rt = sk::rt;
    rt::bind_name("URL:Location", rt::bound_string(url_record.location, sizeof url_record.location));
    rt::bind_name("URL:Description", rt::bound_string(url_record.description, sizeof url_record.description));
    rt::bind_name("URL:Category", rt::bound_string(url_record.category, sizeof url_record.category));
    rt::bind_name("URL:Rating", rt::bound_decimal(url_record.rating, 2, 0));
    rt::bind_name("URL:Keyword", rt::bound_string(url_record.keyword, sizeof url_record.keyword));
    if (char* memo = url_siteinfo_text()) rt::bind_name("URL:SiteInfo", rt::bound_string(memo, kSiteInfoSize));
    rt::bind_name("CAT:Category", rt::bound_string(cat_record.category, sizeof cat_record.category));
}


}  // namespace sk::app
