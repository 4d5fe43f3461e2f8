// Writing a whole page tree as a fresh file image: every page reached from the
// root is given a home, block by block from size class 1 upward with no gaps,
// its child references rewritten to the new homes, and the header set to match
// (root, block tables, an empty journal at the allocated end). Used to write a
// file in one piece (a new or packed file) rather than through commits.
#pragma once

#include <cstdint>
#include <vector>

#include "data/ksf/header.h"
#include "data/ksf/page_store.h"

namespace sk::ksf {

// Lays out the tree of store into image (header first). header supplies the
// identifier and change counters and receives the new root, block tables and
// journal bounds; the change counter is raised by one. Returns 0, 36 when a
// page cannot be loaded, or the internal error number (1664, 1683) of a page
// that cannot be stored.
int layout_file(PageStore& store, Header* header, std::vector<std::uint8_t>* image);

}  // namespace sk::ksf
