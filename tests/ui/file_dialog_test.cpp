// The file dialog: filters and patterns, the listing, typed names and the folder
// rules, and the dialog itself answered by keyboard (screenshot in
// /tmp/engine-file-dialog.png).
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
    std::string saved_cwd;
    fs::path root;
};

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

}  // namespace
}  // namespace sk::ui
