// The view engine: the driver entry that serves VIEW blocks.
//
// A VIEW block is a FileControlBlock whose entry is view_entry and whose
// `primary` names the file the view reads. The view delivers the primary file's
// records into the primary's record buffer, in the order of the key the primary
// file was last SET to when the view was opened, limited by an optional filter
// expression (property 7CB8h, assigned with view_property before OPEN):
//
//   set_key(&linkdb, &k_category);              // order and start
//   view_property(&view, "31928", "UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)");
//   open(&view, 0x22);
//   while (next(&view) == 0) { ... the record is in linkdb's buffer ... }
//   close(&view);
//
// The filter is compiled at OPEN over the names bound at that moment; a filter
// that does not compile leaves the view unfiltered. From the filter and the
// key's components the view works out the stretch of the key that can hold
// matching records (view_range.h): a scan that starts at the key's end seeks to
// the stretch's first (or last) key, and a scan stops at the first record past
// it. DELETE, PUT, HOLD, WATCH and code 24h go to the primary file; POSITION,
// RESET and REGET use the primary's key forms with the view's key, so that a
// position taken from the view restores the view's order.
#pragma once

#include "data/control_blocks.h"
#include "data/file_layer.h"

namespace sk::data {

// The property that holds the filter text.
inline constexpr int kViewFilterProperty = 0x7CB8;

int view_entry(int op, FileControlBlock* view, OperationArgs* args);
const DriverDescriptor& view_descriptor();

// Makes view a VIEW block over primary (entry, primary, record buffer shared).
void init_view_block(FileControlBlock* view, FileControlBlock* primary);

}  // namespace sk::data
