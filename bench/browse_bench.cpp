// The site browse over 100,000 sites on the headless display, driven as the
// user drives it: opening the window, Page Down, a thumb drag, a typed
// character that locates, a change of tab (sort order), the category order
// over a category of 1,000 sites, and the program's start to its first painted
// frame with the site list in it.
//
// Every case injects its input (a key, a click, mouse moves on the scroll bar)
// and ends when every program thread waits for input again with its windows
// painted. The sites live in real KSF files on disk, opened as the program
// opens them (shared read/write). The files are built once per run, outside the
// timing; with BROWSE_BENCH_DIR=dir they are kept in dir and reused by later
// runs.
//
// The start-up case runs the program's start path in a fresh process (this
// program started again with --start-up-child): the runtime locale, the engine,
// the globals and Main, until the frame and the site list Main opens are
// painted. The child reports its own times; the parent adds the time from the
// spawn.
//
// The procedure threads do the work, so the CPU column is the whole process's
// CPU time.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/dictionary.h"
#include "app/html_export.h"
#include "app/main_frame.h"
#include "app/procedures.h"
#include "app/window_positions.h"
#include "data/file_layer.h"
#include "platform/display/display.h"
#include "platform/display/headless.h"
#include "platform/display/scroll_bar.h"
#include "platform/display/window.h"
#include "platform/file.h"
#include "runtime/bind.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "runtime/locale.h"
#include "ui/controls/choice_controls.h"
#include "ui/controls/list_control.h"
#include "ui/controls/variable.h"
#include "ui/engine.h"
#include "ui/print_setup.h"
#include "ui/thread.h"
#include "ui/window.h"

extern char** environ;

namespace {

namespace sa = sk::app;
namespace sd = sk::data;
namespace ui = sk::ui;
namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;

constexpr int kSites = 100000;
constexpr int kCategories = 100;  // 1,000 sites each
// The site browse's controls.
constexpr std::int32_t kList = 1, kSheet = 2, kSelectCategory = 3;
// Its tabs: Description, Location, Category, Rating, Keyword.
constexpr int kTabDescription = 1, kTabLocation = 2, kTabCategory = 3;
constexpr int kGardening = 41;  // the category the Category tab shows: kTopics[41]

std::string g_dir;  // the data files; also the current directory

// ---------------------------------------------------------------------------
// The site file.

const char* const kWords[] = {
    "alpine", "amber", "anchor", "apple", "archive", "atlas", "aurora", "autumn", "badger", "bakery", "balance",
    "bamboo", "beacon", "birch", "bistro", "blossom", "bridge", "bronze", "cabin", "canyon", "capital", "cedar",
    "chapter", "circuit", "citadel", "clover", "cobalt", "comet", "compass", "copper", "coral", "cottage", "crystal",
    "daily", "delta", "desert", "digital", "domain", "dragon", "eagle", "echo", "ember", "empire", "falcon", "fern",
    "festival", "field", "forest", "fountain", "garden", "garnet", "glacier", "globe", "granite", "harbor", "harvest",
    "hazel", "horizon", "island", "ivory", "jasmine", "journal", "juniper", "kernel", "kingdom", "lagoon", "lantern",
    "legend", "library", "lotus", "magnet", "maple", "market", "meadow", "mercury", "meteor", "mirror", "mosaic",
    "nebula", "network", "north", "oasis", "ocean", "orbit", "orchard", "pacific", "paper", "pearl", "pepper",
    "pioneer", "planet", "prairie", "quartz", "radar", "rainbow", "raven", "river", "rocket", "saffron", "sapphire",
    "signal", "silver", "spark", "spruce", "summit", "sunset", "thunder", "timber", "tower", "valley", "velvet",
    "voyage", "willow", "winter", "zenith"};
constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];

const char* const kTopics[kCategories] = {
    "ANTIQUES", "ARCHITECTURE", "ART", "ASTRONOMY", "AUTOS", "AVIATION", "BANKING", "BIKES", "BIOLOGY", "BLOGS",
    "BOATING", "BOOKS", "BUSINESS", "CAMPING", "CAREERS", "CHEMISTRY", "CHESS", "CINEMA", "CLIMBING", "COMICS",
    "COMPUTERS", "COOKING", "CRAFTS", "CYCLING", "DANCE", "DESIGN", "DIY", "ECOLOGY", "ECONOMICS", "EDUCATION",
    "ELECTRONICS", "ENERGY", "FAMILY", "FASHION", "FINANCE", "FISHING", "FITNESS", "FOOD", "FOOTBALL", "FORUMS",
    "GAMES", "GARDENING", "GENEALOGY", "GEOGRAPHY", "GEOLOGY", "GOLF", "GOVERNMENT", "HEALTH", "HIKING", "HISTORY",
    "HOBBIES", "HOME", "HUMOR", "INSURANCE", "INTERNET", "JOBS", "KIDS", "LANGUAGES", "LAW", "LIBRARIES", "LINUX",
    "LITERATURE", "MAPS", "MATH", "MEDICINE", "MOVIES", "MUSEUMS", "MUSIC", "NEWS", "OUTDOORS", "PETS", "PHILOSOPHY",
    "PHOTOGRAPHY", "PHYSICS", "PODCASTS", "POETRY", "POLITICS", "PROGRAMMING", "PSYCHOLOGY", "RADIO", "RECIPES",
    "REFERENCE", "RELIGION", "RUNNING", "SAILING", "SCIENCE", "SECURITY", "SHOPPING", "SKIING", "SOCCER", "SOFTWARE",
    "SPACE", "SPORTS", "TENNIS", "THEATRE", "TRAINS", "TRAVEL", "TV", "WEATHER", "WRITING"};

std::string capitalised(const char* word) {
    std::string s = word;
    s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
}

// One site: a unique address of two words and a path, a description of three to
// six words, the category i % 100, a keyword, a rating from 0 to 10 and, for one
// site in five, a line of site information.
void make_site(int i, std::mt19937& rng) {
    auto word = [&] { return kWords[rng() % kWordCount]; };
    sa::clear_site_record();
    static const char* const kTlds[] = {"com", "org", "net", "edu", "info", "co.uk", "de", "io"};
    // One draw after the other, so that every build makes the same file.
    const char* host1 = word();
    const char* host2 = word();
    const char* tld = kTlds[rng() % 8];
    const char* folder = word();
    const char* page = word();
    char location[128];
    std::snprintf(location, sizeof location, "http://www.%s%s%d.%s/%s/%s.html", host1, host2, i, tld, folder, page);
    sa::set_fixed(sa::url_record.location, location);
    std::string description = capitalised(word());
    for (int n = 2 + int(rng() % 4); n > 0; --n) description += std::string(" ") + word();
    sa::set_fixed(sa::url_record.description, description);
    sa::set_fixed(sa::url_record.category, kTopics[i % kCategories]);
    sa::set_fixed(sa::url_record.keyword, std::string(word()).substr(0, 10));
    ui::set_variable_number(sk::rt::bound_decimal(sa::url_record.rating, 2, 0), double(rng() % 11));
    if (rng() % 5 == 0) {
        if (char* memo = sa::url_siteinfo_text()) {
            const std::string info = "Found through the " + std::string(word()) + " list; updated weekly.";
            std::memcpy(memo, info.data(), info.size());
        }
    }
}

[[noreturn]] void fail(const char* what, sd::FileControlBlock* f) {
    std::fprintf(stderr, "browse_bench: %s on %s failed (error %d)\n", what, f->name, sk::rt::error_code());
    std::exit(1);
}

// Whether the files of an earlier run open and hold every site and category.
bool files_complete() {
    bool complete = true;
    for (sd::FileControlBlock* f : {&sa::LINKDB, &sa::Categories}) {
        if (sd::open(f, 0x40) != 0) {
            complete = false;
            continue;
        }
        complete = complete && sd::records(f) == (f == &sa::LINKDB ? kSites : kCategories);
        sd::close(f);
    }
    sk::rt::clear_error();
    return complete;
}

void build_files() {
    if (files_complete()) return;
    std::fprintf(stderr, "browse_bench: building %d sites in %s\n", kSites, g_dir.c_str());
    const auto t0 = std::chrono::steady_clock::now();
    for (sd::FileControlBlock* f : {&sa::LINKDB, &sa::Categories}) {
        sd::remove(f);  // what a run that did not finish left
        if (sd::create(f) != 0) fail("CREATE", f);
        if (sd::open(f, 0x12) != 0) fail("OPEN", f);
        if (sd::logout(f) != 0) fail("LOGOUT", f);
    }
    // Added in their order, so that the n-th category of the select is kTopics[n].
    if (!std::is_sorted(std::begin(kTopics), std::end(kTopics),
                        [](const char* a, const char* b) { return std::strcmp(a, b) < 0; }))
        std::abort();
    for (const char* topic : kTopics) {
        sa::set_fixed(sa::cat_record.category, topic);
        if (sd::add(&sa::Categories) != 0) fail("ADD of a category", &sa::Categories);
    }
    std::mt19937 rng(20261209);
    for (int i = 0; i < kSites; ++i) {
        make_site(i, rng);
        if (sd::add(&sa::LINKDB) != 0) fail("ADD of a site", &sa::LINKDB);
    }
    // One transaction holds both files: one COMMIT ends it.
    if (sd::commit(&sa::LINKDB) != 0) fail("COMMIT", &sa::LINKDB);
    for (sd::FileControlBlock* f : {&sa::LINKDB, &sa::Categories}) {
        if (sd::close(f) != 0) fail("CLOSE", f);
    }
    std::fprintf(stderr, "browse_bench: built in %.2f s\n",
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
}

// ---------------------------------------------------------------------------
// Waiting for the program.

// Lets the program threads run until every one waits for input with nothing to
// deliver.
void idle() {
    ui::LockRelease unlocked;
    if (!hl::wait_until_idle(20000)) {
        std::fprintf(stderr, "browse_bench: the program did not come to rest\n");
        std::abort();
    }
}

// Lets the program run until done() holds and it is at rest.
template <typename Done>
void idle_until(Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        idle();
        if (done()) return;
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "browse_bench: timed out\n");
            std::abort();
        }
        // A thread just started has no queue yet and so looks idle: give it a moment.
        ui::LockRelease unlocked;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
}

ui::Window* site_browse() {
    ui::Window* f = ui::application_frame();
    return f != nullptr && !f->children().empty() ? f->children().front() : nullptr;
}
ui::ListControl* site_list() {
    ui::Window* w = site_browse();
    return w ? dynamic_cast<ui::ListControl*>(w->control(kList)) : nullptr;
}
bool list_shown() {
    ui::ListControl* l = site_list();
    return l != nullptr && l->row_count() > 0;
}

std::string first_cell(std::size_t column = 0) {
    ui::ListControl* l = site_list();
    if (l == nullptr || l->row_count() == 0) return "";
    std::string cell = l->rows().cell(1, column);
    cell.erase(cell.find_last_not_of(' ') + 1);
    return cell;
}

// ---------------------------------------------------------------------------
// The program in this process: the engine, the frame and one site browse.

std::vector<std::string> g_messages;

void frame_procedure() {
    ui::Window frame(ui::WindowType::kApplication, "LKDB32$lkdb3004", "MAIN$APPFRAME");
    if (frame.open()) {
        while (frame.accept()) {
        }
        if (frame.is_open()) frame.close();
    }
}

void start_program() {
    static bool started = false;
    if (started) return;
    started = true;
    if (!ui::initialise_engine()) {
        std::fprintf(stderr, "browse_bench: the display cannot be opened\n");
        std::exit(1);
    }
    sk::rt::set_message_presenter([](const sk::rt::MessageRequest& r) {
        g_messages.push_back(std::string(r.caption) + ": " + std::string(r.text));
        std::fprintf(stderr, "browse_bench: message %s\n", g_messages.back().c_str());
        return int(sk::rt::kButtonOk);
    });
    if (ui::start(frame_procedure, 50000) == 0) std::abort();
    idle_until([] { return ui::application_frame() != nullptr; });
}

void close_site_browse() {
    if (ui::Window* w = site_browse()) w->post(ui::kEventCloseWindow);
    idle_until([] { return site_browse() == nullptr; });
}

// START of the site browse as the menu's "Locations" does it, until its first page
// is shown.
void start_site_browse() {
    // The menu's stack size for the site list.
    if (ui::start(sa::BrowseLINKDB, 50000) == 0) std::abort();
    idle_until(list_shown);
}

// The site browse, opened unless it is.
void open_site_browse() {
    start_program();
    if (site_browse() == nullptr) start_site_browse();
}

// A click, well after the one before: the virtual clock stands still otherwise,
// and two clicks on one spot would make a double click.
void click(pd::Point at) {
    {
        ui::LockRelease unlocked;
        hl::advance_clock(1000);
    }
    hl::click(at);
}

pd::Point centre(pd::WindowId w) {
    const pd::Rect r = pd::screen_rect(w);
    return pd::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

int tab() {
    return std::atoi(site_browse()->property(kSheet, 31887).c_str());
}

// Clicks tab n (from 1) of the site browse's sheet.
void click_tab(int n) {
    auto* sheet = dynamic_cast<ui::SheetControl*>(site_browse()->control(kSheet));
    if (sheet == nullptr) std::abort();
    const pd::Rect t = sheet->tab_rect(std::size_t(n - 1));
    click(pd::client_to_screen(sheet->window(), pd::Point{(t.left + t.right) / 2, (t.top + t.bottom) / 2}));
}

void choose_tab(int n) {
    if (tab() == n) return;
    click_tab(n);
    idle();
    if (tab() != n) {
        std::fprintf(stderr, "browse_bench: tab %d asked, tab %d shown\n", n, tab());
        std::abort();
    }
}

// The list to the top of the current order, focused.
void to_top() {
    click(centre(site_list()->window()));
    hl::press_key(pd::kVkHome);
    idle();
}

// Opens "Select a Category" from the Category tab and highlights the category
// that sorts at position index (from 0); Enter then chooses it.
void highlight_in_category_select(int index) {
    click(centre(site_browse()->control(kSelectCategory)->window()));
    idle_until([] { return hl::find_window_by_text("Select a Category") != 0; });
    hl::press_key(pd::kVkHome);
    for (int i = 0; i < index; ++i) hl::press_key(pd::kVkDown);
}

// The site browse, opened unless it is, at the top of tab n's order.
void open_at_top(int n) {
    open_site_browse();
    choose_tab(n);
    to_top();
}

// Chooses the category that sorts at position index (from 0) through "Select
// Category", on the Category tab.
void select_category(int index) {
    if (tab() == kTabCategory && sa::fixed_text(sa::cat_record.category) == kTopics[index]) return;
    choose_tab(kTabCategory);
    highlight_in_category_select(index);
    hl::press_key(pd::kVkReturn);
    idle();
}

// The page size in the results; with BROWSE_BENCH_SHOTS=dir the screen as the
// case left it is written to dir/<case>.png, to look at.
void report_rows(benchmark::State& state, const char* name) {
    state.counters["rows_per_page"] = site_list()->rows_per_page();
    if (const char* shots = std::getenv("BROWSE_BENCH_SHOTS")) {
        const std::string file = std::string(shots) + "/" + name + ".png";
        hl::save_screenshot(file);
    }
    if (!g_messages.empty()) state.SkipWithError(g_messages.front().c_str());
}

// ---------------------------------------------------------------------------
// Start-up in a fresh process.

// The start-up child's report: a descriptor number well above any the start
// path opens.
constexpr int kReportFd = 100;

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The child: the start path of the program's main, with Main on a procedure
// thread of its own so that this thread can watch for the first painted frame.
// Writes "wall cpu" in seconds to kReportFd (the parent's pipe) and ends at once.
[[noreturn]] void start_up_child() {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = cpu_seconds();
    sk::rt::init_runtime_locale(sk::platform::program_path());
    sk::ui::keep_print_setup_in(sa::kPositionsFile);
    if (!ui::initialise_engine()) _exit(2);
    sa::start_program_globals();
    if (ui::start(sa::Main, 50000) == 0) _exit(3);
    idle_until(list_shown);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpu_seconds() - c0;
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%.6f %.6f\n", wall, cpu);
    if (write(kReportFd, line, std::size_t(n)) != n) _exit(4);
    _exit(0);
}

void BM_StartUpToFirstPaint(benchmark::State& state) {
    const std::string self = sk::platform::program_path();
    const std::string config = g_dir + "/start-up-config";
    std::filesystem::create_directories(config);
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view v = *e;
        if (v.starts_with("XDG_CONFIG_HOME=") || v.starts_with("SITEKEEPER_DISPLAY=") || v.starts_with("BROWSE_BENCH_DIR="))
            continue;
        env_text.emplace_back(v);
    }
    env_text.push_back("XDG_CONFIG_HOME=" + config);
    env_text.push_back("BROWSE_BENCH_DIR=" + g_dir);
    env_text.push_back("SITEKEEPER_DISPLAY=headless");
    std::vector<char*> envp;
    for (std::string& s : env_text) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string arg0 = self, arg1 = "--start-up-child";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    double in_process_cpu = 0, in_process_wall = 0, slowest_ms = 0;
    for (auto _ : state) {
        // Both ends close on exec; the child gets the write end as kReportFd alone.
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], kReportFd);
        const auto t0 = std::chrono::steady_clock::now();
        pid_t child = 0;
        if (posix_spawn(&child, self.c_str(), &actions, nullptr, argv, envp.data()) != 0) std::abort();
        close(fds[1]);
        char line[64] = {};
        const ssize_t got = read(fds[0], line, sizeof line - 1);
        const double spawned = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
        double wall = 0, cpu = 0;
        if (got <= 0 || std::sscanf(line, "%lf %lf", &wall, &cpu) != 2 || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError("the start-up child failed");
            break;
        }
        state.SetIterationTime(wall);
        slowest_ms = std::max(slowest_ms, wall * 1000);
        in_process_wall += wall;
        in_process_cpu += cpu;
        state.counters["from_spawn_ms"] += spawned * 1000;
    }
    const double n = double(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["from_spawn_ms"] = state.counters["from_spawn_ms"] / n;
    state.counters["start_path_cpu_ms"] = in_process_cpu / n * 1000;
    state.counters["start_path_wall_ms"] = in_process_wall / n * 1000;
    state.counters["slowest_ms"] = slowest_ms;
}
BENCHMARK(BM_StartUpToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// ---------------------------------------------------------------------------
// The cases.

// A case the program's threads do the work of: the whole process's CPU time, in
// milliseconds, over a fixed number of iterations.
#define PROGRAM_CASE(name, iterations) \
    BENCHMARK(name)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(iterations)

// The slowest of a case's timed stretches, beside the means the library
// reports: a keystroke that comes late is felt even when the mean is low. Wall
// time, and the process's CPU time, which tells work from waiting for a core on
// a loaded machine.
class Slowest {
public:
    void start() {
        m_start = std::chrono::steady_clock::now();
        m_start_cpu = cpu_seconds();
    }
    void stop() {
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count();
        m_slowest = std::max(m_slowest, ms);
        m_slowest_cpu = std::max(m_slowest_cpu, (cpu_seconds() - m_start_cpu) * 1000);
    }
    void report(benchmark::State& state) const {
        state.counters["slowest_ms"] = m_slowest;
        state.counters["slowest_cpu_ms"] = m_slowest_cpu;
    }

private:
    std::chrono::steady_clock::time_point m_start;
    double m_start_cpu = 0;
    double m_slowest = 0;
    double m_slowest_cpu = 0;
};

// Times one press of key an iteration, until the program is at rest again.
void time_key_presses(benchmark::State& state, std::uint32_t key) {
    Slowest slowest;
    for (auto _ : state) {
        slowest.start();
        hl::press_key(key);
        idle();
        slowest.stop();
    }
    slowest.report(state);
}

// Times a click on tab `to` an iteration, each from tab `from` (chosen outside
// the timing), until the page in the new order is shown.
void time_tab_clicks(benchmark::State& state, int from, int to) {
    Slowest slowest;
    for (auto _ : state) {
        state.PauseTiming();
        choose_tab(from);
        state.ResumeTiming();
        slowest.start();
        click_tab(to);
        idle();
        slowest.stop();
    }
    slowest.report(state);
}

// From START of the site browse (the menu's "Locations") to its first page shown.
// The window closes again outside the timing, and with it the site file: every
// iteration opens the file as the first browse does.
void BM_OpenSiteList(benchmark::State& state) {
    start_program();
    close_site_browse();
    Slowest slowest;
    for (auto _ : state) {
        slowest.start();
        start_site_browse();
        slowest.stop();
        state.PauseTiming();
        report_rows(state, "OpenSiteList");
        close_site_browse();
        state.ResumeTiming();
    }
    slowest.report(state);
}
PROGRAM_CASE(BM_OpenSiteList, 20);

// Page Down in the description order, from the top down: 400 pages.
void BM_PageDown(benchmark::State& state) {
    open_at_top(kTabDescription);
    const std::string top = first_cell();
    time_key_presses(state, pd::kVkNext);
    if (first_cell() == top) state.SkipWithError("Page Down did not move the page");
    report_rows(state, "PageDown");
}
PROGRAM_CASE(BM_PageDown, 400);

// Page Up from 400 pages down.
void BM_PageUp(benchmark::State& state) {
    open_at_top(kTabDescription);
    for (int i = 0; i < 400; ++i) hl::press_key(pd::kVkNext);
    idle();
    const std::string before = first_cell();
    time_key_presses(state, pd::kVkPrior);
    if (first_cell() == before) state.SkipWithError("Page Up did not move the page");
    report_rows(state, "PageUp");
}
PROGRAM_CASE(BM_PageUp, 200);

// A thumb drag in the description order: the press on the thumb and one move to
// a position from 5 to 95, until the page at that position is shown. The release
// comes after the timing.
void BM_ThumbDrag(benchmark::State& state) {
    open_at_top(kTabDescription);
    const pd::WindowId list = site_list()->window();
    int target = 5;
    int moved = 0;
    Slowest slowest;
    for (auto _ : state) {
        state.PauseTiming();
        // The vertical bar lies right of the client area: an arrow at each end,
        // a square thumb between.
        const pd::Point origin = pd::client_to_screen(list, pd::Point{0, 0});
        const pd::Rect client = pd::client_rect(list);
        const int width = pd::screen_metrics().scroll_bar_width;
        int minimum = 0, maximum = 100;
        pd::scroll_range(list, pd::ScrollBarKind::kVertical, &minimum, &maximum);
        const int position = pd::scroll_position(list, pd::ScrollBarKind::kVertical);
        const int travel = client.height() - 3 * width;
        const int span = std::max(1, maximum - minimum);
        const int x = origin.x + client.width() + width / 2;
        const int thumb_y = origin.y + width + travel * (position - minimum) / span + width / 2;
        const int target_y = thumb_y + travel * (target - position) / span;
        const std::string before = first_cell();
        {
            ui::LockRelease unlocked;
            hl::advance_clock(1000);
        }
        state.ResumeTiming();
        slowest.start();
        hl::mouse_down(pd::Point{x, thumb_y});
        hl::mouse_move(pd::Point{x, target_y});
        idle();
        slowest.stop();
        state.PauseTiming();
        hl::mouse_up(pd::Point{x, target_y});
        idle();
        if (first_cell() != before) ++moved;
        target = target >= 95 ? 5 : target + 10;
        state.ResumeTiming();
    }
    slowest.report(state);
    state.counters["pages_moved"] = moved;
    if (moved == 0) state.SkipWithError("the drags moved no page");
    report_rows(state, "ThumbDrag");
}
PROGRAM_CASE(BM_ThumbDrag, 100);

// A typed character in the description order: the page locates to the first
// description starting with it (the letters a to z in turn).
void BM_LocateCharacter(benchmark::State& state) {
    open_at_top(kTabDescription);
    char c = 'a';
    int matched = 0, iterations = 0;
    Slowest slowest;
    for (auto _ : state) {
        slowest.start();
        hl::type_text(std::string(1, c));
        idle();
        slowest.stop();
        state.PauseTiming();
        ++iterations;
        const std::string selected = [] {
            ui::ListControl* l = site_list();
            std::string s = l->rows().cell(l->selected(), 0);
            return s;
        }();
        if (!selected.empty() && (selected[0] | 0x20) >= c) ++matched;
        c = c == 'z' ? 'a' : char(c + 1);
        state.ResumeTiming();
    }
    slowest.report(state);
    if (matched != iterations) state.SkipWithError("a locate missed its letter");
    report_rows(state, "LocateCharacter");
}
PROGRAM_CASE(BM_LocateCharacter, 104);

// A click on tab n from the Description tab (from the Location tab for n = 1):
// the page shown in the new order around the highlighted site.
void BM_SwitchTab(benchmark::State& state) {
    open_site_browse();
    const int n = int(state.range(0));
    if (n == kTabCategory) select_category(kGardening);
    time_tab_clicks(state, n == kTabDescription ? kTabLocation : kTabDescription, n);
    if (tab() != n) state.SkipWithError("the tab did not change");
    report_rows(state, ("SwitchTab-" + std::to_string(n)).c_str());
}
PROGRAM_CASE(BM_SwitchTab, 40)->ArgName("tab")->DenseRange(1, 5);

// The Category tab over a category of 1,000 sites: a click on it from the
// Description tab, until the page of the category's sites is shown.
void BM_CategoryTab(benchmark::State& state) {
    open_site_browse();
    select_category(kGardening);
    const std::string category = sa::fixed_text(sa::cat_record.category);
    time_tab_clicks(state, kTabDescription, kTabCategory);
    if (tab() != kTabCategory || first_cell(2) != category)
        state.SkipWithError(("the page is not the category's: " + first_cell(2)).c_str());
    state.SetLabel(category);
    report_rows(state, "CategoryTab");
}
PROGRAM_CASE(BM_CategoryTab, 40);

// The choice of another category on the Category tab: Enter in "Select a
// Category" until the browse shows the chosen category's sites (every seventh
// category in turn; the select is opened and moved outside the timing).
void BM_CategoryChoice(benchmark::State& state) {
    open_site_browse();
    choose_tab(kTabCategory);
    int index = 0;
    int right = 0, iterations = 0;
    Slowest slowest;
    for (auto _ : state) {
        state.PauseTiming();
        highlight_in_category_select(index);
        idle();
        state.ResumeTiming();
        slowest.start();
        hl::press_key(pd::kVkReturn);
        idle();
        slowest.stop();
        state.PauseTiming();
        ++iterations;
        if (first_cell(2) == kTopics[index]) ++right;
        index = (index + 7) % kCategories;
        state.ResumeTiming();
    }
    slowest.report(state);
    if (right != iterations) state.SkipWithError("a choice did not show its category");
    report_rows(state, "CategoryChoice");
}
PROGRAM_CASE(BM_CategoryChoice, 20);

// Page Down in the Category tab within one category.
void BM_CategoryPageDown(benchmark::State& state) {
    open_site_browse();
    select_category(kGardening);
    to_top();
    time_key_presses(state, pd::kVkNext);
    if (first_cell(2) != kTopics[kGardening]) state.SkipWithError("the page left the category");
    report_rows(state, "CategoryPageDown");
}
PROGRAM_CASE(BM_CategoryPageDown, 20);

}  // namespace

int main(int argc, char** argv) {
    const char* kept = std::getenv("BROWSE_BENCH_DIR");
    std::string made;
    if (kept != nullptr) {
        g_dir = kept;
        std::filesystem::create_directories(g_dir);
    } else {
        char pattern[] = "/tmp/browse-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return 1;
        g_dir = made = pattern;
    }
    g_dir = std::filesystem::absolute(g_dir).string();
    if (!sk::platform::set_current_directory(g_dir)) return 1;
    if (argc == 2 && std::strcmp(argv[1], "--start-up-child") == 0) start_up_child();

    ::setenv("SITEKEEPER_DISPLAY", "headless", 1);
    // Every run starts without saved window positions.
    const std::string config = g_dir + "/config";
    std::filesystem::remove_all(config);
    std::filesystem::create_directories(config);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    sk::rt::set_runtime_errors_fatal(false);
    sa::start_program_globals();
    build_files();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The program's threads are left running: the process ends here.
    std::fflush(nullptr);
    if (!made.empty()) std::filesystem::remove_all(made);
    _exit(0);
}
