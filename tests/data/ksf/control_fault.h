// A fault for the transaction control file: from its nth flush on, every write,
// truncation and flush of that file fails with 29, as a crash while committing
// would leave it. Other files are untouched.
#pragma once

#include <string>

#include "platform/file.h"

namespace sk::test {

struct ControlFault {
    std::string control;          // path of the control file
    int control_flushes = 0;
    int fail_control_after = -1;  // its flushes allowed before it fails
};

inline int control_fault(sk::platform::FileOperation op, const std::string& path, void* context) {
    auto* f = static_cast<ControlFault*>(context);
    if (path.find(f->control) == std::string::npos) return 0;
    if (f->fail_control_after >= 0 && f->control_flushes >= f->fail_control_after) return 29;
    if (op == sk::platform::FileOperation::kFlush) ++f->control_flushes;
    return 0;
}

}  // namespace sk::test
