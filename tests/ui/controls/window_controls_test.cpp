// The application's real windows built control by control from their stored
// definitions: buttons, prompts, check boxes, options, sheets with tabs, combo,
// spin, text and progress controls, and screenshots of the result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "fake_host.h"
#include "platform/display/scroll_bar.h"
#include "ui/controls/choice_controls.h"
#include "ui/controls/edit_variants.h"
#include "ui/controls/list_control.h"
#include "ui/controls/static_controls.h"
#include "ui/definition.h"

using namespace sk::ui;
using namespace sk::ui::testing;
namespace d = sk::platform::display;
namespace rt = sk::rt;
namespace ev = sk::ui::control_events;

namespace {

int font_text_width(std::string_view text, const void* font) {
    return static_cast<const d::Font*>(font)->text_width(text);
}

class RealWindow : public ControlWindow {
protected:
    // Builds every control of a stored window the way the engine does: depth first,
    // parents before children, bound slots in order from refs.
    void build(const char* module, const char* label, std::vector<VariableRef> refs) {
        auto found = find_window_definition(module, label);
        ASSERT_TRUE(found.has_value());
        loaded = std::make_unique<LoadedDefinition>(std::move(*found));
        context.text_width = font_text_width;
        context.font = host.font.get();
        context.char_height = host.font->metrics().height;
        host.scale = unit_scale(loaded->window.attributes, context);
        std::vector<BindingSlot> slots = binding_slots(loaded->window);
        ASSERT_EQ(slots.size(), refs.size());
        std::size_t next = 0;
        std::function<void(const std::vector<ControlDefinition>&)> walk = [&](const std::vector<ControlDefinition>& chain) {
            for (const ControlDefinition& c : chain) {
                if (!kind_layout(c.kind)) continue;
                VariableRef binding, rows;
                while (next < slots.size() && slots[next].control == &c) {
                    (slots[next].is_row_source ? rows : binding) = refs[next];
                    ++next;
                }
                PixelRect r = control_rect(c, host.scale, context, 0, 0);
                if (auto control = create_control(host, c, binding, rows, r)) add(std::move(control));
                walk(c.children);
            }
        };
        walk(loaded->window.controls);
        d::set_window_text(top, loaded->window.title);
        pump();
    }
    template <typename T>
    T& get(std::int32_t field) {
        for (auto& c : controls)
            if (c->field() == field)
                if (auto* t = dynamic_cast<T*>(c.get())) return *t;
        ADD_FAILURE() << "no control " << field;
        throw std::runtime_error("missing control");
    }
    // The centre of a control's window, for clicking.
    void click_centre(const Control& c) {
        d::Rect r = d::client_rect(c.window());
        click(c, r.width() / 2, r.height() / 2);
    }

    std::unique_ptr<LoadedDefinition> loaded;
    UnitContext context;
};

}  // namespace

TEST_F(RealWindow, SearchDialogChecksOptionsAndButtons) {
    char search[20];
    std::memset(search, ' ', sizeof search);
    std::uint8_t whole = 0, match_case = 1;
    char direction[4];
    std::memcpy(direction, "Down", 4);
    rt::BoundVariable sv = rt::bound_string(search, 20), wv = rt::bound_byte(&whole), cv = rt::bound_byte(&match_case),
                      dv = rt::bound_string(direction, 4);
    build("LKDB32$lkdb3024", "README$ASC1:SEARCHWINDOW", {{&sv, 18}, {&wv, 1}, {&cv, 1}, {&dv, 18}});

    EXPECT_FALSE(get<CheckControl>(3).is_checked());
    EXPECT_TRUE(get<CheckControl>(4).is_checked());
    EXPECT_EQ(get<CheckControl>(4).mnemonic(), 'c');
    EXPECT_FALSE(get<LabelControl>(1).takes_focus());
    EXPECT_EQ(get<OptionControl>(5).chosen(), 2u);
    EXPECT_TRUE(get<RadioControl>(7).is_checked());

    click_centre(get<CheckControl>(3));
    EXPECT_EQ(whole, 1);
    EXPECT_EQ(host.events.back(), (PostedEvent{3, ev::kAccepted, 0}));
    key(d::kVkSpace);
    EXPECT_EQ(whole, 0);

    // Mnemonics through the common interface: a prompt's names only itself.
    Control& whole_word = get<CheckControl>(3);
    EXPECT_EQ(whole_word.mnemonic(), 'w');
    whole_word.activate();
    EXPECT_EQ(whole, 1);
    whole_word.activate();
    EXPECT_EQ(whole, 0);
    EXPECT_EQ(static_cast<Control&>(get<LabelControl>(1)).mnemonic(), 0);

    click_centre(get<RadioControl>(6));
    EXPECT_EQ(std::string(direction, 4), "Up  ");
    EXPECT_EQ(host.events.back(), (PostedEvent{6, ev::kAccepted, 0}));
    EXPECT_FALSE(get<RadioControl>(7).is_checked());
    key(d::kVkRight);  // arrows move the choice within the group
    EXPECT_EQ(std::string(direction, 4), "Down");
    EXPECT_EQ(d::focus_window(), get<RadioControl>(7).window());

    get<EntryControl>(2).focus();
    pump();
    type("sitekeeper");
    click_centre(get<ButtonControl>(8));
    EXPECT_EQ(std::string(search, 10), "sitekeeper");
    ASSERT_GE(host.events.size(), 2u);
    EXPECT_EQ(host.events[host.events.size() - 2], (PostedEvent{2, ev::kAccepted, 0}));
    EXPECT_EQ(host.events.back(), (PostedEvent{8, ev::kAccepted, 0}));

    // A press that leaves the button before the release does nothing.
    ButtonControl& cancel = get<ButtonControl>(9);
    host.events.clear();
    d::headless::mouse_down(screen_of(cancel, 5, 5));
    pump();
    EXPECT_TRUE(cancel.is_pressed());
    d::headless::mouse_move(screen_of(cancel, -40, 5));
    d::headless::mouse_up(screen_of(cancel, -40, 5));
    pump();
    EXPECT_TRUE(host.events.empty());
    get<ButtonControl>(8).set_default(true);
    get<EntryControl>(2).focus();
    pump();
    ASSERT_TRUE(d::headless::save_screenshot("/tmp/controls-search.png"));
}

TEST_F(RealWindow, ButtonWithAStandardActionCallsTheHook) {
    ControlDefinition c;
    c.kind = kKindButton;
    c.field = 3;
    c.text = "E&xit";
    c.action = 15;
    auto b = create_control(host, c, {}, {}, PixelRect{10, 10, 100, 40});
    auto* button = dynamic_cast<ButtonControl*>(b.get());
    ASSERT_NE(button, nullptr);
    std::uint32_t got = 0;
    button->set_action_hook([&](std::uint32_t a) { got = a; });
    add(std::move(b));
    pump();
    click(*button, 10, 10);
    EXPECT_EQ(got, 15u);
    EXPECT_TRUE(host.events.empty());
    EXPECT_EQ(button->mnemonic(), 'x');
    // Without a hook the window gets the button's command, and the command coming
    // back to the button reports nothing.
    button->set_action_hook(nullptr);
    unrouted.clear();
    click(*button, 10, 10);
    auto it = std::find_if(unrouted.begin(), unrouted.end(), [](const d::Message& m) { return m.code == d::kMsgCommand; });
    ASSERT_NE(it, unrouted.end());
    EXPECT_EQ(it->window, top);
    EXPECT_EQ(it->wparam, 0x4003u);
    d::Message cmd = *it;
    cmd.window = button->window();
    EXPECT_TRUE(button->handle_message(cmd));
    EXPECT_TRUE(host.events.empty());
}

TEST_F(RealWindow, FormSheetShowsOnePageAndAsksBeforeChanging) {
    char location[60], description[60], category[15], keyword[10], info[500];
    for (char* p : {location, description, category, keyword}) std::memset(p, ' ', 10);
    std::memset(location, ' ', 60), std::memset(description, ' ', 60), std::memset(category, ' ', 15);
    std::memset(info, ' ', sizeof info);
    std::memcpy(location, "http://example.org", 18);
    std::memcpy(category, "News", 4);
    unsigned char rating[2] = {0, 0x05};
    sk::data::Queue categories(15);
    for (const char* name : {"Arts           ", "News           ", "Sport          ", "Travel         "})
        categories.add(name);
    RowSource rows{&categories, {{0, rt::kTypeString, 15, 0}}};
    rt::BoundVariable lv = rt::bound_string(location, 60), dv = rt::bound_string(description, 60),
                      cv = rt::bound_string(category, 15), rv = rt::bound_decimal(rating, 3, 0),
                      kv = rt::bound_string(keyword, 10), iv = rt::bound_string(info, 500);
    build("LKDB32$lkdb3003", "UPDATELINKDB$QUICKWINDOW",
          {{&lv, 18}, {&dv, 18}, {&cv, 18}, {&rows, 25}, {&rv, 10}, {&kv, 18}, {&iv, 18}});

    SheetControl& sheet = get<SheetControl>(1);
    TextControl& text = get<TextControl>(13);
    EntryControl& loc = get<EntryControl>(3);
    EXPECT_EQ(sheet.tab_count(), 2u);
    EXPECT_EQ(loc.text(), "http://example.org");
    EXPECT_TRUE(d::is_visible(loc.window()));
    EXPECT_FALSE(d::is_visible(text.window()));
    EXPECT_FALSE(text.takes_focus());

    // A procedure that cycles TabChanging keeps the page.
    host.cycle_deliveries = true;
    d::Rect tab2 = sheet.tab_rect(1);
    click(sheet, tab2.left + 4, tab2.top + 4);
    EXPECT_EQ(sheet.selected(), 0u);
    host.cycle_deliveries = false;
    host.events.clear();
    click(sheet, tab2.left + 4, tab2.top + 4);
    EXPECT_EQ(sheet.selected(), 1u);
    EXPECT_EQ(host.events, (std::vector<PostedEvent>{{1, ev::kTabChanging, -1}, {1, ev::kNewSelection, 0}}));
    EXPECT_FALSE(d::is_visible(loc.window()));
    EXPECT_TRUE(d::is_visible(text.window()));

    // The memo: lines joined by CR LF, stored and accepted when the focus leaves.
    text.focus();
    pump();
    type("first");
    key(d::kVkReturn);
    type("second");
    EXPECT_TRUE(text.is_modified());
    get<ButtonControl>(14).focus();
    pump();
    EXPECT_EQ(std::string(info, 13), "first\r\nsecond");
    EXPECT_EQ(host.events.back(), (PostedEvent{13, ev::kAccepted, 0}));

    key(d::kVkLeft, d::kModControl | d::kModShift);
    key(d::kVkTab, d::kModControl);  // Ctrl+Tab on the sheet itself
    sheet.focus();
    pump();
    key(d::kVkLeft);
    EXPECT_EQ(sheet.selected(), 0u);

    // The combo drops its categories and takes the picked one.
    ComboControl& combo = get<ComboControl>(7);
    EXPECT_EQ(combo.text(), "News");
    combo.focus();
    pump();
    host.events.clear();
    key(d::kVkDown, d::kModAlt);
    ASSERT_TRUE(combo.is_dropped());
    EXPECT_EQ(combo.drop().highlighted(), 2u);
    EXPECT_EQ(combo.drop().visible_rows(), 4);
    ASSERT_TRUE(d::headless::save_screenshot("/tmp/controls-form.png"));
    key(d::kVkDown);
    key(d::kVkReturn);
    EXPECT_FALSE(combo.is_dropped());
    EXPECT_EQ(combo.text(), "Sport");
    EXPECT_EQ(host.codes(), (std::vector<std::uint16_t>{ev::kDroppingDown, ev::kDroppedDown, ev::kNewSelection}));
    get<EntryControl>(11).focus();
    pump();
    EXPECT_EQ(std::string(category, 5), "Sport");
    // Two quick presses on the button open the list and close it again.
    const d::Rect box = d::client_rect(combo.window());
    click(combo, box.width() - 6, box.height() / 2);
    EXPECT_TRUE(combo.is_dropped());
    click(combo, box.width() - 6, box.height() / 2);
    EXPECT_FALSE(combo.is_dropped());
}

TEST_F(RealWindow, BrowseWindowWithListSheetAndButtons) {
    struct Row {
        char description[60], location[128], category[15];
        unsigned char rating[2];
        char keyword[10];
    };
    sk::data::Queue page(sizeof(Row));
    const char* sites[][3] = {{"Example site", "http://example.org", "News"},
                              {"Weather", "http://weather.example", "Travel"},
                              {"Scores", "http://scores.example", "Sport"}};
    for (auto& s : sites) {
        Row r;
        std::memset(&r, ' ', sizeof r);
        std::memcpy(r.description, s[0], std::strlen(s[0]));
        std::memcpy(r.location, s[1], std::strlen(s[1]));
        std::memcpy(r.category, s[2], std::strlen(s[2]));
        r.rating[0] = 0, r.rating[1] = 0x07;
        page.add(&r);
    }
    RowSource rows{&page,
                   {{0, rt::kTypeString, 60, 0},
                    {60, rt::kTypeString, 128, 0},
                    {188, rt::kTypeString, 15, 0},
                    {203, rt::kTypeDecimal, 2, 0},
                    {205, rt::kTypeString, 10, 0}}};
    build("LKDB32$lkdb3002", "BROWSELINKDB$QUICKWINDOW", {{&rows, 25}});
    ListControl& list = get<ListControl>(1);
    EXPECT_TRUE(list.is_immediate());
    list.display();
    list.set_selected(2);
    list.focus();
    SheetControl& sheet = get<SheetControl>(2);
    EXPECT_EQ(sheet.tab_count(), 5u);
    // The category tab's button is on a hidden page until that tab is chosen.
    EXPECT_FALSE(d::is_visible(get<ButtonControl>(3).window()));
    sheet.select_tab(2);
    EXPECT_TRUE(d::is_visible(get<ButtonControl>(3).window()));
    sheet.select_tab(0);
    pump();
    EXPECT_EQ(list.rows().cell(1, 3), " 7");
    ASSERT_TRUE(d::headless::save_screenshot("/tmp/controls-browse.png"));
}

TEST_F(RealWindow, ProgressFollowsItsVariable) {
    std::uint8_t percent = 0;
    rt::BoundVariable pv = rt::bound_byte(&percent);
    build("LKDB32$lkdb3024", "README$PROGRESSWINDOW", {{&pv, 1}});
    ProgressControl& bar = get<ProgressControl>(1);
    EXPECT_DOUBLE_EQ(bar.fraction(), 0);
    percent = 50;
    bar.display();
    pump();
    EXPECT_DOUBLE_EQ(bar.fraction(), 0.5);
    d::Rect r = d::client_rect(bar.window());
    d::Point left = d::client_to_screen(bar.window(), d::Point{4, r.height() / 2});
    d::Point right = d::client_to_screen(bar.window(), d::Point{r.width() - 4, r.height() / 2});
    EXPECT_EQ(d::headless::screen_pixel(left), d::system_color(d::SystemColor::kHighlight));
    EXPECT_NE(d::headless::screen_pixel(right), d::system_color(d::SystemColor::kHighlight));
    percent = 200;  // beyond the high value the bar is full, never more
    bar.display();
    EXPECT_DOUBLE_EQ(bar.fraction(), 1);
}

TEST_F(RealWindow, SpinStepsWithinItsRange) {
    ControlDefinition c;
    c.kind = kKindSpin;
    c.field = 4;
    c.picture = "n5";
    c.low = 0, c.high = 10, c.step = 4;
    c.binding = Binding{6};
    std::int32_t value = 5;
    rt::BoundVariable v = rt::bound_long(&value);
    auto s = create_control(host, c, {&v, 6}, {}, PixelRect{10, 10, 120, 34});
    auto* spin = dynamic_cast<SpinControl*>(s.get());
    ASSERT_NE(spin, nullptr);
    add(std::move(s));
    pump();
    spin->focus();
    pump();
    key(d::kVkUp);
    EXPECT_EQ(std::stoi(spin->text()), 9);
    key(d::kVkUp);
    EXPECT_EQ(std::stoi(spin->text()), 10);
    spin->step(false);
    EXPECT_EQ(std::stoi(spin->text()), 6);
    EXPECT_TRUE(spin->accept());
    EXPECT_EQ(value, 6);
}

TEST_F(RealWindow, UnknownKindsCreateNothingAndDisabledControlsIgnoreInput) {
    ControlDefinition c;
    c.kind = 7;
    EXPECT_EQ(create_control(host, c, {}, {}, PixelRect{0, 0, 10, 10}), nullptr);
    ControlDefinition chk;
    chk.kind = kKindCheck;
    chk.field = 2;
    chk.flags = kFlagDisabled;
    chk.text = "Off";
    std::uint8_t b = 0;
    rt::BoundVariable v = rt::bound_byte(&b);
    Control& check = add(create_control(host, chk, {&v, 1}, {}, PixelRect{10, 10, 100, 30}));
    pump();
    click(check, 5, 5);
    EXPECT_EQ(b, 0);
    EXPECT_TRUE(host.events.empty());
    EXPECT_FALSE(check.takes_focus());
}

TEST_F(RealWindow, TextBoxEditsLinesAndKeepsLineBreaksWhole) {
    ControlDefinition c;
    c.kind = kKindText;
    c.field = 5;
    c.binding = Binding{18};
    char memo[20];
    std::memcpy(memo, "ab\r\ncd              ", 20);
    rt::BoundVariable v = rt::bound_string(memo, 20);
    Control& box = add(create_control(host, c, {&v, 18}, {}, PixelRect{10, 10, 200, 100}));
    auto& text = dynamic_cast<TextControl&>(box);
    EXPECT_EQ(text.text(), "ab\r\ncd");
    box.focus();
    pump();
    key(d::kVkDown);
    key(d::kVkHome);
    EXPECT_EQ(text.caret(), 4u);
    key(d::kVkBack);  // the line break goes as one
    EXPECT_EQ(text.text(), "abcd");
    key(d::kVkReturn);
    key(d::kVkUp);
    key(d::kVkEnd);
    EXPECT_EQ(text.caret(), 2u);
    key(d::kVkDelete);  // so does it forwards
    EXPECT_EQ(text.text(), "abcd");
    // The variable's size bounds the text.
    std::uint64_t beeps = d::beep_count();
    type("01234567890123456");
    EXPECT_LE(text.text().size(), 20u);
    EXPECT_GT(d::beep_count(), beeps);
    EXPECT_TRUE(text.accept());
    EXPECT_EQ(std::string(memo, 20), text.text());
}

TEST_F(RealWindow, ListOfFixedRowsAndItsProperties) {
    ControlDefinition c;
    c.kind = kKindList;
    c.field = 9;
    c.flags = 0x3;
    c.format = "80L~Choice~R(3)";
    c.strings = {"First", "Second", "Third"};
    Control& control = add(create_control(host, c, {}, {}, PixelRect{10, 10, 200, 120}));
    auto& list = dynamic_cast<ListControl&>(control);
    pump();
    EXPECT_EQ(list.row_count(), 3u);
    EXPECT_EQ(list.rows().cell(2, 0), "Second");
    EXPECT_EQ(list.format().columns[0].header_justify, kJustifyRight);
    EXPECT_EQ(list.format().columns[0].justify, kJustifyLeft);
    ASSERT_TRUE(list.set_property(kPropSelected, 0, "3"));
    std::string value;
    ASSERT_TRUE(list.get_property(kPropSelected, 0, &value));
    EXPECT_EQ(value, "3");
    EXPECT_EQ(host.codes(), (std::vector<std::uint16_t>{ev::kNewSelection}));
    EXPECT_TRUE(list.set_property(kPropHScroll, 0, "0"));
    EXPECT_FALSE(d::scroll_bar_shown(list.window(), d::ScrollBarKind::kHorizontal));
    EXPECT_FALSE(list.get_property(12345, 0, &value));
}
