// Reading through a pending journal: the journal holds complete page images
// (and a header copy) between journal start and journal end, each one
// roundup256(stored length) long and naming its home offset in its first four
// bytes. Until the journal has been copied home, the current image of a page
// is its journal copy when there is one.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "data/ksf/cipher.h"
#include "data/ksf/header.h"
#include "platform/file.h"

namespace sk::ksf {

// Home file offset -> journal file offset; a later entry for the same home wins.
using JournalIndex = std::map<std::uint64_t, std::uint64_t>;

// Every read below is deciphered with cipher when it is not null.

// Walks the journal of header. Returns 0, or 36 when an entry cannot be read,
// has a stored length below its header or above a page, or runs past the end.
int walk_journal(sk::platform::File& file, const Header& header, JournalIndex* index,
                 const PageCipher* cipher = nullptr);

// The header copy in the journal (home offset 0). Returns 0 when found, 1 when
// the journal holds none, 36 when it cannot be read or is not a header.
int journal_header(sk::platform::File& file, const JournalIndex& index, Header* out,
                   const PageCipher* cipher = nullptr);

// The raw image of page r (page_size(r) bytes): its journal copy when the
// index has one, else its home. Returns 0; 36 when r lies in no block or the
// read falls short; 1482 when the image's rounded stored length is not the
// page's size.
int read_page_image(sk::platform::File& file, const Header& header, const JournalIndex& index, PageRef r,
                    std::vector<std::uint8_t>* image, const PageCipher* cipher = nullptr);

}  // namespace sk::ksf
