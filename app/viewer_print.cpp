// Printing the text viewer's lines.
#include "app/viewer_print.h"

#include "platform/display/font.h"
#include "platform/file.h"

namespace sk::app {

namespace pp = sk::platform::print;

namespace {

constexpr double kPointsPerThousandth = 72.0 / 1000.0;

}  // namespace

pp::PageSetup viewer_page_setup(const sk::ui::WindowDefinition* report, std::string_view title) {
    pp::PageSetup setup;
    pp::set_paper(setup, pp::printer_choice().paper);
    setup.title = std::string(title);
    if (report == nullptr) return setup;
    if (report->font) {
        setup.face = sk::platform::display::map_face_name(report->font->name, true);
        if (report->font->size > 0 && report->font->size <= 72) setup.font_size = report->font->size;
    }
    // The detail area as the report places it; a rectangle that does not fit on the
    // page keeps the default margins rather than printing off the paper.
    const double left = report->x * kPointsPerThousandth, top = report->y * kPointsPerThousandth;
    const double width = report->width * kPointsPerThousandth, height = report->height * kPointsPerThousandth;
    const bool fits = report->x >= 0 && report->y >= 0 && width >= 72 && height >= 72 &&
                      left + width <= setup.page_width && top + height <= setup.page_height;
    if (report->x != sk::ui::kDefault && report->y != sk::ui::kDefault && fits) {
        setup.margin_left = left;
        setup.margin_top = top;
        setup.margin_right = setup.page_width - left - width;
        setup.margin_bottom = setup.page_height - top - height;
    }
    return setup;
}

std::string viewer_pdf_path(std::string_view directory, std::string_view file_name) {
    std::string stem(file_name);
    const std::size_t slash = stem.find_last_of('/');
    if (slash != std::string::npos) stem.erase(0, slash + 1);
    const std::size_t dot = stem.find_last_of('.');
    if (dot != std::string::npos && dot > 0) stem.erase(dot);
    if (stem.empty()) stem = "document";
    std::string base(directory);
    if (!base.empty() && base.back() != '/') base += '/';
    std::string path = base + stem + ".pdf";
    // Counts on until a free name turns up: an existing document is never replaced.
    for (unsigned n = 2; sk::platform::file_exists(path); ++n) path = base + stem + "-" + std::to_string(n) + ".pdf";
    return path;
}

ViewerPrintResult print_viewer_lines(const std::vector<std::string>& lines, const pp::PageSetup& setup,
                                     std::string_view file_name) {
    ViewerPrintResult result;
    const pp::PrinterChoice choice = pp::printer_choice();
    if (!choice.to_pdf_file && (!choice.printer.empty() || pp::default_printer())) {
        if (const auto error = pp::print_lines(lines, setup)) {
            result.error = error->text;
            return result;
        }
        result.outcome = ViewerPrintResult::Outcome::kPrinted;
        return result;
    }
    const std::string path = viewer_pdf_path(pp::default_output_directory(), file_name);
    if (const auto error = pp::write_pdf(lines, setup, path)) {
        result.error = error->text;
        return result;
    }
    result.outcome = ViewerPrintResult::Outcome::kSaved;
    result.path = path;
    result.chosen = choice.to_pdf_file;
    return result;
}

}  // namespace sk::app
