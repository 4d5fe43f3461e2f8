// The ASCII driver: a plain text file seen as a file of records, one line per
// record laid over the file's record buffer.
//
// Records are addressed by byte position (a record pointer is the 1-based position
// of a line's first byte); there are no keys, no record count and no backward
// reading. The declaration may hold only STRING fields and groups. Lines end with
// CR LF; while that default terminator is in force a lone LF also ends a line when
// reading (files written on this platform), and writing always uses CR LF. A
// terminator set with SEND "ENDOFRECORD=..." is used exactly as set.
//
// Options (SEND texts, or "/"-separated in the declaration's driver string):
// "FILEBUFFERS[=n]" (buffer of n x 512 bytes), "QUICKSCAN[=ON|OFF]",
// "ENDOFRECORD[=n,c1,...,cn]", "CLIP[=ON|OFF]", "TAB[=t]", "REGISTER".
#pragma once

#include "data/control_blocks.h"
#include "data/file_layer.h"

namespace sk::ascii {

// The driver's dispatch entry; put it in FileControlBlock::entry.
int ascii_entry(int op, sk::data::FileControlBlock* file, sk::data::OperationArgs* args);

// The descriptor SEND "REGISTER" returns (as its byte image).
const sk::data::DriverDescriptor& ascii_descriptor();

}  // namespace sk::ascii
