// The file dialog: filters and patterns, the listing, typed names and the folder
// rules, and the dialog itself answered by keyboard and mouse: the name field's
// editing and scrolling, Tab order, underlined letters and the type drop-down
// (screenshots in /tmp/engine-file-dialog*.png).
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine_test_support.h"
#include "platform/file.h"
#include "ui/file_dialog.h"

namespace sk::ui {
namespace {

using test::EngineTest;
namespace fs = std::filesystem;
namespace pd = sk::platform::display;
namespace hl = sk::platform::display::headless;

class FileDialogTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        saved_cwd = sk::platform::current_directory();
        root = fs::temp_directory_path() / ("sk-file-dialog-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "sub");
        for (const char* f : {"a.htm", "b.HTML", "c.txt", "README"}) std::ofstream(root / f) << "x";
        std::ofstream(root / "sub" / "old.htm") << "x";
        sk::platform::set_current_directory(root.string());
    }
    void TearDown() override {
        sk::platform::set_current_directory(saved_cwd);
        fs::remove_all(root);
        EngineTest::TearDown();
    }
    static std::vector<std::string> names(const FileDialogModel& m) {
        std::vector<std::string> out;
        for (const auto& e : m.entries()) out.push_back(e.is_directory ? "[" + e.name + "]" : e.name);
        return out;
    }
    // Opens the dialog on a procedure thread of its own; finish() confirms it.
    void open_dialog(const std::string& title, const std::string& filter, std::uint32_t flags,
                     const std::string& proposed) {
        chosen = proposed;
        answer = -1;
        start([this, title, filter, flags] { answer = file_dialog(title, filter, flags, chosen) ? 1 : 0; });
        ASSERT_TRUE(wait_until([&] { return hl::find_window_by_text(title) != 0; }));
        dialog = hl::find_window_by_text(title);
    }
    // Enter, and the path the dialog gave (empty when it gave none).
    std::string finish() {
        hl::press_key(pd::kVkReturn);
        EXPECT_TRUE(wait_for_threads());
        return answer.load() == 1 ? chosen : std::string();
    }
    void keys(std::initializer_list<std::uint32_t> vks, std::uint32_t modifiers = 0) {
        for (std::uint32_t vk : vks) hl::press_key(vk, modifiers);
    }
    // A point of the dialog's client area on the screen.
    pd::Point at(int x, int y) const {
        const pd::Point o = pd::client_to_screen(dialog, pd::Point{0, 0});
        return pd::Point{o.x + x, o.y + y};
    }
    // Pixels in a band of the dialog's client that are not colour c.
    int pixels_other_than(pd::Color c, int x0, int x1, int y0, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += hl::screen_pixel(at(x, y)) != c;
        return n;
    }
    std::string path(const char* name) const { return (root / name).string(); }

    std::string saved_cwd;
    fs::path root;
    std::string chosen;
    std::atomic<int> answer{-1};
    pd::WindowId dialog = 0;
};

// Where the dialog draws its name field and type box (client pixels).
constexpr int kNameLeft = 90, kNameRight = 320, kNameTop = 206, kNameBottom = 226;
constexpr int kTypeTop = 234, kTypeBottom = 254;
constexpr int kOkLeft = 330;

TEST_F(FileDialogTest, FiltersAndPatterns) {
    auto empty = parse_file_filter("");
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].description, "All Files (*.*)");
    EXPECT_EQ(empty[0].patterns, std::vector<std::string>{"*.*"});
    auto two = parse_file_filter("HTML files|*.htm;*.html|Text|*.txt");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].patterns, (std::vector<std::string>{"*.htm", "*.html"}));
    EXPECT_EQ(two[1].description, "Text");

    EXPECT_TRUE(matches_pattern("*.*", "README"));
    EXPECT_TRUE(matches_pattern("*.htm", "INDEX.HTM"));
    EXPECT_FALSE(matches_pattern("*.htm", "index.html"));
    EXPECT_TRUE(matches_pattern("b?.txt", "b1.txt"));
    EXPECT_FALSE(matches_pattern("b?.txt", "b12.txt"));
    EXPECT_TRUE(matches_pattern("read*.*", "readme"));

    EXPECT_TRUE(valid_file_name("bookmark.htm"));
    EXPECT_FALSE(valid_file_name("what?.htm"));
    EXPECT_FALSE(valid_file_name(""));
    EXPECT_FALSE(valid_file_name(std::string(300, 'a')));
}

TEST_F(FileDialogTest, ListingShowsFoldersFirstAndTheFilteredFiles) {
    FileDialogModel m(false, "HTML|*.htm;*.html|All|*.*", "");
    EXPECT_EQ(m.directory(), root.string());
    EXPECT_EQ(names(m), (std::vector<std::string>{"[..]", "[sub]", "a.htm", "b.HTML"}));
    m.set_filter(1);
    EXPECT_EQ(names(m), (std::vector<std::string>{"[..]", "[sub]", "a.htm", "b.HTML", "c.txt", "README"}));
    // A wildcard typed in the name field becomes the filter.
    m.typed = "*.txt";
    EXPECT_EQ(m.submit(), FileDialogModel::Outcome::kStay);
    EXPECT_EQ(names(m), (std::vector<std::string>{"[..]", "[sub]", "c.txt"}));
    EXPECT_TRUE(m.typed.empty());
}

TEST_F(FileDialogTest, TypedNamesEnterFoldersAndChooseFiles) {
    FileDialogModel open(false, "", "c.txt");
    EXPECT_EQ(open.typed, "c.txt");
    open.typed = "sub";
    EXPECT_EQ(open.submit(), FileDialogModel::Outcome::kStay);
    EXPECT_EQ(open.directory(), (root / "sub").string());
    open.typed = "missing.htm";
    EXPECT_EQ(open.submit(), FileDialogModel::Outcome::kError);
    EXPECT_NE(open.message().find("File not found"), std::string::npos);
    open.typed = "../nowhere/x.htm";
    EXPECT_EQ(open.submit(), FileDialogModel::Outcome::kError);
    open.typed = "old.htm";
    EXPECT_EQ(open.submit(), FileDialogModel::Outcome::kConfirm);
    EXPECT_EQ(open.result(), (root / "sub" / "old.htm").string());
    // Nothing moved the process's folder yet.
    EXPECT_EQ(sk::platform::current_directory(), root.string());
    open.apply_directory();
    EXPECT_EQ(sk::platform::current_directory(), (root / "sub").string());

    sk::platform::set_current_directory(root.string());
    FileDialogModel save(true, "", "a.htm");
    EXPECT_EQ(save.submit(), FileDialogModel::Outcome::kAskOverwrite);
    save.confirm_overwrite();
    EXPECT_EQ(save.submit(), FileDialogModel::Outcome::kConfirm);
    save.typed = "new.htm";
    EXPECT_EQ(save.submit(), FileDialogModel::Outcome::kConfirm);

    // A proposed name the system would not take is dropped.
    FileDialogModel bad(false, "", "bad|name");
    EXPECT_TRUE(bad.typed.empty());
}

TEST_F(FileDialogTest, DialogConfirmsATypedNameAndCancelKeepsTheVariable) {
    std::string chosen = "bookmark.htm";
    std::atomic<int> answer{-1};
    start([&] { answer = file_dialog("Export to", "HTML|*.htm|All Files|*.*", kFileDialogSave, chosen) ? 1 : 0; });
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("Export to") != 0; }));
    ASSERT_TRUE(hl::save_screenshot("/tmp/engine-file-dialog.png"));
    for (int i = 0; i < 12; ++i) hl::press_key(pd::kVkBack);
    hl::type_text("sub/fresh.htm");
    hl::press_key(pd::kVkReturn);
    ASSERT_TRUE(wait_for_threads());
    EXPECT_EQ(answer.load(), 1);
    EXPECT_EQ(chosen, (root / "sub" / "fresh.htm").string());
    EXPECT_EQ(sk::platform::current_directory(), (root / "sub").string());

    char variable[20];
    std::memset(variable, ' ', sizeof variable);
    std::memcpy(variable, "keep.htm", 8);
    start([&] { answer = file_dialog("", "", 0, variable, sizeof variable) ? 1 : 0; });
    ASSERT_TRUE(wait_until([] { return hl::find_window_by_text("Open") != 0; }));
    hl::press_key(pd::kVkEscape);
    ASSERT_TRUE(wait_for_threads());
    EXPECT_EQ(answer.load(), 0);
    EXPECT_EQ(std::string(variable, 8), "keep.htm");
}

TEST_F(FileDialogTest, TypingReplacesTheNameWheneverTheFieldIsEntered) {
    // Opened: the proposed name is selected.
    open_dialog("Export to", "", kFileDialogSave, "bookmark.htm");
    hl::type_text("x.htm");
    EXPECT_EQ(finish(), path("x.htm"));

    // Entered again by Tab (round the dialog from the field) and by its mnemonic.
    open_dialog("Export to", "", kFileDialogSave, "bookmark.htm");
    hl::type_text("first");
    keys({pd::kVkTab, pd::kVkTab, pd::kVkTab, pd::kVkTab, pd::kVkTab});
    hl::type_text("tabbed");
    keys({pd::kVkTab});
    hl::press_key('N', pd::kModAlt);
    hl::type_text("second.htm");
    EXPECT_EQ(finish(), path("second.htm"));

    // Backwards too; a click in the field only places the caret.
    open_dialog("Export to", "", kFileDialogSave, "bookmark.htm");
    keys({pd::kVkTab, pd::kVkTab});
    hl::press_key(pd::kVkTab, pd::kModShift);
    hl::press_key(pd::kVkTab, pd::kModShift);
    hl::type_text("back");
    hl::click(at(kNameRight - 8, (kNameTop + kNameBottom) / 2));
    hl::type_text(".htm");
    EXPECT_EQ(finish(), path("back.htm"));
}

TEST_F(FileDialogTest, NameFieldEditsAtTheCaret) {
    open_dialog("Export to", "", kFileDialogSave, "bookmark.htm");
    keys({pd::kVkEnd, pd::kVkLeft, pd::kVkLeft, pd::kVkLeft, pd::kVkLeft});
    hl::type_text("s");  // bookmarks.htm
    keys({pd::kVkHome, pd::kVkDelete});
    hl::type_text("B");  // Bookmarks.htm
    // Shift+Left over "htm" and copy it.
    keys({pd::kVkEnd});
    keys({pd::kVkLeft, pd::kVkLeft, pd::kVkLeft}, pd::kModShift);
    hl::press_key('C', pd::kModControl);
    settle();
    EXPECT_EQ(pd::clipboard_text(), "htm");
    hl::type_text("txt");  // the selection is replaced: Bookmarks.txt
    // Ctrl+Left to the word before, Backspace at the caret.
    hl::press_key(pd::kVkLeft, pd::kModControl);
    keys({pd::kVkBack});  // Bookmarkstxt
    hl::type_text(".");
    // Cut all, paste twice: the field holds the text twice.
    hl::press_key('A', pd::kModControl);
    hl::press_key('X', pd::kModControl);
    settle();
    EXPECT_EQ(pd::clipboard_text(), "Bookmarks.txt");
    hl::press_key('V', pd::kModControl);
    hl::type_text("-");
    hl::press_key('V', pd::kModControl);
    keys({pd::kVkHome, pd::kVkRight});
    keys({pd::kVkEnd}, pd::kModShift);
    keys({pd::kVkDelete});
    hl::type_text("2.htm");
    EXPECT_EQ(finish(), path("B2.htm"));
}

TEST_F(FileDialogTest, LongNameScrollsInsideTheField) {
    open_dialog("Export to", "", kFileDialogSave, "bookmark.htm");
    const std::string long_name = "a-rather-long-file-name-for-the-bookmarks-of-every-site-kept.htm";
    hl::type_text(long_name);
    settle();
    ASSERT_TRUE(hl::save_screenshot("/tmp/engine-file-dialog-long-name.png"));
    const pd::Color face = pd::system_color(pd::SystemColor::kButtonFace);
    const pd::Color white = pd::system_color(pd::SystemColor::kWindow);
    // Nothing of the text or the caret outside the field, and its end in view.
    EXPECT_EQ(pixels_other_than(face, kNameRight, kOkLeft, kNameTop, kNameBottom), 0);
    EXPECT_GT(pixels_other_than(white, kNameRight - 24, kNameRight - 2, kNameTop + 3, kNameBottom - 3), 0);
    // Home brings the start back: the first letters sit at the field's left.
    const int before = pixels_other_than(white, kNameLeft + 3, kNameLeft + 30, kNameTop + 3, kNameBottom - 3);
    keys({pd::kVkHome});
    settle();
    const int after = pixels_other_than(white, kNameLeft + 3, kNameLeft + 30, kNameTop + 3, kNameBottom - 3);
    EXPECT_NE(before, after);
    EXPECT_EQ(pixels_other_than(face, kNameRight, kOkLeft, kNameTop, kNameBottom), 0);
    EXPECT_EQ(finish(), path(long_name.c_str()));
}

TEST_F(FileDialogTest, MnemonicsAndTheFilesOfTypeDropDown) {
    const std::string filter = "HTML|*.htm;*.html|Text|*.txt|All Files|*.*";
    // From the type box: Tab, Tab to Cancel, Tab to the list; End picks its last file.
    const auto last_listed = [&] {
        keys({pd::kVkTab, pd::kVkTab, pd::kVkTab, pd::kVkEnd});
        return finish();
    };
    // Alt+T, then Down: the next filter at once.
    open_dialog("Select File", filter, 0, "");
    hl::press_key('T', pd::kModAlt);
    keys({pd::kVkDown});
    EXPECT_EQ(last_listed(), path("c.txt"));

    // Alt+Down drops the list; Escape closes it and keeps the filter.
    open_dialog("Select File", filter, 0, "");
    hl::press_key('T', pd::kModAlt);
    hl::press_key(pd::kVkDown, pd::kModAlt);
    settle();
    const pd::Point below = at(150, kTypeBottom + 6);
    ASSERT_NE(hl::window_at(below), dialog);  // the drop-down's popup over the dialog
    ASSERT_TRUE(hl::save_screenshot("/tmp/engine-file-dialog-types.png"));
    keys({pd::kVkDown, pd::kVkDown, pd::kVkEscape});
    settle();
    EXPECT_EQ(hl::window_at(below), dialog);
    EXPECT_EQ(last_listed(), path("b.HTML"));

    // F4 drops it; Down and Enter choose; the mouse picks a row of the popup.
    open_dialog("Select File", filter, 0, "");
    hl::press_key('T', pd::kModAlt);
    keys({pd::kVkF1 + 3, pd::kVkDown, pd::kVkReturn});
    settle();
    EXPECT_EQ(hl::window_at(below), dialog);
    hl::click(at(150, (kTypeTop + kTypeBottom) / 2));
    settle();
    const pd::Rect popup = pd::screen_rect(hl::window_at(below));
    const int row = (popup.height() - 2) / 3;
    hl::click(pd::Point{popup.left + 20, popup.top + 1 + row * 2 + row / 2});  // "All Files"
    EXPECT_EQ(last_listed(), path("README"));

    // The button's letter presses it: Alt+O opens the name typed after Alt+N.
    open_dialog("Select File", filter, 0, "");
    hl::press_key('T', pd::kModAlt);
    hl::press_key('N', pd::kModAlt);
    hl::type_text("a.htm");
    hl::press_key('O', pd::kModAlt);
    EXPECT_TRUE(wait_for_threads());
    EXPECT_EQ(answer.load(), 1);
    EXPECT_EQ(chosen, path("a.htm"));
}

}  // namespace
}  // namespace sk::ui
