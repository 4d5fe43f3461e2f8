// Printing text: lines laid out in pages in a monospace or chosen face, written as
// a PDF document through cairo, and handed to the system's print spooler (lp):
// to the printer chosen in the printer set-up, else to the system's default one.
//
// Long lines are wrapped at the text width, at the last blank that fits or, for a
// word longer than the line, at a character. Each page carries a footer with the
// document title and "Page n of N" in its bottom margin.
//
// Failures come back as a PrintError; nothing here shows anything to the user.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sk::platform::print {

// The page and its text area, in points (1/72 inch).
struct PageSetup {
    double page_width = 612.0;  // US Letter
    double page_height = 792.0;
    double margin_left = 72.0;
    double margin_top = 72.0;
    double margin_right = 72.0;
    double margin_bottom = 72.0;
    std::string face = "DejaVu Sans Mono";  // a fontconfig family name
    double font_size = 9.0;                 // points
    std::string title;                      // shown in each page's footer
    bool page_footer = true;
};

// Why printing failed: the system error number where a system call failed (0
// otherwise) and a sentence for the user.
struct PrintError {
    int code = 0;
    std::string text;
};

// The text of every page, one entry per printed row. Text is UTF-8; bytes that do
// not form UTF-8 are read as Latin-1 characters, tabs are expanded to stops of 8
// and other control characters print as blanks. No lines give one empty page.
std::vector<std::vector<std::string>> layout_pages(const std::vector<std::string>& lines, const PageSetup& setup);

// Writes the laid-out lines as a PDF file at path (replacing it). On success
// returns nullopt and stores the page count in *pages; on failure no partial file
// is left behind.
std::optional<PrintError> write_pdf(const std::vector<std::string>& lines, const PageSetup& setup,
                                    const std::string& path, int* pages = nullptr);

// Paper a document is laid out on.
enum class PaperSize { kLetter, kA4 };

// Sets the page's width and height to the paper's (the margins stay as they are).
void set_paper(PageSetup& setup, PaperSize paper);

// Whether the spooler's programs (lp and lpstat) are installed.
bool spooler_installed();

// The system's default printer, or nullopt when there is none or no spooler is
// installed. Asks the spooler's status command (lpstat -d).
std::optional<std::string> default_printer();

// The printers (destinations) the spooler knows, in its order, without repeats;
// empty when there are none, no spooler is installed or the spooler does not
// answer. Names that could not be handed to lp safely are left out.
std::vector<std::string> list_printers();

// What the printer set-up shows: everything about the spooler in one look.
struct SpoolerStatus {
    bool installed = false;
    std::vector<std::string> printers;
    std::optional<std::string> default_printer;
};
SpoolerStatus spooler_status();

// A name lp can be given as a destination: 1 to 127 bytes, no blanks or control
// characters, and not starting with "-" (it would read as an option).
bool valid_printer_name(std::string_view name);

// Where printed documents go, chosen once for the whole process.
struct PrinterChoice {
    std::string printer;       // a spooler destination; empty: the system's default printer
    bool to_pdf_file = false;  // save a PDF document instead of printing
    PaperSize paper = PaperSize::kLetter;
};
PrinterChoice printer_choice();
// False, and the choice stays as it was, for a printer name that is not valid.
bool set_printer_choice(const PrinterChoice& choice);

// The choice kept in a profile file (section "Print Setup"); entries that are
// missing or not understood read as the defaults.
PrinterChoice read_printer_choice(std::string_view profile_file);
// False when the profile could not be written (last_system_error() says why).
bool write_printer_choice(std::string_view profile_file, const PrinterChoice& choice);

// Sends a PDF file to a printer through lp, with title as the job's name; an empty
// printer is the system's default. Waits for lp to finish; its complaint is the
// error text.
std::optional<PrintError> spool(const std::string& pdf_path, std::string_view title, std::string_view printer = {});

// Writes the lines as a PDF in a private temporary folder, spools it to the chosen
// printer (printer_choice(); the default one when none is chosen) and removes it
// again. The temporary folder comes from TMPDIR, else /tmp.
std::optional<PrintError> print_lines(const std::vector<std::string>& lines, const PageSetup& setup);

// Where a document is saved when there is no printer: the user's "Documents"
// folder when there is one, else the home folder, else the current directory.
std::string default_output_directory();

// Tests: the spooler programs run instead of "lp" and "lpstat" (a name is looked
// up in PATH, a path is run as it is). Empty texts restore the defaults.
void set_spooler_commands(std::string lp, std::string lpstat);

}  // namespace sk::platform::print
