// The two single-byte code pages the runtime knows: the OEM set (code page 850)
// and the ANSI set (Windows-1252), with the conversions between them and the
// ANSI set's own classification and comparison rules.
//
// Codes below 128 are the same in both sets. Above 128 each set holds
// characters the other lacks (box drawing in the OEM set, typographic quotes
// and the euro sign in the ANSI set); those convert to the nearest plain
// character, so a conversion there is not always reversible.
#pragma once

namespace sk::rt {

unsigned char oem_to_ansi(unsigned char c);
unsigned char ansi_to_oem(unsigned char c);
// Converts length bytes in place.
void oem_to_ansi_buffer(char* s, unsigned long length);
void ansi_to_oem_buffer(char* s, unsigned long length);

// The ANSI set's letters: alphabetic, upper case, and the lower-case form
// (c itself when it has none).
bool ansi_is_alpha(unsigned char c);
bool ansi_is_upper(unsigned char c);
unsigned char ansi_lower(unsigned char c);

// Position of c in the ANSI set's dictionary order: symbols before digits
// before letters, each accented letter right after its base letter, lower case
// before upper case. A permutation of 0..255.
unsigned char ansi_sort_rank(unsigned char c);
// Compares two NUL-terminated strings in that order (<0, 0, >0).
int ansi_compare_strings(const char* a, const char* b);

}  // namespace sk::rt
