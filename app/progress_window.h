// The progress window of the batch procedures (the export and the three
// imports): a thermometer bound to the shown percentage, a user text, a
// percentage text and a Cancel button. The window's timer drives one batch of
// the work a tick, so that Cancel is served between batches.
//
// The work is a TransferPass (HtmlExport or LineImport) with window_opened(),
// run_batch() and finish(). It has been started (or started as
// cancelled) before the window opens; run_progress_window() finishes it once the
// window has closed, completed, cancelled or failed to open alike.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/html_export.h"
#include "runtime/bind.h"
#include "ui/controls/static_controls.h"
#include "ui/event.h"
#include "ui/message_box.h"
#include "ui/window.h"
#include "platform/display/window.h"

namespace sk::app {

// The export and the imports share ExportFileName, the file it names and the
// category and site files, so only one of them runs at a time. A procedure holds
// the slot for its whole run; a second one started meanwhile tells the user and
// ends without touching any of them.
class TransferSlot {
public:
    TransferSlot()
        : m_held(!busy())
    {
        if (m_held)
            busy() = true;
        else
            sk::ui::message_box("An import or export is already running.\n\nStart this one when it has finished.",
                                "Transfer Running", {}, sk::ui::kBoxOk, sk::ui::kBoxOk, sk::ui::kBoxIconExclamation);
    }
    ~TransferSlot()
    {
        if (m_held)
            busy() = false;
    }
    TransferSlot(const TransferSlot&) = delete;
    TransferSlot& operator=(const TransferSlot&) = delete;
    bool held() const { return m_held; }

private:
    // Guarded by the global runtime lock, like every procedure's state.
    static bool& busy()
    {
        static bool running = false;
        return running;
    }
    bool m_held;
};

// Where a procedure's progress window lives.
struct ProgressWindowSpec {
    const char* module;  // "LKDB32$lkdb3013"
    const char* label;   // "EXPORTHTMLALL$PROGRESSWINDOW"
};

// The controls every progress window definition holds.
inline constexpr std::int32_t kProgressUserText = 2;
inline constexpr std::int32_t kProgressPercentText = 3;
inline constexpr std::int32_t kProgressCancel = 4;

// Sets a constant string control's text (the user and percentage texts).
inline void set_progress_text(sk::ui::Window& w, std::int32_t field, std::string_view text)
{
    if (auto* label = dynamic_cast<sk::ui::LabelControl*>(w.control(field)))
        label->set_text(text);
}

template <typename Work>
void run_progress_window(Work& work, const ProgressWindowSpec& spec)
{
    namespace ui = sk::ui;
    std::uint8_t percent_shown = 0;  // PercentShown, the thermometer's variable
    sk::rt::BoundVariable thermometer = sk::rt::bound_byte(&percent_shown);
    void* bindings[] = {&thermometer, nullptr};
    ui::Window w(ui::WindowType::kWindow, spec.module, spec.label, bindings);
    if (!w.open()) {
        work.finish();
        return;
    }
    const auto show = [&] {
        percent_shown = static_cast<std::uint8_t>(work.progress().percent_shown());
        sk::platform::display::set_window_text(w.handle(), work.title());
        set_progress_text(w, kProgressUserText, work.user_text());
        set_progress_text(w, kProgressPercentText, work.percent_text());
        w.display();
    };
    show();
    // A cancelled start closes the window at its first event. The request is
    // posted now that the window exists: posted earlier it would find no window
    // on this thread and be lost.
    bool close_posted = false;
    const auto close_when_done = [&] {
        if (work.closing() && !close_posted) {
            close_posted = true;
            w.post(ui::kEventCloseWindow);
        }
    };
    close_when_done();

    // The timer starts with the window, so a tick may come before the opened
    // event has been handled; no batch runs until then.
    bool opened = false;
    while (w.accept()) {
        switch (w.event()) {
            case ui::kEventOpenWindow:
                if (!opened) {
                    opened = true;
                    if (!work.closing()) work.window_opened();
                    show();
                }
                close_when_done();
                break;
            case ui::kEventTimer:
                if (opened && !work.closing()) {
                    const int before = work.progress().percent_shown();
                    work.run_batch();
                    if (work.closing() || work.progress().percent_shown() != before) show();
                }
                close_when_done();
                break;
            case ui::kEventAccepted:
                // Once the work has ended, Cancel changes nothing of its answer.
                if (w.field() == kProgressCancel && !work.closing()) {
                    work.cancel();
                    close_when_done();
                }
                break;
            default:
                break;
        }
    }
    work.finish();
    if (w.is_open()) w.close();
}

}  // namespace sk::app
