// Keys a backend has no virtual-key code for (letters outside the US layout, say)
// still type their character. The OS normally sends the keystroke's text as well;
// when it does not, the character the key stands for is passed on as text once the
// key goes up, so that nothing typed is lost and nothing is typed twice.
#pragma once

#include <cstdint>
#include <string>

namespace sk::platform::display {

class KeyTextFallback {
public:
    // A key without a virtual-key code went down; c is the character it stands for
    // (0 for none). Returns the text still owed by an earlier such key, to pass on first.
    std::string key_down(char32_t c);
    // The OS sent the text of the keystroke: the pending character is not needed.
    void text_arrived();
    // Any other key event (a key went up, or a key with a code went down): returns the
    // pending character as text, empty when nothing is owed.
    std::string flush();

private:
    char32_t m_pending = 0;
};

// The character an SDL-style key code stands for: codes below 2^30 are the Unicode
// character of the unshifted key; with shift set the character's upper case. 0 for a
// key that types nothing (control characters, codes outside Unicode).
char32_t key_code_char(std::int32_t code, bool shift);

}  // namespace sk::platform::display
