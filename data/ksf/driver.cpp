// The KESTREL driver's entry: its descriptor, SEND, naming, and the dispatch of
// operation codes to the operations (driver_ops.h).
#include "data/ksf/driver.h"

#include <algorithm>

#include "data/ksf/driver_ops.h"
#include "platform/file.h"

namespace sk::ksf {

using sk::data::DriverCall;
using sk::data::FileControlBlock;
using sk::data::KeyControlBlock;
using sk::data::OperationArgs;

namespace {

using namespace sk::ksf::driver;

constexpr std::size_t kMaxNameLength = 260;

// Count byte n, then n+1 operation codes; count byte m, then m type codes.
constexpr std::uint8_t kOperationList[] = {
    65,
    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11,
    0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22,
    0x24, 0x25, 0x26, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x34, 0x36, 0x38,
    0x39, 0x3A, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x47, 0x49, 0x4A, 0x4B, 0x4C,
    15,
    0x01, 0x02, 0x03, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x1A,
};

const sk::data::DriverDescriptor kDescriptor = {
    "KESTREL",
    "TSKSF16.DLL",
    "Sitekeeper indexed file driver",
    "Kestrel (KSF) Driver 1.00",
    &ksf_entry,
    {0xbf, 0xef, 0xbd, 0x00, 0x00, 0x00, 0xfa, 0x00, 0x00, 0xff, 0xf9, 0x00,
     0x00, 0x00, 0xfa, 0x00, 0x00, 0x04, 0xf0, 0xff, 0x00, 0xfa, 0x00, 0x00},
    37,
    37,
    40,
    126,
    kOperationList,
    sizeof kOperationList,
};

std::string send_reply(KsfTable& t, std::string_view text) {
    const std::size_t tcf = text.find("TCF=");
    if (tcf != std::string_view::npos) {
        set_transaction_control_file(trimmed(text.substr(tcf + 4)));
        return {};
    }
    const std::size_t pnm = text.find("PNM=");
    if (pnm != std::string_view::npos) {
        if (!t.is_open || !t.file) return {};
        const std::string after = upper(trimmed(text.substr(pnm + 4)));
        Bracket bracket(*t.file);
        if (bracket.begin(false) != 0) return {};
        Record r;
        std::string reply;
        if (tree_result(tree_of(*t.file).seek(name_key(after), true, true, &r)) == 0 &&
            starts_with(r.key(), std::string(1, static_cast<char>(kKindTableName))))
            reply = std::string(r.key().substr(1));
        bracket.finish(0);
        return reply;
    }
    if (trimmed(text) == "REGISTER") return sk::data::descriptor_bytes(kDescriptor);
    return std::string("SEND arg not recognised") + '\0';
}
int run(DriverCall& call) {
    using namespace sk::data;
    KsfTable& t = *ksf_table(call.file);
    OperationArgs& args = *call.args;
    const auto set_sequence = [&](int mode, int key) {
        t.sequence = mode;
        t.sequence_key = key;
        return 0;
    };
    switch (call.op) {
        case kOpOpen:
        case kOpShare:
            return do_open(call, t);
        case kOpCreate:
            call.release = true;
            return do_create(t);
        case kOpRemove:
            return do_remove(t);
        case kOpCopy:
            return do_copy(call, t, false);
        case kOpRename:
            return do_copy(call, t, true);
        case kOpClose:
            return do_close(call, t);
        case kOpName:
            if (t.physical.empty()) table_paths(t);
            call.text_result = t.physical;
            return 0;
        case kOpSend:
            call.text_result = send_reply(t, call.text);
            return 0;
        default:
            break;
    }
    if (!t.is_open || !t.file) return sk::rt::kFileNotOpen;
    switch (call.op) {
        case kOpSet:
            return set_sequence(kSeqFileStart, -1);
        case kOpSetMode4:
            return set_sequence(kSeqMode4, -1);
        case kOpSetPointer:
            t.start_pointer = Id::of(static_cast<std::uint32_t>(args.at(0)));
            return set_sequence(kSeqFilePointer, -1);
        case kOpSetKey: {
            const int k = key_index(t, args.key(0));
            if (k < 0) return sk::rt::kRecordNotAvailable;
            return set_sequence(kSeqKeyStart, k);
        }
        case kOpSetKeyValue:
        case kOpSetKeyValuePointer: {
            const int k = key_index(t, args.key(1) != nullptr ? args.key(1) : args.key(0));
            if (k < 0) return sk::rt::kRecordNotAvailable;
            t.start_value = value_of(t, t.keys[std::size_t(k)], disk_image(t, t.fcb->record));
            if (call.op == kOpSetKeyValuePointer) {
                t.start_pointer = Id::of(static_cast<std::uint32_t>(args.at(2)));
                return set_sequence(kSeqKeyValuePointer, k);
            }
            return set_sequence(kSeqKeyValue, k);
        }
        case kOpSetKeyPosition: {
            const int k = key_index(t, args.key(0));
            if (k < 0) return sk::rt::kRecordNotAvailable;
            bool present = false;
            t.position = entry_key(t, t.keys[std::size_t(k)], t.read_copy, t.current, &present);
            return set_sequence(kSeqKeyPosition, k);
        }
        case kOpReset: {
            t.start_pointer = id_of_text(call.text);
            return set_sequence(kSeqFilePointer, -1);
        }
        case kOpResetKey: {
            const int k = key_index(t, args.key(0));
            if (k < 0) return sk::rt::kRecordNotAvailable;
            const std::string_view text(call.text);
            const Id recno = id_of_text(text);
            const std::string value(text.substr(std::min<std::size_t>(kIdSize, text.size())));
            t.position = key_entry_key(t.table, t.keys[std::size_t(k)].number, value, recno,
                                       t.keys[std::size_t(k)].layout.duplicates());
            return set_sequence(kSeqKeyPosition, k);
        }
        case kOpNext:
            return do_next(t, true);
        case kOpPrevious:
            return do_next(t, false);
        case kOpSkip:
            return do_skip(t, args.at(0));
        case kOpEof:
            return do_look_ahead(t, true);
        case kOpBof:
            return do_look_ahead(t, false);
        case kOpGetKey:
            return do_get_key(t, args.key(0));
        case kOpGetPointer:
        case kOpGetPointer2:
            return do_get_pointer(t, args.at(0));
        case kOpReget:
        case kOpRegetKey: {
            // A position that no longer reads back (its record deleted by another
            // station) leaves no current record: a PUT or DELETE that follows must
            // not land on the record read before it.
            const int rc = do_get_pointer(t, id_of_text(call.text).value());
            if (rc != 0) {
                t.has_current = false;
                t.watched = false;
            }
            return rc;
        }
        case kOpAdd:
            return do_add(t, true);
        case kOpAppend:
            return do_add(t, false);
        case kOpPut:
            return do_put(t);
        case kOpPutPointer:
            return do_put_pointer(t, args.at(0));
        case kOpDelete:
            return do_delete(t);
        case kOpHold:
        case kOpHoldTimeout:
            t.hold_requested = true;
            t.hold_timeout = call.op == kOpHold ? -1 : std::max<std::int64_t>(args.at(0), 0);
            return 0;
        case kOpWatch:
            t.watch_requested = true;
            return 0;
        case kOpLock:
            return do_lock(t, false, 0);
        case kOpLockTimeout:
            return do_lock(t, true, args.at(0));
        case kOpUnlock:
            if (t.table_locked) t.file->unlock_id(t.table);
            t.table_locked = false;
            return 0;
        case kOpBuildAll:
        case kOpPack:
            return do_build(t, nullptr);
        case kOpBuildKey:
            return do_build(t, args.key(0));
        case kOpEmpty:
            return do_empty(t);
        case kOpRecords:
            return do_records(t, nullptr, &args.result);
        case kOpRecordsKey:
            return do_records(t, args.key(0), &args.result);
        case kOpBytes: {
            if (t.has_current) {
                args.result = t.record_length;
                return 0;
            }
            std::int64_t n = 0;
            const int rc = do_records(t, nullptr, &n);
            args.result = n * t.record_length;
            return rc;
        }
        case kOpPointer:
        case kOpPointerKey:
            args.result = t.has_current ? t.current.value() : 0;
            return 0;
        case kOpPosition:
            call.text_result = t.has_current ? std::string(t.current.view()) : std::string(kIdSize, '\0');
            return 0;
        case kOpPositionKey: {
            const KeyInfo* key = key_of_block(t, args.key(0));
            if (key == nullptr) return sk::rt::kRecordNotAvailable;
            call.text_result = std::string(t.current.view()) + value_of(t, *key, t.read_copy);
            return 0;
        }
        case kOpDuplicate:
        case kOpDuplicateKey: {
            bool dup = false;
            const int rc = do_duplicate(t, call.op == kOpDuplicateKey ? args.key(0) : nullptr, &dup);
            args.result = dup ? 1 : 0;
            return rc;
        }
        case kOpCurrentKey:
            args.result = t.sequence_key >= 0 ? t.sequence_key + 1 : 0;
            return 0;
        case kOpLogout:
            enlist(t);
            return 0;
        case kOpCommit:
            return commit_transaction();
        case kOpRollback:
            rollback_transaction();
            return 0;
        case kOpStream:
            t.file->set_streaming(true);
            return 0;
        case kOpFlush: {
            t.file->set_streaming(false);
            Bracket bracket(*t.file);
            const int rc = bracket.begin(true);
            return bracket.finish(rc);
        }
        case kOpDriverOption:
        case kOpDriver24:
            return 0;
        case kOpMemoSliceRead:
        case kOpMemoSliceWrite:
        case kOpMemoLength:
        case kOpMemoPropertyWrite:
        case kOpMemoPropertyRead:
            return do_memo_op(call, t);
        default:
            return sk::rt::kUnsupportedFunction;
    }
}

const sk::data::DriverOps kOps = {&kDescriptor, &create_state, &release_state, &run, nullptr};

}  // namespace

bool split_ksf_name(const std::string& text, KsfName* out) {
    const std::string name = trimmed(text);
    if (name.empty() || name.size() >= kMaxNameLength) return false;
    const std::size_t bang = name.find("\\!");
    std::string physical = bang == std::string::npos ? name : name.substr(0, bang);
    out->table = bang == std::string::npos ? std::string("UNNAMED") : upper(name.substr(bang + 2));
    if (physical.empty() || out->table.empty()) return false;
    const std::size_t slash = physical.find_last_of('/');
    const std::size_t dot = physical.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) physical += ".KSF";
    if (physical[0] != '/') {
        std::string dir = sk::platform::current_directory();
        if (!dir.empty() && dir.back() != '/') dir.push_back('/');
        physical = dir + physical;
    }
    out->path = physical;
    return true;
}

const sk::data::DriverDescriptor& ksf_descriptor() { return kDescriptor; }

int ksf_entry(int op, FileControlBlock* file, OperationArgs* args) {
    return sk::data::run_driver_operation(kOps, op, file, args);
}

}  // namespace sk::ksf
