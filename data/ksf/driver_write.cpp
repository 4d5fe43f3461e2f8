// The KESTREL driver's changes: ADD and APPEND, PUT, DELETE, BUILD and PACK,
// EMPTY, and the table lock.
#include <algorithm>

#include "data/ksf/driver_ops.h"
#include "platform/clock.h"

namespace sk::ksf::driver {

int do_add(KsfTable& t, bool with_keys) {
    Bracket bracket(*t.file);
    int rc = bracket.begin(true);
    Id recno;
    const std::string disk = disk_image(t, t.fcb->record);
    if (rc == 0) rc = t.file->allocate_id(&recno);
    if (rc == 0) {
        if (with_keys) {
            rc = insert_entries(t, disk, recno);
        } else {
            for (KeyInfo& key : t.keys)
                if (rc == 0) rc = adjust_counter(t, key.number, 0, recno.value());
        }
    }
    if (rc == 0) rc = tree_result(tree_of(*t.file).insert(data_record(t.table, recno, disk)));
    if (rc == 0) rc = write_memos(t, recno);
    if (rc == 0) rc = adjust_counter(t, kCounterData, 1);
    rc = bracket.finish(rc);
    if (rc == 0 && with_keys) {
        t.current = recno;
        t.has_current = true;
        t.read_copy = disk;
    }
    return rc;
}

// Takes the current record's lock for a statement that changes it, unless this
// table holds the record already. busy is the answer when another station has it
// (PUT and DELETE answer differently); *locked_here says whether to unlock after.
int lock_current(KsfTable& t, int busy, bool* locked_here) {
    if (t.held && t.held_id == t.current) return 0;
    if (!t.file->try_lock_id(t.current)) return busy;
    *locked_here = true;
    return 0;
}

int do_put(KsfTable& t) {
    if (!t.has_current) return sk::rt::kRecordNotAvailable;
    Bracket bracket(*t.file);
    int rc = bracket.begin(true);
    bool locked_here = false;
    if (rc == 0) rc = lock_current(t, sk::rt::kAccessDenied, &locked_here);
    std::string on_disk;
    if (rc == 0 && read_data(t, t.current, &on_disk) != 0) rc = sk::rt::kRecordNotAvailable;
    if (rc == 0 && t.watched && on_disk != t.read_copy) rc = sk::rt::kRecordChangedByAnother;
    const std::string disk = disk_image(t, t.fcb->record);
    if (rc == 0 && disk != on_disk) {
        rc = update_entries(t, on_disk, disk, t.current);
        if (rc == 0) rc = tree_result(tree_of(*t.file).replace(data_record(t.table, t.current, disk)));
    }
    if (rc == 0) rc = write_memos(t, t.current);
    rc = bracket.finish(rc);
    if (locked_here) t.file->unlock_id(t.current);
    if (rc == 0) {
        if (t.held && t.held_id == t.current) release_held(t);
        t.watched = false;
        t.read_copy = disk;
    }
    return rc;
}

int do_put_pointer(KsfTable& t, std::int64_t pointer) {
    if (pointer <= 0 || pointer > 0xFFFFFFFFLL) {
        t.has_current = false;
        return sk::rt::kRecordNotFound;
    }
    const Id recno = Id::of(static_cast<std::uint32_t>(pointer));
    // A WATCH copy belongs to the record it was read with.
    if (!(t.has_current && t.current == recno)) t.watched = false;
    t.current = recno;
    t.has_current = true;
    int rc = do_put(t);
    // PUT answers 33 for a current record that has gone; here the pointer named
    // a record that is not there.
    if (rc == sk::rt::kRecordNotAvailable) rc = sk::rt::kRecordNotFound;
    if (rc != 0) t.has_current = false;
    return rc;
}

int do_delete(KsfTable& t) {
    if (!t.has_current) return sk::rt::kRecordNotAvailable;
    Bracket bracket(*t.file);
    int rc = bracket.begin(true);
    bool locked_here = false;
    if (rc == 0) rc = lock_current(t, sk::rt::kRecordNotAvailable, &locked_here);
    std::string on_disk;
    if (rc == 0 && read_data(t, t.current, &on_disk) != 0) rc = sk::rt::kRecordNotAvailable;
    if (rc == 0) rc = remove_entries(t, on_disk, t.current);
    if (rc == 0) rc = remove_memos(t, t.current);
    if (rc == 0) rc = tree_result(tree_of(*t.file).remove(data_record_key(t.table, t.current)));
    if (rc == 0) rc = adjust_counter(t, kCounterData, -1);
    rc = bracket.finish(rc);
    if (locked_here) t.file->unlock_id(t.current);
    if (rc == 0) {
        if (t.held && t.held_id == t.current) release_held(t);
        t.has_current = false;
        t.watched = false;
    }
    return rc;
}

int do_build(KsfTable& t, KeyControlBlock* only) {
    Bracket bracket(*t.file);
    int rc = bracket.begin(true);
    int duplicate = 0;
    for (KeyInfo& key : t.keys) {
        if (rc != 0) break;
        if (only != nullptr ? key.block != only : !key.maintained) continue;
        const int r = rebuild_key(t, key);
        if (r == sk::rt::kCreatesDuplicateKey)
            duplicate = r;
        else
            rc = r;
    }
    rc = bracket.finish(rc);
    if (rc == 0 && t.file->begin_statement(true) == 0) {
        t.file->truncate_to_allocated_end();
        t.file->end_statement();
    }
    return rc != 0 ? rc : duplicate;
}

int do_empty(KsfTable& t) {
    Bracket bracket(*t.file);
    int rc = bracket.begin(true);
    if (rc == 0) rc = remove_prefix(*t.file, data_prefix(t));
    std::string memo_prefix(t.table.view());
    memo_prefix.push_back(static_cast<char>(kKindMemo));
    if (rc == 0) rc = remove_prefix(*t.file, memo_prefix);
    for (KeyInfo& key : t.keys) {
        if (rc == 0) rc = remove_prefix(*t.file, key_prefix(t, key));
        if (rc == 0) rc = write_counter(t, key.number, 0, 0);
    }
    if (rc == 0) rc = write_counter(t, kCounterData, 0, 0);
    rc = bracket.finish(rc);
    if (rc == 0) t.has_current = false;
    return rc;
}

// The table lock: tried once, or until the timeout has passed.
int do_lock(KsfTable& t, bool with_timeout, std::int64_t seconds) {
    const std::uint32_t start = sk::platform::tick_hundredths();
    for (;;) {
        if (t.table_locked || t.file->try_lock_id(t.table)) {
            t.table_locked = true;
            return 0;
        }
        if (!with_timeout ||
            std::int64_t(std::uint32_t(sk::platform::tick_hundredths() - start)) >= std::max<std::int64_t>(seconds, 0) * 100)
            return sk::rt::kFileAlreadyLocked;
        sk::data::lock_wait();
    }
}

}  // namespace sk::ksf::driver
