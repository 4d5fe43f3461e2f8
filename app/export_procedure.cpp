// Export and ExportHTMLAll: the window in which the user names the output file,
// and the process that writes the whole site list to it as one HTML page.
#include <string>

#include "app/dictionary.h"
#include "app/html_export.h"
#include "app/procedures.h"
#include "app/progress_window.h"
#include "app/window_placement.h"
#include "platform/display/display.h"
#include "runtime/bind.h"
#include "ui/event.h"
#include "ui/file_dialog.h"
#include "ui/window.h"

namespace sk::app {

namespace ui = sk::ui;

namespace {

constexpr std::int32_t kBrowseButton = 6;  // "..."
constexpr std::int32_t kOkButton = 7;
constexpr std::int32_t kCancelButton = 8;

constexpr const char* kSection = "Export";

// The file dialog of the "..." button. The dialog starts from the name in the
// entry (or the last directory); a confirmed name replaces ExportFileName.
void choose_export_file()
{
    std::string name = export_dialog_start_name();
    if (!ui::file_dialog(kExportDialogTitle, kExportDialogFilter, 0, name))
        return;
    // A full path longer than ExportFileName would be cut into the name of some
    // other file; such a choice is refused and the entry keeps its name.
    if (name.size() > sizeof ExportFileName) {
        sk::platform::display::beep();
        return;
    }
    export_dialog_accepted(name);
}

}  // namespace

void ExportHTMLAll()
{
    PendingRequest = 0;
    LastResponse = 0;
    HtmlExport work;
    work.start();
    run_progress_window(work, {"LKDB32$lkdb3013", "EXPORTHTMLALL$PROGRESSWINDOW"});
    // finish() has handed the export's answer back in LastResponse.
}

void Export()
{
    PendingRequest = 0;
    LastResponse = 0;
    const TransferSlot slot;
    if (!slot.held()) {
        LastResponse = ResponseCancelled;
        return;
    }
    std::int32_t own_response = 0;

    sk::rt::BoundVariable file_name = sk::rt::bound_string(ExportFileName, sizeof ExportFileName);
    void* bindings[] = {&file_name, nullptr};
    ui::Window w(ui::WindowType::kWindow, "LKDB32$lkdb3014", "EXPORT$WINDOW", bindings);
    if (!w.open()) {
        LastResponse = ResponseCancelled;
        return;
    }
    restore_window_position(w, kSection);

    bool leaving = false;
    const auto redisplay = [&] {
        if (!w.accept_all())
            w.display();
    };
    while (w.accept()) {
        const int e = w.event();
        const std::int32_t f = w.field();
        switch (e) {
            case ui::kEventOpenWindow:
            case ui::kEventGainFocus:
                redisplay();
                continue;
            case ui::kEventRejected:
                sk::platform::display::beep();
                w.display(f, f);
                continue;
            default:
                break;
        }
        // After Ok or Cancel the window is on its way out; a second press waits for nothing.
        if (e != ui::kEventAccepted || leaving)
            continue;
        switch (f) {
            case kBrowseButton:
                choose_export_file();
                w.display();
                break;
            case kOkButton:
                // The export runs with whatever name the entry holds.
                ExportHTMLAll();
                own_response = LastResponse;
                w.display();
                leave_file_dialog_directory();
                leaving = true;
                w.post(ui::kEventCloseWindow);
                break;
            case kCancelButton:
                leave_file_dialog_directory();
                leaving = true;
                w.post(ui::kEventCloseWindow);
                break;
            default:
                break;
        }
    }
    if (w.is_open()) {
        save_window_position(w, kSection);
        w.close();
    }
    LastResponse = own_response != 0 ? own_response : ResponseCancelled;
}

}  // namespace sk::app
