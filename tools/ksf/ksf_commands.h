// The ksf command-line tool: info, check and dump over a KSF file, built on the
// engine's own readers in data/ksf/, and rebuild, which writes the file afresh
// from its data records (FILE\!TABLE: that table only, the others carried over
// as they are) and puts the new file in the old one's place in one step. Only
// rebuild changes the file. A FILE without an extension that does not exist is
// looked for with ".KSF", as the driver names it. Keys follow the program's
// collation: "--env FILE" applies its environment file first, and "--oem"
// says the file's text is OEM text (neither is stored in the file).
#pragma once

#include <ostream>

namespace sk::ksftool {

// Runs one ksf command line (argv[0] is the program name). Returns the exit
// status: 0 done (check: clean), 1 defects found or the file unreadable, 2 usage.
int run_ksf(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace sk::ksftool
