// The KESTREL driver's memo operations: slices, length and properties.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "data/ksf/driver_ops.h"

namespace sk::ksf::driver {

namespace {

MemoInfo* memo_of(KsfTable& t, std::intptr_t number) {
    if (number < 1 || static_cast<std::size_t>(number) > t.memos.size()) return nullptr;
    return &t.memos[static_cast<std::size_t>(number - 1)];
}

}  // namespace

int do_memo_op(DriverCall& call, KsfTable& t) {
    OperationArgs& args = *call.args;
    MemoInfo* m = memo_of(t, args.at(0));
    if (m == nullptr || m->block == nullptr) return sk::rt::kInvalidMemoFile;
    char* buffer = m->block->buffer;
    switch (call.op) {
        case sk::data::kOpMemoSliceRead: {
            const std::int64_t start = std::max<std::int64_t>(args.at(1), 0);
            const std::int64_t end = std::min<std::int64_t>(args.at(2), std::int64_t(m->used) - 1);
            call.text_result = end >= start ? std::string(buffer + start, std::size_t(end - start + 1)) : std::string();
            return 0;
        }
        case sk::data::kOpMemoSliceWrite: {
            const std::int64_t start = args.at(1), end = args.at(2);
            if (start < 0 || end < start || end >= std::int64_t(m->size)) return sk::rt::kAccessDenied;
            const std::size_t n = std::size_t(end - start + 1);
            std::string text = call.text;
            text.resize(n, ' ');
            std::memcpy(buffer + start, text.data(), n);
            m->used = std::max<std::uint32_t>(m->used, static_cast<std::uint32_t>(end + 1));
            m->sliced = true;
            return 0;
        }
        case sk::data::kOpMemoLength:
            args.result = m->used;
            return 0;
        case sk::data::kOpMemoPropertyWrite:
        case sk::data::kOpMemoPropertyRead: {
            const std::string property = trimmed(call.text);
            const bool write = call.op == sk::data::kOpMemoPropertyWrite;
            if (property == "31929") {
                if (!write) {
                    call.text_result = std::to_string(m->size);
                    return 0;
                }
                std::uint64_t size = 0;
                for (char c : trimmed(call.text2))
                    if (c >= '0' && c <= '9') size = std::min<std::uint64_t>(size * 10 + std::uint64_t(c - '0'), sk::data::kMaxMemoSize);
                char* grown = new char[size > 0 ? size : 1];
                std::memset(grown, ' ', size);
                std::memcpy(grown, buffer, std::min<std::uint64_t>(size, m->size));
                delete[] buffer;
                m->block->buffer = grown;
                m->size = static_cast<std::uint32_t>(size);
                m->used = std::min<std::uint32_t>(m->used, m->size);
                return 0;
            }
            if (property == "31894") {
                if (!write) call.text_result = std::to_string(m->handle);
                // Global memory blocks are not part of this platform; the handle is kept.
                else m->handle = static_cast<std::uintptr_t>(std::strtoull(trimmed(call.text2).c_str(), nullptr, 10));
                return 0;
            }
            return 0;
        }
        default:
            return sk::rt::kUnsupportedFunction;
    }
}

}  // namespace sk::ksf::driver
