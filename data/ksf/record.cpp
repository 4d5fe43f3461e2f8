// Builders and classification of the record kinds.
#include "data/ksf/record.h"

#include <cstring>

namespace sk::ksf {

namespace {

std::string table_prefix(Id table, std::uint8_t kind) {
    std::string key(table.view());
    key.push_back(static_cast<char>(kind));
    return key;
}

}  // namespace

Id Id::of(std::uint32_t value) {
    Id id;
    put_be32(id.bytes, value);
    return id;
}

Record Record::of(std::string_view key, std::string_view data) {
    Record r;
    r.bytes.reserve(key.size() + data.size());
    r.bytes.append(key);
    r.bytes.append(data);
    r.key_length = key.size();
    return r;
}

Record table_name_record(std::string_view table_name, Id table) {
    std::string key(1, static_cast<char>(kKindTableName));
    key.append(table_name);
    return Record::of(key, table.view());
}

Record transaction_link_record(Id transaction, std::string_view control_file) {
    std::string data(transaction.view());
    data.append(control_file);
    data.push_back('\0');
    return Record::of(std::string(1, static_cast<char>(kKindTransaction)), data);
}

std::string definition_chunk_key(Id table, std::uint16_t chunk) {
    std::string key = table_prefix(table, kKindDefinition);
    append_le16(&key, chunk);
    return key;
}

Record definition_chunk_record(Id table, std::uint16_t chunk, std::string_view bytes) {
    return Record::of(definition_chunk_key(table, chunk), bytes);
}

std::string counter_key(Id table, std::uint8_t which) {
    std::string key = table_prefix(table, kKindCounter);
    key.push_back(static_cast<char>(which));
    return key;
}

Record counter_record(Id table, std::uint8_t which, std::uint32_t entries, std::uint32_t rebuild_mark) {
    std::string data;
    append_le32(&data, entries);
    append_le32(&data, rebuild_mark);
    return Record::of(counter_key(table, which), data);
}

bool parse_counter(std::string_view data, std::uint32_t* entries, std::uint32_t* rebuild_mark) {
    if (data.size() != 8) return false;
    *entries = get_le32(bytes_of(data));
    *rebuild_mark = get_le32(bytes_of(data) + 4);
    return true;
}

std::string data_record_key(Id table, Id recno) {
    std::string key = table_prefix(table, kKindData);
    key.append(recno.view());
    return key;
}

Record data_record(Id table, Id recno, std::string_view image) {
    return Record::of(data_record_key(table, recno), image);
}

std::string memo_chunk_key(Id table, Id recno, std::uint8_t memo, std::uint16_t chunk) {
    std::string key = table_prefix(table, kKindMemo);
    key.append(recno.view());
    key.push_back(static_cast<char>(memo));
    key.push_back(static_cast<char>(chunk >> 8));
    key.push_back(static_cast<char>(chunk & 0xFF));
    return key;
}

std::string key_entry_key(Id table, std::uint8_t key_number, std::string_view value, Id recno, bool duplicates) {
    std::string key = table_prefix(table, key_number);
    key.append(value);
    if (duplicates) key.append(recno.view());
    return key;
}

Record key_entry(Id table, std::uint8_t key_number, std::string_view value, Id recno, bool duplicates) {
    std::string key = key_entry_key(table, key_number, value, recno, duplicates);
    return Record::of(key, duplicates ? std::string_view() : recno.view());
}

bool record_number_of(const Record& entry, Id* recno) {
    if (entry.bytes.size() < kIdSize + 1 + kIdSize) return false;
    std::memcpy(recno->bytes, entry.bytes.data() + entry.bytes.size() - kIdSize, kIdSize);
    return true;
}

RecordKind record_kind(std::string_view key) {
    if (key.empty()) return RecordKind::kUnknown;
    const auto first = static_cast<std::uint8_t>(key[0]);
    if (first == kKindTableName) return RecordKind::kTableName;
    if (first == kKindTransaction) return key.size() == 1 ? RecordKind::kTransactionLink : RecordKind::kUnknown;
    if (key.size() < kIdSize + 1) return RecordKind::kUnknown;
    const auto kind = static_cast<std::uint8_t>(key[kIdSize]);
    const std::size_t rest = key.size() - kIdSize - 1;
    switch (kind) {
    case kKindDefinition: return rest == 2 ? RecordKind::kDefinitionChunk : RecordKind::kUnknown;
    case kKindCounter: return rest == 1 ? RecordKind::kCounter : RecordKind::kUnknown;
    case kKindData: return rest == kIdSize ? RecordKind::kDataRecord : RecordKind::kUnknown;
    case kKindMemo: return rest == kIdSize + 3 ? RecordKind::kMemoChunk : RecordKind::kUnknown;
    default: return kind <= kMaxKeyNumber ? RecordKind::kKeyEntry : RecordKind::kUnknown;
    }
}

}  // namespace sk::ksf
