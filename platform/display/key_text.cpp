// The text of keys without a virtual-key code.
#include "platform/display/key_text.h"

#include "platform/display/utf8.h"

namespace sk::platform::display {

std::string KeyTextFallback::key_down(char32_t c) {
    std::string owed = flush();
    m_pending = c;
    return owed;
}

void KeyTextFallback::text_arrived() {
    m_pending = 0;
}

std::string KeyTextFallback::flush() {
    std::string out;
    if (m_pending) append_utf8(out, m_pending);
    m_pending = 0;
    return out;
}

char32_t key_code_char(std::int32_t code, bool shift) {
    if (code < 0x20 || code == 0x7F || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    if (code >= 0x80 && code < 0xA0) return 0;  // C1 control characters
    char32_t c = static_cast<char32_t>(code);
    return shift ? upper_case_char(c) : c;
}

}  // namespace sk::platform::display
