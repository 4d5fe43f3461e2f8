// The KESTREL driver: KSF tables reached through the file layer's dispatch.
//
// A declared file's name selects a physical file and a table in it: the part
// before "\!" is the physical file (".KSF" added when it has no extension),
// the part after it, upper-cased, the table ("UNNAMED" without "\!"). Every
// statement runs in a bracket on its physical file: a reader slot or the writer
// region on a shared file, a header refresh, and a commit at its end (LOCKING.md).
#pragma once

#include <string>

#include "data/control_blocks.h"
#include "data/file_layer.h"

namespace sk::ksf {

// The driver's dispatch entry; put it in FileControlBlock::entry.
int ksf_entry(int op, sk::data::FileControlBlock* file, sk::data::OperationArgs* args);

// The descriptor SEND "REGISTER" returns (as its byte image).
const sk::data::DriverDescriptor& ksf_descriptor();

// The physical path and the table name a declared name selects.
struct KsfName {
    std::string path;   // absolute, with ".KSF" when the name had no extension
    std::string table;  // upper case
};
bool split_ksf_name(const std::string& name, KsfName* out);

// The transaction control file name (SEND "TCF=").
const std::string& transaction_control_file();

}  // namespace sk::ksf
