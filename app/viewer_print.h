// Printing a text viewer's lines: laid out in the page area and font of the
// viewer's report definition, then sent to the default printer, or saved as a
// PDF document in the user's documents folder when no printer is set up.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/print/print.h"
#include "ui/definition.h"

namespace sk::app {

struct ViewerPrintResult {
    enum class Outcome { kPrinted, kSaved, kFailed };
    Outcome outcome = Outcome::kFailed;
    std::string path;   // the saved document (kSaved)
    bool chosen = false;  // kSaved because the printer set-up chose a PDF file
    std::string error;  // what went wrong (kFailed)
};

// The page of a report definition: its "at" rectangle, in thousandths of an inch,
// is the text area on the paper chosen in the printer set-up (Letter unless A4 was
// chosen), its font the printing face. Without a usable definition, or with one
// that does not fit the paper, the page keeps one-inch margins and a monospace face.
sk::platform::print::PageSetup viewer_page_setup(const sk::ui::WindowDefinition* report, std::string_view title);

// A file name in directory for the document printed from file_name ("readme.jr"
// gives "readme.pdf"); an existing file is never replaced: "readme-2.pdf" and so on.
std::string viewer_pdf_path(std::string_view directory, std::string_view file_name);

// Prints the lines where the printer set-up sends them: to the chosen printer, or
// with none chosen to the default one, through the spooler from a private temporary
// folder. When the set-up chose a PDF file, or no printer is chosen and there is no
// default one, the document is saved under default_output_directory().
ViewerPrintResult print_viewer_lines(const std::vector<std::string>& lines,
                                     const sk::platform::print::PageSetup& setup, std::string_view file_name);

}  // namespace sk::app
