// Reading and writing a control's bound variable as text, through the control's
// picture, and reading the fields of a list's row source.
//
// A binding-list entry for a control bound to a value (tags 1 BYTE to 22 GROUP, the
// storage type codes) points at an rt::BoundVariable that describes the variable:
// its address, storage type, size and decimal places. The definition's tag says what
// kind of value the control expects; the descriptor says how it is stored, so
// STRING(60) and STRING(15) variables are both tag 18 and differ only in size.
//
// A row-source entry (tag 25) points at a RowSource: the procedure's queue and the
// layout of its records, one QueueField per field in declaration order, which is
// the numbering a list format's columns use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/queue.h"
#include "runtime/bind.h"
#include "runtime/picture.h"
#include "ui/controls/control.h"

namespace sk::ui {

// One field of a queue record: where it sits and how it is stored (the storage
// type codes of runtime/bind.h).
struct QueueField {
    std::uint32_t offset = 0;
    unsigned char type = sk::rt::kTypeString;
    std::uint32_t size = 0;
    unsigned char places = 0;
};

struct RowSource {
    sk::data::Queue* queue = nullptr;
    std::vector<QueueField> fields;
};

// Reasons a typed text is not stored.
inline constexpr int kStoreUnreadable = 1;   // the picture cannot read the text
inline constexpr int kStoreOutOfRange = 2;   // the value does not fit the variable
inline constexpr int kStoreUnbound = 3;      // no variable, or one the control cannot write

// A control's picture, compiled once. An empty or invalid picture text leaves the
// control without a picture: values are shown and read as plain text.
class ControlPicture {
public:
    ControlPicture() = default;
    explicit ControlPicture(std::string_view text);  // with or without the leading "@"
    bool has_picture() const { return m_valid; }
    const sk::rt::CompiledPicture& compiled() const { return m_pic; }
    unsigned char kind() const;
    bool is_string() const;  // string and key-in kinds, or no picture
    std::size_t width() const;  // 0 without a picture
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
    bool m_valid = false;
    sk::rt::CompiledPicture m_pic{};
};

// The descriptor behind a binding, or nullptr for an unbound control or a tag that
// does not describe a value (25, 23, 0).
const sk::rt::BoundVariable* bound_variable(const VariableRef& ref);
const RowSource* row_source(const VariableRef& ref);

bool is_string_type(unsigned char storage_type);
bool is_valid_variable(const sk::rt::BoundVariable& v);

// The variable formatted through the picture; without a picture its plain text.
// Trailing blanks of string values are kept (the callers decide what to trim).
std::string format_variable(const sk::rt::BoundVariable& v, const ControlPicture& picture);
// Reads typed text through the picture and stores it. 0 on success, else one of the
// kStore reasons; the variable is untouched on failure.
int store_variable(const sk::rt::BoundVariable& v, const ControlPicture& picture, std::string_view typed);
// True when the variable holds an empty text or the number zero.
bool variable_is_empty(const sk::rt::BoundVariable& v);

// Number and text access by storage type.
double variable_number(const sk::rt::BoundVariable& v);
std::string variable_text(const sk::rt::BoundVariable& v);  // strings: the stored bytes, trailing blanks kept
bool set_variable_number(const sk::rt::BoundVariable& v, double value);  // false when out of range
void set_variable_text(const sk::rt::BoundVariable& v, std::string_view text);

// A field of a record viewed as a variable; an address of nullptr when the field
// does not fit in record_size bytes.
sk::rt::BoundVariable record_field(unsigned char* record, std::size_t record_size, const QueueField& field);

// The longest prefix of text of at most max_bytes bytes that does not end inside a
// UTF-8 sequence.
std::string_view utf8_prefix(std::string_view text, std::size_t max_bytes);
std::string_view trim_right(std::string_view text);

}  // namespace sk::ui
