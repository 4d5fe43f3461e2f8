// The KESTREL driver's reading: stepping through a sequence, delivering a
// record (HOLD, WATCH, memos), GET by key and by pointer, RECORDS and DUPLICATE.
#include <algorithm>
#include <cstring>

#include "data/ksf/driver_ops.h"
#include "platform/clock.h"

namespace sk::ksf::driver {

const KeyInfo* key_of_block(KsfTable& t, KeyControlBlock* block) {
    for (KeyInfo& k : t.keys)
        if (k.block == block) return &k;
    return nullptr;
}

int key_index(KsfTable& t, KeyControlBlock* block) {
    const KeyInfo* k = key_of_block(t, block);
    return k == nullptr ? -1 : k->number;
}

std::string value_of(const KsfTable& t, const KeyInfo& key, std::string_view disk) {
    std::string value;
    encode_key_value(key.layout, bytes_of(disk), disk.size(), t.oem, &value);
    return value;
}

// Reads data record recno: 0, or kTreeNone.
int read_data(KsfTable& t, Id recno, std::string* disk) {
    return tree_result(tree_of(*t.file).find_data(data_record_key(t.table, recno), disk));
}

namespace {

struct Found {
    std::string key;   // the key part the sequence stands on
    Id recno;
    std::string disk;
    Record entry;      // the record the step met last
};

// One step of the sequence in direction forward; the sequence itself is not moved.
int step(KsfTable& t, bool forward, Found* out) {
    const bool key_order = t.sequence_key >= 0;
    if (key_order && static_cast<std::size_t>(t.sequence_key) >= t.keys.size()) return sk::rt::kRecordNotAvailable;
    const KeyInfo* key = key_order ? &t.keys[t.sequence_key] : nullptr;
    const std::string prefix = key_order ? key_prefix(t, *key) : data_prefix(t);
    // The search key is built in out->key, whose buffer a caller may reuse.
    std::string& from = out->key;
    from.clear();
    bool inclusive = true;
    switch (t.sequence) {
        case kSeqFileStart:
        case kSeqMode4:
        case kSeqKeyStart:
            from = forward ? prefix : prefix_end(prefix);
            inclusive = forward;
            break;
        case kSeqFilePointer:
            from = prefix + std::string(t.start_pointer.view());
            break;
        case kSeqKeyValue:
        case kSeqKeyValuePointer:
            from = prefix + t.start_value;
            if (key->layout.duplicates()) {
                if (t.sequence == kSeqKeyValuePointer)
                    from += std::string(t.start_pointer.view());
                else
                    from += forward ? std::string(4, '\0') : std::string(4, '\xFF');
            }
            break;
        case kSeqKeyPosition:
            from.assign(t.position);
            break;
        case kSeqContinueFile:
        case kSeqContinueKey:
            from.assign(t.position);
            inclusive = false;
            break;
        default:
            return sk::rt::kRecordNotAvailable;
    }
    Record& r = out->entry;
    for (;;) {
        const int rc = tree_result(tree_of(*t.file).seek(from, forward, inclusive, &r));
        if (rc == kTreeNone) return sk::rt::kRecordNotAvailable;
        if (rc != 0) return rc;
        if (!starts_with(r.key(), prefix)) return sk::rt::kRecordNotAvailable;
        from.assign(r.key());
        inclusive = false;
        if (!key_order) {
            if (r.key().size() != prefix.size() + kIdSize) continue;
            std::memcpy(out->recno.bytes, r.key().data() + prefix.size(), kIdSize);
            out->disk.assign(r.data());
        } else {
            if (!record_number_of(r, &out->recno)) continue;
            // An entry whose data record is missing is skipped.
            if (read_data(t, out->recno, &out->disk) != 0) continue;
        }
        return 0;
    }
}

// Delivers a record found: the HOLD lock, the record buffer, memos, WATCH.
int deliver(KsfTable& t, const Found& f) {
    if (t.hold_requested) {
        if (!(t.held && t.held_id == f.recno)) {
            if (!t.file->try_lock_id(f.recno)) return sk::rt::kRecordAlreadyHeld;
            release_held(t);
            t.held = true;
            t.held_id = f.recno;
        }
    }
    to_buffer(t, f.disk, t.fcb->record);
    if (int rc = read_memos(t, f.recno)) return rc;
    t.current = f.recno;
    t.has_current = true;
    t.read_copy = f.disk;
    t.watched = t.watch_requested;
    t.hold_requested = t.watch_requested = false;
    return 0;
}

// Runs attempt in reading brackets, retrying while it answers 43 and the HOLD
// timeout allows; the bracket is given up between tries so that the holder
// can finish its statement.
template <class F>
int with_hold_retry(KsfTable& t, F attempt) {
    // Only a HOLD request can make a read wait and retry, so only then is the
    // clock read (a system call's worth of time on every NEXT otherwise).
    const std::uint32_t start = t.hold_requested ? sk::platform::tick_hundredths() : 0;
    for (;;) {
        Bracket bracket(*t.file);
        int rc = bracket.begin(false);
        if (rc == 0) rc = attempt();
        rc = bracket.finish(rc);
        const bool retry = rc == sk::rt::kRecordAlreadyHeld && t.hold_requested &&
                           (t.hold_timeout < 0 || std::int64_t(std::uint32_t(sk::platform::tick_hundredths() - start)) <
                                                      t.hold_timeout * 100);
        if (!retry) {
            // The request was for this read, whatever came of it.
            t.hold_requested = t.watch_requested = false;
            return rc;
        }
        sk::data::lock_wait();
    }
}
}  // namespace

int do_next(KsfTable& t, bool forward) {
    return with_hold_retry(t, [&]() -> int {
        // Kept per thread so that a run of NEXTs reuses the buffers.
        thread_local Found f;
        if (int rc = step(t, forward, &f)) return rc;
        if (int rc = deliver(t, f)) return rc;
        t.position = f.key;
        t.sequence = t.sequence_key >= 0 ? kSeqContinueKey : kSeqContinueFile;
        return 0;
    });
}

int do_skip(KsfTable& t, std::int64_t n) {
    Bracket bracket(*t.file);
    int rc = bracket.begin(false);
    const bool forward = n >= 0;
    for (std::int64_t i = 0; rc == 0 && i < (n < 0 ? -n : n); ++i) {
        Found f;
        rc = step(t, forward, &f);
        if (rc == 0) {
            t.position = f.key;
            t.sequence = t.sequence_key >= 0 ? kSeqContinueKey : kSeqContinueFile;
        }
    }
    return bracket.finish(rc);
}

int do_look_ahead(KsfTable& t, bool forward) {
    Bracket bracket(*t.file);
    int rc = bracket.begin(false);
    Found f;
    if (rc == 0) rc = step(t, forward, &f);
    rc = bracket.finish(rc);
    return rc == 0 ? 0 : -1;
}

int do_get_key(KsfTable& t, KeyControlBlock* block) {
    const KeyInfo* key = key_of_block(t, block);
    if (key == nullptr) return sk::rt::kRecordNotFound;
    return with_hold_retry(t, [&]() -> int {
        const std::string disk = disk_image(t, t.fcb->record);
        const std::string prefix = key_prefix(t, *key) + value_of(t, *key, disk);
        Found f;
        Record r;
        int rc = 0;
        if (key->layout.duplicates()) {
            std::string from = prefix + std::string(4, '\0');
            bool inclusive = true;
            for (;;) {
                rc = tree_result(tree_of(*t.file).seek(from, true, inclusive, &r));
                if (rc != 0 || !starts_with(r.key(), prefix) || r.key().size() != prefix.size() + kIdSize)
                    return sk::rt::kRecordNotFound;
                if (record_number_of(r, &f.recno) && read_data(t, f.recno, &f.disk) == 0) break;
                from = std::string(r.key());
                inclusive = false;
            }
        } else {
            rc = tree_result(tree_of(*t.file).find(prefix, &r));
            if (rc != 0 || !record_number_of(r, &f.recno) || read_data(t, f.recno, &f.disk) != 0)
                return sk::rt::kRecordNotFound;
        }
        return deliver(t, f);
    });
}

int do_get_pointer(KsfTable& t, std::int64_t pointer) {
    if (pointer <= 0 || pointer > 0xFFFFFFFFLL) return sk::rt::kRecordNotFound;
    return with_hold_retry(t, [&]() -> int {
        Found f;
        f.recno = Id::of(static_cast<std::uint32_t>(pointer));
        if (read_data(t, f.recno, &f.disk) != 0) return int(sk::rt::kRecordNotFound);
        return deliver(t, f);
    });
}

Id id_of_text(std::string_view text) {
    Id id;
    for (std::size_t i = 0; i < kIdSize && i < text.size(); ++i) id.bytes[i] = static_cast<std::uint8_t>(text[i]);
    return id;
}

int do_records(KsfTable& t, KeyControlBlock* block, std::int64_t* out) {
    std::uint8_t which = kCounterData;
    if (block != nullptr) {
        const int k = key_index(t, block);
        if (k < 0) return sk::rt::kRecordNotAvailable;
        which = static_cast<std::uint8_t>(k);
    }
    Bracket bracket(*t.file);
    int rc = bracket.begin(false);
    std::uint32_t entries = 0, mark = 0;
    if (rc == 0) rc = read_counter(t, which, &entries, &mark);
    rc = bracket.finish(rc);
    *out = entries;
    return rc;
}

int do_duplicate(KsfTable& t, KeyControlBlock* block, bool* out) {
    *out = false;
    Bracket bracket(*t.file);
    int rc = bracket.begin(false);
    const std::string disk = disk_image(t, t.fcb->record);
    for (KeyInfo& key : t.keys) {
        if (rc != 0) break;
        if (block != nullptr ? key.block != block : key.layout.duplicates()) continue;
        if (!key.has_components) continue;
        bool present = false;
        entry_key(t, key, disk, t.current, &present);
        if (!present) continue;
        const std::string prefix = key_prefix(t, key) + value_of(t, key, disk);
        Record r;
        std::string from = prefix;
        bool inclusive = true;
        for (;;) {
            const int s = tree_result(tree_of(*t.file).seek(from, true, inclusive, &r));
            if (s != 0 || !starts_with(r.key(), prefix)) break;
            Id other;
            if (record_number_of(r, &other) && !(t.has_current && other == t.current)) {
                *out = true;
                break;
            }
            from = std::string(r.key());
            inclusive = false;
        }
        if (*out) break;
    }
    return bracket.finish(rc);
}

}  // namespace sk::ksf::driver
