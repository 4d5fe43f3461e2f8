// WhatsNew and ReadMe: the text viewer's windows. The view window lists the lines
// of the viewer's text file; loading runs in batches on the ticks of a progress
// window so that its Cancel stays live; Find asks for the search in a dialog and
// Find Next repeats it; Print lays the lines out in the report's font.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "app/dictionary.h"
#include "app/procedures.h"
#include "app/text_viewer.h"
#include "app/update_actions.h"
#include "app/viewer_print.h"
#include "app/window_placement.h"
#include "platform/display/display.h"
#include "platform/display/window.h"
#include "runtime/bind.h"
#include "runtime/halt.h"
#include "ui/controls/list_control.h"
#include "ui/controls/static_controls.h"
#include "ui/controls/variable.h"
#include "ui/event.h"
#include "ui/thread.h"
#include "ui/window.h"

namespace sk::app {

namespace ui = sk::ui;
namespace rt = sk::rt;
namespace pd = sk::platform::display;

namespace {

// Controls of the view window.
constexpr std::int32_t kViewList = 1, kViewPrint = 2, kViewFind = 3, kViewFindNext = 4, kViewClose = 5;
// Controls of the search dialog.
constexpr std::int32_t kSearchFind = 8, kSearchCancel = 9;
// Controls of the progress window.
constexpr std::int32_t kProgressBar = 1, kProgressPercent = 3, kProgressCancel = 4;

constexpr std::size_t kSearchTextSize = 79;
constexpr std::size_t kDirectionSize = 4;

// The module string and window label prefix of a viewer: "LKDB3023_RSC" is the
// module "LKDB32$lkdb3023", the section "WhatsNew" the prefix "WHATSNEW".
std::string module_of(const ViewerSettings& s) {
    std::string number(s.resource.substr(0, s.resource.find('_')));
    for (char& c : number) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "LKDB32$" + number;
}

std::string label_of(const ViewerSettings& s, std::string_view window) {
    std::string label(s.section);
    for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return label + "$" + std::string(window);
}

void show_box(std::string_view caption, std::string_view text, int icon) {
    rt::MessageRequest request;
    request.caption = caption;
    request.text = text;
    request.icon = icon;
    rt::present_message(request);
}

class ViewerProcedure {
public:
    explicit ViewerProcedure(const ViewerSettings& settings)
        : m_viewer(settings), m_module(module_of(settings)) {}

    // Runs the view window; returns the response to hand back.
    std::int32_t run();

private:
    ui::ListControl* list() const { return dynamic_cast<ui::ListControl*>(m_window->control(kViewList)); }
    void set_find_next(bool enabled);
    void refresh();
    void show_progress();
    void update_progress(ui::Window& progress);
    void find();
    void search();
    void print();

    TextViewer m_viewer;
    std::string m_module;
    ui::Window* m_window = nullptr;
    std::int32_t m_own_response = ResponseCancelled;
};

void ViewerProcedure::set_find_next(bool enabled) {
    if (ui::Control* c = m_window->control(kViewFindNext)) c->set_disabled(!enabled);
}

// Loads the viewer's file when it is not the one in the list, then shows the list.
void ViewerProcedure::refresh() {
    if (const auto start = m_viewer.refresh()) {
        if (*start == TextViewer::LoadStart::kLoading) show_progress();
        if (ui::ListControl* l = list()) {
            l->set_selected(m_viewer.line_count() > 0 ? 1 : 0);
            l->set_disabled(!m_viewer.list_enabled());
        }
    }
    m_window->display();
}

void ViewerProcedure::update_progress(ui::Window& progress) {
    progress.display(kProgressBar);
    if (auto* text = dynamic_cast<ui::LabelControl*>(progress.control(kProgressPercent)))
        text->set_text(m_viewer.percent_text());
}

// The progress window over the load: one batch per timer tick until the file ends
// or the user confirms Cancel. The lines read so far stay either way.
void ViewerProcedure::show_progress() {
    std::uint8_t percent_shown = 0;
    rt::BoundVariable percent = rt::bound_byte(&percent_shown);
    void* bindings[] = {&percent, nullptr};
    ui::Window progress(ui::WindowType::kWindow, m_module, label_of(m_viewer.settings(), "PROGRESSWINDOW"), bindings);
    if (!progress.open()) {
        // Without the window the file is read in one go rather than not at all.
        m_viewer.load_window_opened();
        while (!m_viewer.load_batch()) {
        }
        m_viewer.end_load();
        m_viewer.report_read_error();
        return;
    }
    pd::set_window_text(progress.handle(), m_viewer.progress_title());
    update_progress(progress);
    while (progress.accept()) {
        const int e = progress.event();
        if (e == ui::kEventOpenWindow) {
            m_viewer.load_window_opened();
        } else if (e == ui::kEventTimer) {
            const bool done = m_viewer.load_batch();
            percent_shown = static_cast<std::uint8_t>(m_viewer.percent_shown());
            update_progress(progress);
            if (done) progress.post(ui::kEventCloseWindow);
        } else if (e == ui::kEventAccepted && progress.field() == kProgressCancel) {
            if (m_viewer.cancel_load()) progress.post(ui::kEventCloseWindow);
        }
    }
    if (progress.is_open()) progress.close();
    m_viewer.end_load();
    m_viewer.report_read_error();
}

// The search dialog: its text starts empty, the other settings are the last ones.
// Find searches and enables Find Next, Cancel disables it; any other way of
// closing keeps the previous answer.
void ViewerProcedure::find() {
    SearchSettings& settings = m_viewer.search_settings();
    char text[kSearchTextSize];
    char direction[kDirectionSize];
    set_fixed(text, settings.text);
    set_fixed(direction, settings.direction);
    std::uint8_t whole_word = settings.whole_word ? 1 : 0;
    std::uint8_t match_case = settings.match_case ? 1 : 0;
    rt::BoundVariable text_var = rt::bound_string(text, sizeof text);
    rt::BoundVariable whole_var = rt::bound_byte(&whole_word);
    rt::BoundVariable case_var = rt::bound_byte(&match_case);
    rt::BoundVariable direction_var = rt::bound_string(direction, sizeof direction);
    void* bindings[] = {&text_var, &whole_var, &case_var, &direction_var, nullptr};
    ui::Window dialog(ui::WindowType::kWindow, m_module, label_of(m_viewer.settings(), "ASC1:SEARCHWINDOW"), bindings);
    if (!dialog.open()) return;
    while (dialog.accept()) {
        const int e = dialog.event();
        if (e == ui::kEventOpenWindow) {
            m_viewer.find_dialog_opened();
            set_fixed(text, "");
            dialog.display();
        } else if (e == ui::kEventRejected) {
            pd::beep();
            dialog.display(dialog.field());
        } else if (e == ui::kEventAccepted && dialog.field() == kSearchFind) {
            m_own_response = ResponseDone;
            dialog.post(ui::kEventCloseWindow);
        } else if (e == ui::kEventAccepted && dialog.field() == kSearchCancel) {
            m_own_response = ResponseCancelled;
            dialog.post(ui::kEventCloseWindow);
        }
    }
    if (dialog.is_open()) dialog.close();
    settings.text = fixed_text(text);
    settings.whole_word = whole_word != 0;
    settings.match_case = match_case != 0;
    settings.direction = fixed_text(direction) == "Up" ? "Up" : "Down";
    const bool searching = m_own_response == ResponseDone;
    m_viewer.find_answered(searching);
    set_find_next(searching);
    if (searching) search();
}

void ViewerProcedure::search() {
    ui::ListControl* l = list();
    if (l == nullptr) return;
    std::optional<std::size_t> row;
    {
        BusyCursor busy;
        row = m_viewer.search(l->selected());
    }
    if (row) {
        l->set_selected(*row);
        m_window->select(kViewList);
    }
}

void ViewerProcedure::print() {
    if (m_viewer.line_count() == 0) return;
    ViewerPrintResult result;
    {
        BusyCursor busy;
        ui::Window report(ui::WindowType::kReport, m_module, label_of(m_viewer.settings(), "ASC1:REPORT"));
        const bool has_report = report.open();
        std::vector<std::string> lines;
        lines.reserve(m_viewer.line_count());
        for (std::size_t i = 1; i <= m_viewer.line_count(); ++i) lines.push_back(m_viewer.line(i));
        const std::string file(m_viewer.settings().file);
        const auto setup = viewer_page_setup(has_report ? &report.definition() : nullptr, file);
        if (has_report) report.close();
        // Laying out, writing and spooling touch no runtime state: other windows run meanwhile.
        ui::LockRelease unlocked;
        result = print_viewer_lines(lines, setup, file);
    }
    switch (result.outcome) {
        case ViewerPrintResult::Outcome::kPrinted: break;
        case ViewerPrintResult::Outcome::kSaved:
            show_box("Print", (result.chosen ? std::string("The text was saved as ") : "No printer is set up. The text was saved as ") +
                                  result.path + ".",
                     rt::kIconAsterisk);
            break;
        case ViewerPrintResult::Outcome::kFailed:
            show_box("Print Error", "The text could not be printed. " + result.error, rt::kIconExclamation);
            break;
    }
}

std::int32_t ViewerProcedure::run() {
    const ViewerSettings& s = m_viewer.settings();
    ui::RowSource rows{&m_viewer.lines(), {{0, rt::kTypeString, std::uint32_t(kViewLineSize), 0}}};
    void* bindings[] = {&rows, nullptr};
    ui::Window w(ui::WindowType::kMdiChild, m_module, label_of(s, "VIEWWINDOW"), bindings);
    if (!w.open()) return ResponseCancelled;
    m_window = &w;
    restore_window_position(w, s.section);
    set_find_next(false);
    bool loaded = false;
    while (w.accept()) {
        const int e = w.event();
        const std::int32_t f = w.field();
        switch (e) {
            case ui::kEventOpenWindow:
                if (!w.accept_all() && !loaded) {
                    loaded = true;
                    refresh();
                }
                w.select(kViewList);
                continue;
            case ui::kEventGainFocus:
                if (loaded) refresh();
                continue;
            case ui::kEventRejected:
                pd::beep();
                w.display(f);
                continue;
            default: break;
        }
        if (e != ui::kEventAccepted) continue;
        switch (f) {
            case kViewPrint: print(); break;
            case kViewFind: find(); break;
            case kViewFindNext: search(); break;
            case kViewClose:
                m_own_response = ResponseCancelled;
                w.post(ui::kEventCloseWindow);
                break;
            default: break;
        }
    }
    if (w.is_open()) {
        save_window_position(w, s.section);
        w.close();
    }
    m_window = nullptr;
    return m_own_response;
}

void run_viewer(const ViewerSettings& settings) {
    PendingRequest = 0;
    LastResponse = 0;
    ViewerProcedure procedure(settings);
    // Close answers cancelled; the search dialog's last answer stands when the
    // window was closed another way.
    const std::int32_t response = procedure.run();
    LastResponse = response != 0 ? response : ResponseCancelled;
}

}  // namespace

void WhatsNew() { run_viewer(kWhatsNewViewer); }
void ReadMe() { run_viewer(kReadMeViewer); }

}  // namespace sk::app
