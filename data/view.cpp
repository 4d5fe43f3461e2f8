// The view engine: VIEW blocks served over their primary file's driver.
#include "data/view.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "data/view_range.h"
#include "runtime/error.h"
#include "runtime/expr.h"

namespace sk::data {

namespace {

struct ViewState : DriverStateBase {
    std::map<int, std::string> properties;
    rt::ExprTree filter;
    int key_number = 0;               // 1-based key of the primary, 0 for file order
    KeyControlBlock* key = nullptr;
    RangePlan plan;
    // The primary's sequence starts at an end of the key, so the first fetch may
    // seek straight to the stretch that can match.
    bool start_pending = false;
};

ViewState* view_state(FileControlBlock* view) { return static_cast<ViewState*>(view->state); }

constexpr std::uint8_t kOperationList[] = {
    23,
    0x07, 0x0B, 0x12, 0x13, 0x17, 0x18, 0x19, 0x1E, 0x1F, 0x20, 0x24, 0x29, 0x2C,
    0x2D, 0x30, 0x31, 0x3A, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x42, 0x43,
    0,
};

const DriverDescriptor kDescriptor = {
    "VIEW",
    "",
    "Sitekeeper view engine",
    "Generic View Engine 1.0",
    &view_entry,
    {},
    0,
    0,
    0,
    sizeof(ViewState),
    kOperationList,
    sizeof kOperationList,
};

int create_state(FileControlBlock* view) {
    if (view->primary == nullptr || view->primary == view) return rt::kInvalidRecordDeclaration;
    view->state = new ViewState;
    return 0;
}

void release_state(FileControlBlock* view) {
    delete view_state(view);
    view->state = nullptr;
}

bool primary_is_open(const FileControlBlock* primary) {
    return primary->state != nullptr && (primary->state->state_word & kStateOpen) != 0;
}

// Runs a text-returning operation on the primary and takes its text result.
int primary_text_call(int op, FileControlBlock* primary, OperationArgs* args, std::string* out) {
    std::size_t depth = text_stack_depth();
    int result = call_driver(op, primary, args);
    if (text_stack_depth() > depth) {
        *out = pop_text();
        while (text_stack_depth() > depth) pop_text();
    }
    return result;
}

// Takes the order from the primary's current key and analyses the filter for it.
void take_order(ViewState& s, FileControlBlock* primary) {
    int number = current_key(primary);
    s.key_number = 0;
    s.key = nullptr;
    if (number >= 1 && number <= primary->key_count && primary->keys != nullptr) {
        s.key_number = number;
        s.key = primary->keys[number - 1];
    }
    if (s.key == nullptr) s.key_number = 0;
    s.plan.analyse(s.key != nullptr ? s.filter.get() : nullptr, *primary, s.key);
    s.start_pending = s.key != nullptr && primary->state != nullptr && primary->state->last_sequential_op == kOpSetKey;
}

int do_open(DriverCall& call, ViewState& s) {
    FileControlBlock* primary = call.file->primary;
    if (!primary_is_open(primary)) return rt::kFileNotOpen;
    s.plan.analyse(nullptr, *primary, nullptr);  // holds no nodes of the old tree
    s.filter.reset();
    auto found = s.properties.find(kViewFilterProperty);
    if (found != s.properties.end() && found->second.find_first_not_of(' ') != std::string::npos) {
        s.filter = rt::compile_whole_expression(found->second);
    }
    // Without a sequence of its own the primary is read from the start of its
    // current order.
    if ((primary->state->state_word & kStateSequenceSet) == 0) {
        int number = current_key(primary);
        int result = number >= 1 && number <= primary->key_count && primary->keys != nullptr
                         ? set_key(primary, primary->keys[number - 1])
                         : set(primary);
        if (result != 0) return result;
    }
    take_order(s, primary);
    // The view's sequence is the primary's, established above or before OPEN. A
    // failed RESET of the view ends it, as it would for a file.
    s.state_word |= kStateSequenceSet;
    return 0;
}

// Puts the primary at the first (forward) or last (backward) key of range.
int seek(ViewState& s, FileControlBlock* primary, const KeyRange& range, bool forward, const std::string& saved) {
    std::string image = saved;
    if (!s.plan.write_seek_key(range, !forward, image.data())) return set_key(primary, s.key);
    std::memcpy(primary->record, image.data(), image.size());
    int result = set_key_value(primary, s.key, s.key);
    std::memcpy(primary->record, saved.data(), saved.size());
    return result;
}

int fetch(ViewState& s, FileControlBlock* primary, bool forward) {
    if (primary->record == nullptr) return rt::kRecordNotAvailable;
    std::string saved(primary->record, primary->record_length);
    bool ranged = s.key != nullptr && s.plan.usable();
    KeyRange range;
    if (ranged) {
        range = s.plan.evaluate();
        if (range.empty) return rt::kRecordNotAvailable;
        ranged = range.constrained();
    }
    bool jumped = false;
    if (ranged && s.start_pending) {
        jumped = true;
        int result = seek(s, primary, range, forward, saved);
        if (result != 0) return result;
    }
    s.start_pending = false;
    for (;;) {
        int result = forward ? next(primary) : previous(primary);
        if (result != 0) {
            std::memcpy(primary->record, saved.data(), saved.size());
            return result;
        }
        if (ranged) {
            const char* record = primary->record;
            bool past = forward ? s.plan.compare_high(range, record) > 0 : s.plan.compare_low(range, record) < 0;
            if (past) {
                std::memcpy(primary->record, saved.data(), saved.size());
                return rt::kRecordNotAvailable;
            }
            bool before = forward ? s.plan.compare_low(range, record) < 0 : s.plan.compare_high(range, record) > 0;
            if (before) {
                if (!jumped) {
                    jumped = true;
                    result = seek(s, primary, range, forward, saved);
                    if (result != 0) return result;
                }
                continue;
            }
        }
        if (!s.filter || rt::evaluate_truth(s.filter.get())) return 0;
    }
}

int do_skip(ViewState& s, FileControlBlock* primary, std::int64_t count) {
    bool forward = count > 0;
    std::int64_t n = count < 0 ? -count : count;
    for (std::int64_t i = 0; i < n; ++i) {
        int result = fetch(s, primary, forward);
        if (result == rt::kRecordNotAvailable) return 0;
        if (result != 0) return result;
    }
    return 0;
}

int run(DriverCall& call) {
    ViewState& s = *view_state(call.file);
    FileControlBlock* primary = call.file->primary;
    OperationArgs& args = *call.args;
    switch (call.op) {
        case kOpOpen:
        case kOpShare:
            return do_open(call, s);
        case kOpClose:
            s.filter.reset();
            call.file->entry = &view_entry;
            return 0;
        case kOpViewProperty: {
            char* end = nullptr;
            long number = std::strtol(call.text.c_str(), &end, 10);
            if (end == call.text.c_str()) return 0;  // not a property number: nothing changes
            s.properties[int(number)] = call.text2;
            return 0;
        }
        case kOpNext:
            return fetch(s, primary, true);
        case kOpPrevious:
            return fetch(s, primary, false);
        case kOpSkip:
            return do_skip(s, primary, std::int64_t(args.at(0)));
        case kOpDelete:
        case kOpPut:
        case kOpHold:
        case kOpHoldTimeout:
        case kOpDriver24:
        case kOpWatch:
        case kOpRecords:
        case kOpRecordsKey:
            return call_driver(call.op, primary, &args);
        case kOpSet:
        case kOpSetMode4:
        case kOpSetPointer:
        case kOpSetKey:
        case kOpSetKeyValue:
        case kOpSetKeyValuePointer:
        case kOpSetKeyPosition: {
            int result = call_driver(call.op, primary, &args);
            if (result == 0) take_order(s, primary);
            return result;
        }
        case kOpReset:
        case kOpResetKey: {
            KeyControlBlock* key = call.op == kOpResetKey ? args.key(0) : s.key;
            int result = key != nullptr ? reset_key(primary, key, call.text) : reset(primary, call.text);
            if (result == 0) s.start_pending = false;
            return result;
        }
        case kOpReget:
        case kOpRegetKey: {
            KeyControlBlock* key = call.op == kOpRegetKey ? args.key(0) : s.key;
            return key != nullptr ? reget_key(primary, key, call.text) : reget(primary, call.text);
        }
        case kOpPosition:
        case kOpPositionKey: {
            KeyControlBlock* key = call.op == kOpPositionKey ? args.key(0) : s.key;
            OperationArgs a;
            if (key != nullptr) a.push_key(key);
            return primary_text_call(key != nullptr ? kOpPositionKey : kOpPosition, primary, &a, &call.text_result);
        }
        case kOpName: {
            OperationArgs a;
            return primary_text_call(kOpName, primary, &a, &call.text_result);
        }
        case kOpSend:
            if (call.text == "REGISTER") {
                call.text_result = descriptor_bytes(kDescriptor);
                return 0;
            }
            call.text_result = "SEND arg not recognised";
            return 0;
        case kOpCurrentKey:
            args.result = s.key_number;
            return 0;
        default:
            return rt::kUnsupportedFunction;
    }
}

const DriverOps kViewOps = {&kDescriptor, &create_state, &release_state, &run, nullptr};

}  // namespace

const DriverDescriptor& view_descriptor() { return kDescriptor; }

int view_entry(int op, FileControlBlock* view, OperationArgs* args) {
    // A primary driver with a view handler of its own serves the view itself.
    if (view != nullptr && view->primary != nullptr && view->primary->entry != nullptr &&
        op != kOpNativeViewHandler) {
        OperationArgs query;
        if (view->primary->entry(kOpNativeViewHandler, view->primary, &query) == 0 && query.result != 0) {
            DriverEntry native = driver_entry_from_handle(std::uint32_t(query.result));
            if (native != nullptr && native != &view_entry) {
                view->entry = native;
                int result = native(op, view, args);
                if (op == kOpClose) view->entry = &view_entry;
                return result;
            }
        }
    }
    return run_driver_operation(kViewOps, op, view, args);
}

void init_view_block(FileControlBlock* view, FileControlBlock* primary) {
    *view = FileControlBlock{};
    view->entry = &view_entry;
    view->primary = primary;
    if (primary != nullptr) {
        view->name = primary->name;
        view->name_length = primary->name_length;
        view->record = primary->record;
        view->record_length = primary->record_length;
        view->fields = primary->fields;
        view->fields_size = primary->fields_size;
    }
}

}  // namespace sk::data
