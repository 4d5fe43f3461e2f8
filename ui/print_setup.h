// The printer set-up: a small modal dialog the engine draws itself, where the user
// picks where printed documents go (the system's default printer, one of the
// spooler's printers, or a PDF file) and the paper size. OK makes the choice the
// whole process's; Cancel leaves it as it was.
//
// PrintSetupModel holds what the dialog decides; the dialog only shows it and
// feeds it keys and clicks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/print/print.h"

namespace sk::ui {

struct PrintSetupEntry {
    enum class Kind { kDefaultPrinter, kPrinter, kPdfFile };
    Kind kind = Kind::kPdfFile;
    std::string printer;  // kPrinter: the spooler's name for it
    std::string caption;  // the row's text
};

class PrintSetupModel {
public:
    // The rows: "Default printer (NAME)" when the spooler has a default, then each
    // printer, then the PDF file. The selection starts on the current choice, or on
    // what printing would do now when that choice is not on offer.
    PrintSetupModel(const sk::platform::print::SpoolerStatus& spooler,
                    const sk::platform::print::PrinterChoice& current);

    const std::vector<PrintSetupEntry>& entries() const { return m_entries; }
    int selected() const { return m_selected; }
    void select(int index);  // held inside the rows
    sk::platform::print::PaperSize paper = sk::platform::print::PaperSize::kLetter;

    // The text below the rows, up to two lines: why there is nothing but the PDF
    // file, or where the selected row sends documents.
    std::string note() const;

    // What OK keeps.
    sk::platform::print::PrinterChoice choice() const;

private:
    bool m_spooler_installed = false;
    std::vector<PrintSetupEntry> m_entries;
    int m_selected = 0;
};

// Shows the printer set-up. OK makes the choice the process's (and writes it to
// the profile file given to keep_print_setup_in) and returns true; Cancel, Escape
// and the close box return false and change nothing. The global runtime lock is
// given up while it waits and while the spooler is asked for its printers.
bool print_setup_dialog();

// From now on the choice is kept in the profile file (a name as profile_path takes
// it): the stored choice becomes the process's at once, and every OK writes it.
void keep_print_setup_in(std::string_view profile_file);

}  // namespace sk::ui
