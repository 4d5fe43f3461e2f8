// What every KSF test table declares besides its record: the name, the file
// control block wired to the KSF driver, the field stream, one memo, and the
// binding of its keys. A table derives from it, builds its stream and keys,
// and hands its record and keys to declare().
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "data/control_blocks.h"
#include "data/file_layer.h"
#include "data/ksf/driver.h"

namespace sk::test {

struct KsfTestBlocks {
    char name[256] = {};
    std::vector<std::uint8_t> stream;
    sk::data::MemoControlBlock memo;
    sk::data::MemoControlBlock* memos[1] = {&memo};
    sk::data::FileControlBlock fcb;

    KsfTestBlocks(const std::string& file_name, const char* memo_label, std::uint32_t memo_size) {
        set_name(file_name);
        memo.label = memo_label;
        memo.label_length = static_cast<std::uint32_t>(std::strlen(memo_label));
        memo.attributes = 1;
        memo.size = memo_size;
        fcb.entry = &sk::ksf::ksf_entry;
        fcb.name = name;
        fcb.name_length = sizeof name;
        fcb.attributes = 0x04;
        fcb.memo_count = 1;
        fcb.memos = memos;
    }
    // A table still open is closed, as the program's end would close it.
    ~KsfTestBlocks() {
        if (fcb.state != nullptr) {
            sk::data::close(&fcb);
            if (fcb.state != nullptr) fcb.entry(sk::data::kOpClose, &fcb, nullptr);
        }
    }
    KsfTestBlocks(const KsfTestBlocks&) = delete;
    KsfTestBlocks& operator=(const KsfTestBlocks&) = delete;

    void set_name(const std::string& n) {
        std::memset(name, ' ', sizeof name);
        std::memcpy(name, n.data(), std::min(n.size(), sizeof name));
    }
    void key(sk::data::KeyControlBlock& k, const char* label, std::uint32_t attributes, const std::int32_t* components,
             std::uint8_t count) {
        k.label = label;
        k.label_length = static_cast<std::uint32_t>(std::strlen(label));
        k.attributes = attributes;
        k.component_count = count;
        k.components = components;
        k.file = &fcb;
    }
    // The record buffer, the field stream built into stream, and the keys.
    void declare(char* record, std::uint32_t record_length, sk::data::KeyControlBlock** keys, std::uint8_t key_count) {
        fcb.key_count = key_count;
        fcb.record_length = record_length;
        fcb.fields = stream.data();
        fcb.fields_size = static_cast<std::uint32_t>(stream.size());
        fcb.keys = keys;
        fcb.record = record;
    }

    // The memo buffer exists once the driver has state for the table (after
    // CREATE or OPEN).
    void set_note(const std::string& text) {
        std::memset(memo.buffer, ' ', memo.size);
        std::memcpy(memo.buffer, text.data(), std::min<std::size_t>(text.size(), memo.size));
    }
    std::string note() const {
        std::string s(memo.buffer, memo.size);
        const std::size_t last = s.find_last_not_of(' ');
        return last == std::string::npos ? std::string() : s.substr(0, last + 1);
    }
};

}  // namespace sk::test
