// The fatal path of the storage layers.
#include "data/ksf/format.h"

#include <string>

#include "runtime/error.h"
#include "runtime/halt.h"

namespace sk::ksf {

void internal_error(int line) {
    std::string text = "Internal error : ksfbt line " + std::to_string(line);
    sk::rt::runtime_error(0, text.c_str());
    // Runtime errors may have been made non-fatal (tests); an internal error
    // never returns.
    sk::rt::halt(2);
}

}  // namespace sk::ksf
