// An in-memory driver for tests of code above the file layer: sorted multi-key
// tables kept in process memory, reached through the file layer's dispatch like
// any other driver.
//
// Tables are found by the file name; CREATE makes (or empties) one. Keys are
// ordered by the documented key encoding (strings by collation weight, upper-cased
// for case-insensitive keys; numbers by value; descending components reversed;
// duplicates by record number). Sequences follow the file layer's modes: SET from
// the start, from the record buffer's key value, RESET to a position; NEXT and
// PREVIOUS continue from the last record delivered. POSITION is the record number
// (4 bytes, big-endian), followed in key order by the key's encoded value.
// Every record delivered (NEXT, PREVIOUS, GET, REGET) is counted, so tests can see
// how much a caller read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/control_blocks.h"
#include "data/file_layer.h"

namespace sk::test {

int memory_entry(int op, sk::data::FileControlBlock* file, sk::data::OperationArgs* args);
const sk::data::DriverDescriptor& memory_descriptor();

// Drops every table (and any transaction and injected failure).
void memory_store_clear();

// LOGOUT keeps a copy of the table, COMMIT drops the copies, ROLLBACK restores
// them: enough of a transaction for code above the file layer.
bool memory_transaction_active();
// Makes the call of operation op after `after` successful ones fail with code
// (once).
void memory_fail_operation(int op, int after, int code);
// Records delivered since the last reset, over all tables.
std::uint64_t memory_reads();
void reset_memory_reads();

// The encoded value of key for a record image of file (without record number).
std::string memory_encode_key(const sk::data::FileControlBlock& file, const sk::data::KeyControlBlock& key,
                              const char* record);

// A declaration built at run time: fields laid out one after the other, keys,
// record buffer, the file block. Not copyable (the blocks point into it).
struct TestField {
    std::string label;
    std::uint8_t type = sk::data::kTypeString;
    std::uint32_t size = 0;     // strings: length; DECIMAL: digits
    std::uint8_t places = 0;    // DECIMAL only
};

struct TestKey {
    std::string label;
    std::uint32_t attributes = 0;
    std::vector<std::int32_t> components;  // k > 0 ascending field k; ~index descending
};

class TestFile {
public:
    TestFile(std::string name, std::vector<TestField> fields, std::vector<TestKey> keys,
             sk::data::DriverEntry entry = &memory_entry);
    TestFile(const TestFile&) = delete;
    TestFile& operator=(const TestFile&) = delete;

    sk::data::FileControlBlock* file() { return &m_file; }
    sk::data::KeyControlBlock* key(std::size_t index) { return m_keys[index].get(); }
    char* record() { return m_record.data(); }
    char* field(std::size_t index) { return m_record.data() + m_offsets[index]; }
    std::uint32_t field_size(std::size_t index) const { return m_sizes[index]; }

    // Blanks in string fields, zeros elsewhere.
    void clear_record();
    void set_string(std::size_t index, std::string_view text);  // blank padded, cut to size
    std::string string_value(std::size_t index) const;         // trailing blanks removed
    void set_number(std::size_t index, std::int64_t value);     // integer types; DECIMAL: value * 10^places
    std::int64_t number_value(std::size_t index) const;

private:
    std::string m_name;
    std::vector<TestField> m_fields;
    std::vector<std::uint32_t> m_offsets, m_sizes;
    std::vector<std::uint8_t> m_stream;
    std::vector<std::string> m_key_labels;
    std::vector<std::vector<std::int32_t>> m_components;
    std::vector<std::unique_ptr<sk::data::KeyControlBlock>> m_keys;
    std::vector<sk::data::KeyControlBlock*> m_key_table;
    std::vector<char> m_record;
    sk::data::FileControlBlock m_file;
};

}  // namespace sk::test
