// Entry fields: the typing rules of the editing core, and the field's display,
// leaving, clipboard and scrolling on the headless display.
#include "ui/controls/entry_control.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "platform/display/utf8.h"
#include "runtime/bind.h"

using namespace sk::ui;
using namespace sk::ui::testing;
namespace d = sk::platform::display;
namespace rt = sk::rt;

namespace {

EditBuffer buffer(std::size_t max, EditBuffer::Options o = {}) {
    EditBuffer b;
    b.set_options(o);
    b.set_limits(max, -1, nullptr);
    return b;
}

EditResult type(EditBuffer& b, std::string_view s, bool shift = false) {
    EditResult r = EditResult::kUnchanged;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t start = pos;
        char32_t c = d::decode_char(s, pos);
        r = b.type_char(c, s.substr(start, pos - start), shift);
        if (r != EditResult::kChanged) return r;
    }
    return r;
}

struct InsertModeGuard {
    ~InsertModeGuard() { EditBuffer::set_insert_mode(true); }
};

}  // namespace

TEST(EditBuffer, FullFieldRefusesInInsertModeAndAtTheEnd) {
    InsertModeGuard guard;
    EditBuffer b = buffer(3);
    EXPECT_EQ(type(b, "abc"), EditResult::kChanged);
    EXPECT_EQ(type(b, "d"), EditResult::kRefused);
    b.set_caret(1, false);
    EXPECT_EQ(type(b, "x"), EditResult::kRefused);
    EXPECT_EQ(b.text(), "abc");
    // Overwrite replaces the character under the caret; at the end it inserts and
    // so is refused when full.
    EditBuffer::set_insert_mode(false);
    EXPECT_EQ(type(b, "x"), EditResult::kChanged);
    EXPECT_EQ(b.text(), "axc");
    b.move_end(false);
    EXPECT_EQ(type(b, "y"), EditResult::kRefused);
    // A two-byte character over a one-byte one grows the text past its length.
    b.set_caret(0, false);
    EXPECT_EQ(type(b, "\xC3\xA9"), EditResult::kRefused);
    EXPECT_EQ(b.text(), "axc");
}

TEST(EditBuffer, CapitaliseSkipsLettersAfterAnApostrophe) {
    EditBuffer b = buffer(40, {.capitalise = true});
    type(b, "o'neil's dog");
    EXPECT_EQ(b.text(), "O'neil's Dog");
    EditBuffer u = buffer(40, {.upper_case = true});
    type(u, "ab\xC3\xA9");
    EXPECT_EQ(u.text(), "AB\xC3\x89");
    // Shift held leaves capitalising to the user; accented letters count as letters.
    EditBuffer s = buffer(40, {.capitalise = true});
    type(s, "x", true);
    type(s, "\xC3\xA9" "a");
    EXPECT_EQ(s.text(), "x\xC3\xA9" "a");
}

TEST(EditBuffer, SelectionIsReplacedOrDeletedFirst) {
    EditBuffer b = buffer(10);
    type(b, "hello");
    b.set_caret(1, false);
    b.set_caret(4, true);
    EXPECT_EQ(b.selected_text(), "ell");
    EXPECT_EQ(type(b, "a"), EditResult::kChanged);
    EXPECT_EQ(b.text(), "hao");
    b.select_all();
    EXPECT_EQ(b.backspace(), EditResult::kChanged);
    EXPECT_EQ(b.text(), "");
    // A key the window handles leaves the selection alone.
    type(b, "xy");
    b.select_all();
    EXPECT_EQ(b.type_char('\r', "\r", false), EditResult::kIgnored);
    EXPECT_EQ(b.type_char(0x01, "\x01", false), EditResult::kRefused);
    EXPECT_EQ(b.text(), "xy");
}

TEST(EditBuffer, BackspaceAndDeleteTakeWholeCharacters) {
    EditBuffer b = buffer(20);
    type(b, "a\xE2\x82\xAC" "b");
    b.set_caret(4, false);
    EXPECT_EQ(b.backspace(), EditResult::kChanged);
    EXPECT_EQ(b.text(), "ab");
    b.set_text("x\xC3\xA9y");
    b.set_caret(1, false);
    EXPECT_EQ(b.delete_forward(), EditResult::kChanged);
    EXPECT_EQ(b.text(), "xy");
    b.set_caret(2, false);
    EXPECT_EQ(b.delete_forward(), EditResult::kUnchanged);
}

TEST(EditBuffer, ReadOnlyRefusesEverythingButCopying) {
    EditBuffer b = buffer(10, {.read_only = true});
    b.set_text("abc");
    b.select_all();
    EXPECT_EQ(type(b, "x"), EditResult::kRefused);
    EXPECT_EQ(b.backspace(), EditResult::kUnchanged);
    EXPECT_EQ(b.paste("zz"), EditResult::kUnchanged);
    EXPECT_EQ(b.delete_selection(), EditResult::kUnchanged);
    EXPECT_EQ(b.selected_text(), "abc");
}

TEST(EditBuffer, PasteAndSetTextCutAtCharacterBoundaries) {
    EditBuffer b = buffer(4);
    type(b, "a");
    EXPECT_EQ(b.paste("b\xE2\x82\xAC" "c"), EditResult::kChanged);
    EXPECT_EQ(b.text(), "ab");
    EXPECT_EQ(b.paste("z"), EditResult::kChanged);
    EXPECT_EQ(b.paste("q"), EditResult::kChanged);
    EXPECT_EQ(b.paste("w"), EditResult::kRefused);
    b.set_text("ab\xC3\xA9\xC3\xA9");
    EXPECT_EQ(b.text(), "ab\xC3\xA9");
    EditBuffer lines = buffer(40);
    lines.paste("one\r\ntwo");
    EXPECT_EQ(lines.text(), "one");
}

class EntryField : public ControlWindow {
protected:
    ControlDefinition def(std::int32_t field, const char* picture, std::uint8_t options = 0,
                          std::uint32_t flags = 0) {
        ControlDefinition c;
        c.kind = kKindEntry;
        c.field = field;
        c.picture = picture;
        c.options = options;
        c.flags = flags;
        c.binding = Binding{18};
        c.attr.message = "Type here";
        return c;
    }
    EntryControl& entry(const ControlDefinition& c, rt::BoundVariable* v, PixelRect r) {
        definitions.push_back(std::make_unique<ControlDefinition>(c));
        auto p = std::make_unique<EntryControl>(host, *definitions.back(), VariableRef{v, 18}, r, c.picture);
        EntryControl& e = *p;
        add(std::move(p));
        pump();
        return e;
    }
    std::vector<std::unique_ptr<ControlDefinition>> definitions;
};

TEST_F(EntryField, LeavingStoresReportsAndShowsTheNormalisedValue) {
    char name[15];
    std::memcpy(name, "news           ", 15);
    unsigned char rating[2] = {0x00, 0x07};
    rt::BoundVariable nv = rt::bound_string(name, 15), rv = rt::bound_decimal(rating, 3, 0);
    EntryControl& a = entry(def(3, "s15"), &nv, {10, 10, 200, 34});
    EntryControl& b = entry(def(5, "N2"), &rv, {10, 50, 60, 74});
    EXPECT_EQ(a.text(), "news");
    EXPECT_EQ(b.text(), " 7");

    a.focus();
    pump();
    EXPECT_EQ(host.message, "Type here");
    // Focus from the keyboard selects the whole text; typing replaces it.
    type("Sports");
    EXPECT_EQ(a.text(), "Sports");
    EXPECT_TRUE(a.is_modified());
    click(b, 5, 5);
    EXPECT_EQ(std::string(name, 15), "Sports         ");
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0], (PostedEvent{3, 1, 0}));

    // The number field was never accepted: leaving it unchanged still stores and reports.
    key(d::kVkHome);
    key(d::kVkEnd, d::kModShift);
    type("12");
    click(a, 5, 5);
    EXPECT_EQ(rating[1], 0x12);
    EXPECT_EQ(host.events.back(), (PostedEvent{5, 1, 0}));
    EXPECT_EQ(b.text(), "12");

    // Back and away again without a change: nothing more is posted.
    host.events.clear();
    click(b, 5, 5);
    click(a, 5, 5);
    EXPECT_TRUE(host.events.empty());
}

TEST_F(EntryField, RejectedTextStaysAsTyped) {
    std::uint8_t value = 9;
    rt::BoundVariable v = rt::bound_byte(&value);
    EntryControl& a = entry(def(2, "n3"), &v, {10, 10, 100, 34});
    EntryControl& other = entry(def(4, "s5"), nullptr, {10, 50, 100, 74});
    a.focus();
    pump();
    type("300");
    other.focus();
    pump();
    EXPECT_EQ(a.text(), "300");
    EXPECT_EQ(value, 9);
    ASSERT_FALSE(host.events.empty());
    EXPECT_EQ(host.events.back().event, 26);
    EXPECT_EQ(host.events.back().code, kStoreOutOfRange);
    EXPECT_FALSE(a.is_accepted());
    EXPECT_FALSE(a.accept());
}

TEST_F(EntryField, RequiredFieldRefusesTheAcceptAllPassWhenEmpty) {
    char name[15];
    std::memset(name, ' ', sizeof name);
    rt::BoundVariable v = rt::bound_string(name, 15);
    EntryControl& a = entry(def(3, "s15", kEntryRequired), &v, {10, 10, 200, 34});
    EXPECT_FALSE(a.accept());
    std::memcpy(name, "x", 1);
    a.display();
    EXPECT_TRUE(a.accept());
    EXPECT_TRUE(host.events.empty());  // the engine makes the pass's Accepted events
}

TEST_F(EntryField, ClipboardKeysAndImmediateFields) {
    char text[20];
    std::memset(text, ' ', sizeof text);
    rt::BoundVariable v = rt::bound_string(text, 20);
    EntryControl& a = entry(def(6, "s20", 0, kControlImmediate), &v, {10, 10, 200, 34});
    a.focus();
    pump();
    type("hello world");
    std::size_t typed = host.events.size();
    EXPECT_EQ(typed, 11u);  // one NewSelection per change
    for (const auto& e : host.events) EXPECT_EQ(e.event, 2);
    key(d::kVkHome);
    for (int i = 0; i < 5; ++i) key(d::kVkRight, d::kModShift);
    key('C', d::kModControl);
    EXPECT_EQ(d::clipboard_text(), "hello");
    key('X', d::kModControl);
    EXPECT_EQ(a.text(), " world");
    key(d::kVkEnd);
    key('V', d::kModControl);
    EXPECT_EQ(a.text(), " worldhello");
    std::uint64_t beeps = d::beep_count();
    type("\x01");
    EXPECT_EQ(d::beep_count(), beeps + 1);
}

TEST_F(EntryField, ReadOnlyPasswordAndTheInsertKey) {
    InsertModeGuard guard;
    char text[10];
    std::memcpy(text, "secret    ", 10);
    rt::BoundVariable v = rt::bound_string(text, 10);
    EntryControl& ro = entry(def(1, "s10", kEntryReadOnly), &v, {10, 10, 200, 34});
    EntryControl& pw = entry(def(2, "s10", kEntryPassword), &v, {10, 50, 200, 74});
    ro.focus();
    pump();
    std::uint64_t beeps = d::beep_count();
    type("x");
    key(d::kVkBack);
    key('X', d::kModControl);
    EXPECT_EQ(ro.text(), "secret");
    EXPECT_EQ(d::beep_count(), beeps + 1);
    // The mask hides the text from the clipboard too.
    d::set_clipboard_text("none");
    pw.focus();
    pump();
    key('C', d::kModControl);
    EXPECT_EQ(d::clipboard_text(), "none");
    // Insert toggles one mode for every field.
    key(d::kVkInsert);
    EXPECT_FALSE(EditBuffer::insert_mode());
    key(d::kVkHome);
    type("S");
    EXPECT_EQ(pw.text(), "Secret");
}

TEST_F(EntryField, WideTextScrollsAndFixedPicturesKeepToTheirRoom) {
    char text[60];
    std::memset(text, ' ', sizeof text);
    rt::BoundVariable v = rt::bound_string(text, 60);
    EntryControl& a = entry(def(1, "S60"), &v, {10, 10, 80, 34});
    a.focus();
    pump();
    type("a rather long address that does not fit");
    EXPECT_GT(a.scroll_offset(), 0);
    key(d::kVkHome);
    EXPECT_EQ(a.scroll_offset(), 0);
    // A number picture does not scroll: a character that does not fit is refused.
    double big = 0;
    rt::BoundVariable bv = rt::bound_real(&big);
    EntryControl& n = entry(def(2, "n20"), &bv, {10, 50, 40, 74});
    EXPECT_FALSE(n.scrolls());
    n.focus();
    pump();
    std::uint64_t beeps = d::beep_count();
    type("12345678901234567890");
    EXPECT_LT(n.text().size(), 20u);
    EXPECT_GT(d::beep_count(), beeps);
}

TEST_F(EntryField, MouseSetsCaretAndDoubleClickSelectsAWord) {
    char text[20];
    std::memcpy(text, "alpha beta          ", 20);
    rt::BoundVariable v = rt::bound_string(text, 20);
    EntryControl& a = entry(def(1, "s20"), &v, {10, 10, 300, 34});
    click(a, 3, 5);
    EXPECT_EQ(a.buffer().caret(), 0u);
    EXPECT_FALSE(a.buffer().has_selection());
    int x = 3 + host.font->text_width("alpha be");
    d::headless::mouse_down(screen_of(a, x, 5));
    d::headless::mouse_up(screen_of(a, x, 5));
    d::headless::mouse_down(screen_of(a, x, 5));
    d::headless::mouse_up(screen_of(a, x, 5));
    pump();
    EXPECT_EQ(a.buffer().selected_text(), "beta");
}

TEST_F(EntryField, UndoPutsBackTheTextBeforeTheLastChange) {
    char text[20];
    std::memcpy(text, "alpha               ", 20);
    rt::BoundVariable v = rt::bound_string(text, 20);
    EntryControl& a = entry(def(6, "s20"), &v, {10, 10, 200, 34});
    a.focus();
    pump();
    // Nothing changed since the field was entered: nothing to undo.
    key('Z', d::kModControl);
    EXPECT_EQ(a.text(), "alpha");
    EXPECT_FALSE(a.is_modified());
    key(d::kVkEnd);
    type("bet");
    key(d::kVkBack);
    EXPECT_EQ(a.text(), "alphabe");
    key('Z', d::kModControl);
    EXPECT_EQ(a.text(), "alphabet");
    EXPECT_EQ(a.buffer().caret(), 8u);
    // A second undo puts the change back; Alt+Backspace does the same as Ctrl+Z.
    key(d::kVkBack, d::kModAlt);
    EXPECT_EQ(a.text(), "alphabe");
    EXPECT_TRUE(a.edit_action(EditAction::kUndo));
    EXPECT_EQ(a.text(), "alphabet");
    // A cut is undone whole, and the undone text is what leaving the field stores.
    key(d::kVkHome);
    for (int i = 0; i < 5; ++i) key(d::kVkRight, d::kModShift);
    key('X', d::kModControl);
    EXPECT_EQ(a.text(), "bet");
    key('Z', d::kModControl);
    EXPECT_EQ(a.text(), "alphabet");
    EXPECT_TRUE(a.accept());
    EXPECT_EQ(std::string(text, 20), "alphabet            ");
}

TEST_F(EntryField, UndoNeverReachesPastEnteringOrDisplay) {
    char text[10];
    std::memcpy(text, "one       ", 10);
    rt::BoundVariable v = rt::bound_string(text, 10);
    EntryControl& a = entry(def(6, "s10", 0, kControlImmediate), &v, {10, 10, 200, 34});
    EntryControl& b = entry(def(7, "s10"), nullptr, {10, 50, 200, 74});
    a.focus();
    pump();
    type("two");
    b.focus();
    pump();
    a.focus();
    pump();
    EXPECT_FALSE(a.can_undo());  // the change belongs to the last visit
    key('Z', d::kModControl);
    EXPECT_EQ(a.text(), "two");
    type("three");
    std::memcpy(text, "four      ", 10);
    a.display();  // the program shows a value of its own
    key('Z', d::kModControl);
    EXPECT_EQ(a.text(), "four");
    // An undo is a change like any other: an immediate field reports it.
    type("x");
    host.events.clear();
    key('Z', d::kModControl);
    EXPECT_EQ(a.text(), "four");
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].event, 2);
    // A read-only field has nothing to undo.
    char fixed[5];
    std::memcpy(fixed, "keep ", 5);
    rt::BoundVariable fv = rt::bound_string(fixed, 5);
    EntryControl& ro = entry(def(8, "s5", kEntryReadOnly), &fv, {10, 90, 200, 114});
    ro.focus();
    pump();
    type("zz");
    key('Z', d::kModControl);
    EXPECT_EQ(ro.text(), "keep");
}
