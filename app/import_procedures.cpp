// ImportHTML, ImportOther and ImportASCII: the input file chosen in the file
// dialog, a category picked for the whole import where the import offers one,
// and the file read in timer batches under a progress window.
#include <string>

#include "app/dictionary.h"
#include "app/import_ascii.h"
#include "app/import_html.h"
#include "app/import_text.h"
#include "app/procedures.h"
#include "app/progress_window.h"
#include "ui/file_dialog.h"

namespace sk::app {

namespace ui = sk::ui;

namespace {

// The import's file dialog with its directory rules. True when a file was
// chosen; it is then ExportFileName, the name ImportFile opens.
bool choose_import_file(ImportKind kind)
{
    prepare_import_dialog(kind);
    std::string name = fixed_text(ExportFileName);
    bool confirmed = ui::file_dialog(kImportDialogTitle, kImportDialogFilter, 0, name);
    // A path longer than ExportFileName would name some other file once cut.
    if (confirmed && name.size() > sizeof ExportFileName)
        confirmed = false;
    return finish_import_dialog(kind, confirmed, name);
}

// The category picked for the whole import through select, or blank when the
// user declined to pick one.
std::string pick_category(void (*select)())
{
    PendingRequest = RequestSelect;
    select();
    if (LastResponse != ResponseDone)
        return {};
    return fixed_text(cat_record.category);
}

// Runs an import whose start has been decided: chosen says whether a file was
// picked; without one the progress window closes at once and nothing is read.
void run_import(LineImport& work, bool chosen, const ProgressWindowSpec& spec)
{
    if (chosen)
        work.start();
    else
        work.start_cancelled();
    run_progress_window(work, spec);
    // finish() has handed the import's answer back in LastResponse.
}

}  // namespace

void ImportHTML()
{
    PendingRequest = 0;
    LastResponse = 0;
    const TransferSlot slot;
    if (!slot.held()) {
        LastResponse = ResponseCancelled;
        return;
    }
    const bool chosen = choose_import_file(ImportKind::kHtml);
    const std::string category = chosen ? pick_category(&SelectCategory) : std::string();
    ImportHtml work(category);
    run_import(work, chosen, {"LKDB32$lkdb3017", "IMPORTHTML$PROGRESSWINDOW"});
}

void ImportOther()
{
    PendingRequest = 0;
    LastResponse = 0;
    const TransferSlot slot;
    if (!slot.held()) {
        LastResponse = ResponseCancelled;
        return;
    }
    const bool chosen = choose_import_file(ImportKind::kOtherText);
    ImportText work;
    run_import(work, chosen, {"LKDB32$lkdb3018", "IMPORTOTHER$PROGRESSWINDOW"});
}

void ImportASCII()
{
    PendingRequest = 0;
    LastResponse = 0;
    const TransferSlot slot;
    if (!slot.held()) {
        LastResponse = ResponseCancelled;
        return;
    }
    const bool chosen = choose_import_file(ImportKind::kAsciiList);
    const std::string category = chosen ? pick_category(&SelectCategories) : std::string();
    ImportAsciiList work(category);
    run_import(work, chosen, {"LKDB32$lkdb3015", "IMPORTASCII$PROGRESSWINDOW"});
}

}  // namespace sk::app
