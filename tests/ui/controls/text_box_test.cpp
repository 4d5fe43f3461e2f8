// The multi-line text box: lines wrapped at words to the box's width, and the
// caret, the keys and scrolling over the wrapped lines.
#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "runtime/bind.h"
#include "ui/controls/edit_variants.h"

using namespace sk::ui;
using namespace sk::ui::testing;
namespace d = sk::platform::display;
namespace rt = sk::rt;

namespace {

class TextBox : public ControlWindow {
protected:
    TextControl& box(std::string_view initial, PixelRect r, std::size_t size = 200) {
        memo.assign(size, ' ');
        std::memcpy(memo.data(), initial.data(), std::min(initial.size(), size));
        variable = rt::bound_string(memo.data(), static_cast<std::uint32_t>(size));
        definition.kind = kKindText;
        definition.field = 4;
        definition.binding = Binding{18};
        auto& c = add(create_control(host, definition, {&variable, 18}, {}, r));
        pump();
        return dynamic_cast<TextControl&>(c);
    }
    // The shown text of each line.
    static std::vector<std::string> shown(const TextControl& t) {
        std::vector<std::string> out;
        for (const auto& l : t.lines()) out.push_back(t.text().substr(l.start, l.end - l.start));
        return out;
    }
    int line_height() const { return host.font->metrics().height; }

    std::string memo;
    rt::BoundVariable variable;
    ControlDefinition definition;
};

}  // namespace

TEST_F(TextBox, LinesBreakAtWordsAndLongWordsBetweenCharacters) {
    const std::string words = "the quick brown fox jumps over the lazy dog";
    const std::string long_word = "abcdefghijklmnopqrstuvwxyzabcdefghijklmnop";
    TextControl& t = box(words + " " + long_word + "\r\nend", {10, 10, 130, 200});
    const int width = t.wrap_width();
    const auto& ls = t.lines();
    ASSERT_GT(ls.size(), 4u);
    for (std::size_t i = 0; i < ls.size(); ++i) {
        const std::string line = t.text().substr(ls[i].start, ls[i].end - ls[i].start);
        EXPECT_LE(host.font->text_width(line), width) << line;
        if (!ls[i].soft) continue;
        const std::size_t next = ls[i + 1].start;
        const bool inside_long_word = ls[i].start >= words.size() + 1 && next <= words.size() + 1 + long_word.size();
        if (inside_long_word) {
            // A word wider than the box breaks between characters, swallowing nothing.
            EXPECT_EQ(ls[i].end, next);
            EXPECT_FALSE(line.empty());
        } else {
            // A break at a word swallows its spaces and never splits a word.
            EXPECT_LT(ls[i].end, next) << line;
            EXPECT_EQ(t.text().substr(ls[i].end, next - ls[i].end).find_first_not_of(' '), std::string::npos);
        }
        EXPECT_NE(line.back(), ' ');
    }
    // The last line is the hard line after the break, and the lines cover the text.
    EXPECT_EQ(shown(t).back(), "end");
    EXPECT_FALSE(ls.back().soft);
    // Wrapping is only shown: the stored text keeps exactly its own line breaks.
    EXPECT_TRUE(t.accept());
    t.focus();
    pump();
    type("!");
    EXPECT_TRUE(t.accept());
    EXPECT_EQ(memo.substr(0, t.text().size()), t.text());
    EXPECT_EQ(t.text().find('\n'), t.text().rfind('\n'));
}

TEST_F(TextBox, CaretKeysFollowTheWrappedLines) {
    TextControl& t = box("aaa bbb ccc ddd eee fff ggg hhh", {10, 10, 10 + 6 + host.font->text_width("aaa bbb") + 2, 200});
    ASSERT_EQ(shown(t), (std::vector<std::string>{"aaa bbb", "ccc ddd", "eee fff", "ggg hhh"}));
    ASSERT_TRUE(d::headless::save_screenshot("/tmp/controls-text.png"));
    t.focus();
    pump();
    key(d::kVkHome, d::kModControl);
    EXPECT_EQ(t.caret(), 0u);
    // End stays on its line, before the space the break swallowed.
    key(d::kVkEnd);
    EXPECT_EQ(t.caret(), 7u);
    EXPECT_EQ(t.line_of(t.caret()), 0u);
    EXPECT_EQ(t.caret_point(t.caret()).y, t.caret_point(0).y);
    // Right over the swallowed space reaches the start of the next shown line.
    key(d::kVkRight);
    EXPECT_EQ(t.caret(), 8u);
    EXPECT_EQ(t.line_of(8), 1u);
    EXPECT_EQ(t.caret_point(8).x, t.caret_point(0).x);
    EXPECT_EQ(t.caret_point(8).y, t.caret_point(0).y + line_height());
    // Up and Down keep the column on wrapped lines.
    key(d::kVkRight);
    key(d::kVkDown);
    EXPECT_EQ(t.caret(), 17u);  // "e|ee"
    key(d::kVkDown);
    EXPECT_EQ(t.caret(), 25u);
    key(d::kVkDown);  // no line below
    EXPECT_EQ(t.caret(), 25u);
    key(d::kVkUp);
    key(d::kVkUp);
    key(d::kVkUp);
    EXPECT_EQ(t.caret(), 1u);
    key(d::kVkHome);
    EXPECT_EQ(t.caret(), 0u);
    // A click on the third shown line puts the caret there.
    click(t, 3 + host.font->text_width("eee f") + 1, 2 + 2 * line_height() + 1);
    EXPECT_EQ(t.caret(), 21u);
}

TEST_F(TextBox, TypingAndResizingWrapAgain) {
    TextControl& t = box("aaa bbb", {10, 10, 10 + 6 + host.font->text_width("aaa bbb") + 2, 200});
    ASSERT_EQ(t.lines().size(), 1u);
    t.focus();
    pump();
    key(d::kVkEnd, d::kModControl);
    type(" ccc");
    EXPECT_EQ(shown(t), (std::vector<std::string>{"aaa bbb", "ccc"}));
    EXPECT_EQ(t.line_of(t.caret()), 1u);
    key(d::kVkHome);
    key(d::kVkBack);  // the space goes; the words join and break between characters
    EXPECT_EQ(t.text(), "aaa bbbccc");
    EXPECT_EQ(shown(t).front(), "aaa");
    t.move(PixelRect{10, 10, 400, 200});
    pump();
    EXPECT_EQ(shown(t), (std::vector<std::string>{"aaa bbbccc"}));
    EXPECT_EQ(t.caret_point(t.caret()).y, 2);
}

TEST_F(TextBox, ScrollingKeepsTheCaretOnAWrappedLine) {
    std::string text;
    for (int i = 0; i < 30; ++i) text += "word" + std::to_string(i) + " ";
    TextControl& t = box(text, {10, 10, 100, 10 + 4 + 3 * line_height()}, 400);
    ASSERT_GT(t.lines().size(), 6u);
    t.focus();
    pump();
    key(d::kVkEnd, d::kModControl);
    const int last = static_cast<int>(t.lines().size()) - 1;
    EXPECT_EQ(t.first_line(), last - 2);
    const d::Point p = t.caret_point(t.caret());
    EXPECT_GE(p.y, 2);
    EXPECT_LT(p.y + line_height(), 10 + 4 + 3 * line_height());
    key(d::kVkPrior);
    EXPECT_LE(t.first_line(), static_cast<int>(t.line_of(t.caret())));
    key(d::kVkHome, d::kModControl);
    EXPECT_EQ(t.first_line(), 0);
    // Deleting everything leaves no scrolled-off empty page.
    key(d::kVkEnd, d::kModControl);
    for (std::size_t i = t.text().size(); i > 0; --i) key(d::kVkBack);
    EXPECT_EQ(t.text(), "");
    EXPECT_EQ(t.first_line(), 0);
    EXPECT_EQ(t.lines().size(), 1u);
}

// Undo takes back the last change (a run of typing as one), and again redoes it;
// the program's redisplay is as far back as it goes.
TEST_F(TextBox, UndoTakesBackTheLastChangeAndRedoesIt) {
    TextControl& t = box("notes", {10, 10, 300, 200});
    t.focus();
    pump();
    EXPECT_FALSE(t.undo());  // nothing changed since the value was shown
    key(d::kVkEnd, d::kModControl);
    type(" more");
    key(d::kVkReturn);
    type("x");
    key(d::kVkBack);
    EXPECT_EQ(t.text(), "notes more\r\n");
    key('Z', d::kModControl);  // the Backspace comes back
    EXPECT_EQ(t.text(), "notes more\r\nx");
    key('Z', d::kModControl);  // undone again: redone
    EXPECT_EQ(t.text(), "notes more\r\n");
    key(d::kVkHome, d::kModControl);
    type("my ");
    type("own ");  // one run of typing
    EXPECT_EQ(t.text(), "my own notes more\r\n");
    key(d::kVkBack, d::kModAlt);
    EXPECT_EQ(t.text(), "notes more\r\n");
    EXPECT_TRUE(t.is_modified());
    EXPECT_TRUE(t.edit_action(EditAction::kUndo));
    EXPECT_EQ(t.text(), "my own notes more\r\n");
    t.display();  // the program shows its value: undo starts from there
    EXPECT_EQ(t.text(), "notes");
    EXPECT_FALSE(t.undo());
}
