// The list control: format strings, immediate and plain lists, the scroll bar,
// the mouse, drop lists and painting.
#include "ui/controls/list_control.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"
#include "platform/display/message_queue.h"
#include "platform/display/scroll_bar.h"

using namespace sk::ui;
using namespace sk::ui::testing;
namespace d = sk::platform::display;
namespace rt = sk::rt;
namespace ev = sk::ui::control_events;

namespace {

const UnitScale kTwoPixels{16, 16, 8, 8, 16};
constexpr const char* kBrowseFormat =
    "107L|M~Description~@S60@89L|M~Location~@S60@60L|M~Category~@S15@25L|M~Rating~@N2@40L|M~Keyword~@s10@";

}  // namespace

TEST(ListFormatString, BrowseFormatGivesFiveResizableColumns) {
    ListFormat f = parse_list_format(kBrowseFormat, kTwoPixels, 1);
    ASSERT_EQ(f.columns.size(), 5u);
    const int widths[] = {214, 178, 120, 50, 80};
    int left = 0;
    for (std::size_t i = 0; i < 5; ++i) {
        const ListColumn& c = f.columns[i];
        EXPECT_EQ(c.field, static_cast<int>(i));
        EXPECT_EQ(c.width, widths[i]);
        EXPECT_EQ(c.left, left);
        EXPECT_EQ(c.right, left + widths[i] + 1);  // the border line adds one
        EXPECT_EQ(c.flags, kColumnBorder | kColumnResizable);
        left = c.right;
    }
    EXPECT_EQ(f.columns[0].header, "Description");
    EXPECT_EQ(f.columns[3].picture_text, "N2");
    EXPECT_TRUE(f.columns[3].picture.has_picture());
    EXPECT_TRUE(f.has_header());
}

TEST(ListFormatString, WidthZeroHeaderJustificationAndEveryModifier) {
    ListFormat f = parse_list_format("0R(3)~Hidden~C(4)20l(2)~Name~r#3#?_*60D/IFT(L1bI)S(10)H(6)[10C12L]|~Group~",
                                     kTwoPixels, 1);
    ASSERT_EQ(f.columns.size(), 5u);
    const ListColumn& zero = f.columns[0];
    EXPECT_EQ(zero.width, 0);
    EXPECT_EQ(zero.right, zero.left - 1);
    EXPECT_EQ(zero.indent, 0);
    EXPECT_EQ(zero.justify, kJustifyRight);
    EXPECT_EQ(zero.header_justify, kJustifyCenter);
    EXPECT_EQ(zero.header_indent, 8);
    const ListColumn& name = f.columns[1];
    EXPECT_EQ(name.left, 0);  // the zero column takes no room
    EXPECT_EQ(name.indent, 4);
    EXPECT_EQ(name.justify, kJustifyLeft);
    EXPECT_EQ(name.header_justify, kJustifyRight);
    EXPECT_EQ(name.field, 3);
    EXPECT_EQ(name.flags, kColumnLocator | kColumnUnderline);
    EXPECT_EQ(name.options, kColumnOptionStar);
    EXPECT_EQ(f.locator_column, 1);
    const ListColumn& third = f.columns[2];
    EXPECT_EQ(third.field, 2);
    EXPECT_EQ(third.justify, kJustifyDecimal);
    EXPECT_EQ(third.flags, kColumnSlash | kColumnIcon | kColumnFixed | kColumnTree | kColumnScroll);
    EXPECT_EQ(third.options, kColumnOptionTreeL | kColumnOptionTree1 | kColumnOptionTreeB | kColumnOptionTreeI);
    EXPECT_EQ(third.scroll_width, 20);
    EXPECT_EQ(third.header_height, 12);
    EXPECT_EQ(third.header_options, kHeaderOptionHeight);
    EXPECT_EQ(third.header_justify, kJustifyDecimal);  // defaults to the data's
    ASSERT_EQ(f.groups.size(), 1u);
    EXPECT_EQ(f.groups[0].first, 3u);
    EXPECT_EQ(f.groups[0].count, 2u);
    EXPECT_EQ(f.groups[0].header, "Group");
    EXPECT_EQ(f.header_height(), 12);
}

TEST(ListFormatString, GarbageNeverLoopsOrReadsPastTheEnd) {
    for (const char* s : {"~", "@", "#", "10L~unclosed", "10L@s5", "xyz", "10L(", "10LT(", "]]]", "10LH"}) {
        ListFormat f = parse_list_format(s, kTwoPixels, 1);
        EXPECT_LE(f.columns.size(), 1u) << s;
    }
}

namespace {

struct PageRecord {
    char description[60];
    char location[128];
    char category[15];
    unsigned char rating[2];
    char keyword[10];
};

class ListWindow : public ControlWindow {
protected:
    void SetUp() override {
        ControlWindow::SetUp();
        source.queue = &queue;
        source.fields = {{0, rt::kTypeString, 60, 0},
                         {60, rt::kTypeString, 128, 0},
                         {188, rt::kTypeString, 15, 0},
                         {203, rt::kTypeDecimal, 2, 0},
                         {205, rt::kTypeString, 10, 0}};
    }
    void fill(int n) {
        queue.free();
        for (int i = 1; i <= n; ++i) {
            PageRecord r;
            std::memset(&r, ' ', sizeof r);
            std::string desc = "Site " + std::to_string(i);
            std::memcpy(r.description, desc.data(), desc.size());
            std::memcpy(r.location, "http://x", 8);
            std::memcpy(r.category, i % 2 ? "News" : "Sport", i % 2 ? 4 : 5);
            r.rating[0] = 0;
            r.rating[1] = static_cast<unsigned char>((i / 10 % 10) << 4 | (i % 10));
            queue.add(&r);
        }
    }
    ListControl& list(std::uint32_t flags, PixelRect r, const char* format = kBrowseFormat, std::uint8_t drop = 0) {
        definitions.push_back(std::make_unique<ControlDefinition>());
        ControlDefinition* def = definitions.back().get();
        def->kind = kKindList;
        def->field = 1;
        def->flags = flags;
        def->format = format;
        def->drop = drop;
        def->row_source = Binding{25};
        def->attr.message = "Browsing Records";
        auto c = std::make_unique<ListControl>(host, *def, VariableRef{}, VariableRef{&source, 25}, r);
        ListControl& l = *c;
        add(std::move(c));
        l.display();
        pump();
        return l;
    }
    void scroll(const ListControl& l, d::ScrollAction action, int position = 0) {
        d::Message m;
        m.code = d::kMsgScroll;
        m.window = l.window();
        m.wparam = action;
        m.lparam = position;
        m.flags = 1;
        d::post_message(m);
        pump();
    }

    sk::data::Queue queue{sizeof(PageRecord)};
    RowSource source;
    std::vector<std::unique_ptr<ControlDefinition>> definitions;  // outlive their controls
};

}  // namespace

TEST_F(ListWindow, ImmediateListReportsEveryNavigationKeyAtOnce) {
    fill(5);
    ListControl& l = list(0x803, {10, 10, 500, 300});
    l.set_selected(2);
    l.focus();
    pump();
    host.events.clear();
    key(d::kVkHome);
    key(d::kVkEnd);
    key(d::kVkUp);
    key(d::kVkDown);
    key(d::kVkPrior);
    key(d::kVkNext);
    key(d::kVkPrior, d::kModControl);
    key(d::kVkNext, d::kModControl);
    const std::vector<std::int32_t> want = {1007, 1008, 1003, 1004, 1005, 1006, 1007, 1008};
    EXPECT_EQ(host.delivered, want);
    EXPECT_EQ(l.selected(), 2u);  // the procedure moves the selection, not the keys
    type("g");
    EXPECT_EQ(host.events.back(), (PostedEvent{1, ev::kLocate, 0}));
}

TEST_F(ListWindow, ImmediateScrollBarKeepsItsRangeAndReportsGestures) {
    ListControl& l = list(0x803, {10, 10, 500, 300});  // empty queue
    int lo = -1, hi = -1;
    ASSERT_TRUE(d::scroll_range(l.window(), d::ScrollBarKind::kVertical, &lo, &hi));
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 100);
    scroll(l, d::kScrollLineDown);
    scroll(l, d::kScrollPageUp);
    scroll(l, d::kScrollBottom);
    scroll(l, d::kScrollThumbTrack, 40);
    scroll(l, d::kScrollThumbPosition, 40);
    scroll(l, d::kScrollEndScroll);
    const std::vector<std::int32_t> want = {1004, 1005, 1008, 1020};
    EXPECT_EQ(host.delivered, want);
    EXPECT_EQ(l.thumb(), 40);
    EXPECT_EQ(d::scroll_position(l.window(), d::ScrollBarKind::kVertical), 40);
    // The procedure puts the thumb where its page lies.
    ASSERT_TRUE(l.set_property(kPropThumb, 0, "73"));
    EXPECT_EQ(d::scroll_position(l.window(), d::ScrollBarKind::kVertical), 73);
    // Switching the bar off empties its range.
    l.set_property(kPropVScroll, 0, "0");
    d::scroll_range(l.window(), d::ScrollBarKind::kVertical, &lo, &hi);
    EXPECT_EQ(hi, 0);
}

TEST_F(ListWindow, PlainListShowsItsVerticalBarOnlyWithRowsBeyondThePage) {
    ListControl& l = list(0x2, {10, 10, 300, 200});  // empty queue
    // An empty browse list beside it keeps its bar: its procedure answers the gestures.
    ListControl& browse = list(0x803, {310, 10, 590, 200});
    EXPECT_TRUE(d::scroll_bar_shown(browse.window(), d::ScrollBarKind::kVertical));
    ASSERT_TRUE(d::headless::save_screenshot("/tmp/controls-empty-lists.png"));
    const d::Rect outer = d::screen_rect(l.window());
    // Where the bar's lower arrow button sits, inside the list's sunken edge.
    const d::Point arrow{outer.right - 2 - 6, outer.bottom - 2 - 5};
    const d::Color white = d::system_color(d::SystemColor::kWindow);
    const int full_width = d::client_rect(l.window()).width();
    EXPECT_FALSE(d::scroll_bar_shown(l.window(), d::ScrollBarKind::kVertical));
    EXPECT_EQ(d::headless::screen_pixel(arrow), white);
    std::string on;
    ASSERT_TRUE(l.get_property(kPropVScroll, 0, &on));
    EXPECT_EQ(on, "1");  // switched on, only not needed

    fill(40);
    l.display();
    pump();
    EXPECT_TRUE(d::scroll_bar_shown(l.window(), d::ScrollBarKind::kVertical));
    EXPECT_EQ(d::headless::screen_pixel(arrow), d::system_color(d::SystemColor::kButtonFace));
    EXPECT_LT(d::client_rect(l.window()).width(), full_width);
    scroll(l, d::kScrollPageDown);
    EXPECT_GT(l.top_row(), 1u);

    // Down to fewer rows than the page: the bar goes and the list is back at its top.
    fill(2);
    l.display();
    pump();
    EXPECT_FALSE(d::scroll_bar_shown(l.window(), d::ScrollBarKind::kVertical));
    EXPECT_EQ(d::client_rect(l.window()).width(), full_width);
    EXPECT_EQ(l.top_row(), 1u);
    EXPECT_EQ(d::headless::screen_pixel(arrow), white);

    // Switched off and on again by the procedure, it still follows the rows.
    ASSERT_TRUE(l.set_property(kPropVScroll, 0, "0"));
    ASSERT_TRUE(l.set_property(kPropVScroll, 0, "1"));
    EXPECT_FALSE(d::scroll_bar_shown(l.window(), d::ScrollBarKind::kVertical));
    fill(40);
    l.display();
    EXPECT_TRUE(d::scroll_bar_shown(l.window(), d::ScrollBarKind::kVertical));
    ASSERT_TRUE(l.set_property(kPropVScroll, 0, "0"));
    EXPECT_FALSE(d::scroll_bar_shown(l.window(), d::ScrollBarKind::kVertical));
}

TEST_F(ListWindow, RowsPerPageFollowTheClientHeight) {
    fill(3);
    ListControl& l = list(0x803, {10, 10, 500, 300});
    std::string v;
    ASSERT_TRUE(l.get_property(kPropRowsPerPage, 0, &v));
    int client_h = d::client_rect(l.window()).height();
    EXPECT_EQ(std::stoi(v), (client_h - l.header_height()) / l.row_height());
    // Too small for one row but holding rows: one row per page.
    ListControl& tiny = list(0x803, {10, 320, 200, 330});
    EXPECT_EQ(tiny.rows_per_page(), 1);
}

TEST_F(ListWindow, PlainListMovesItsSelectionAndScrolls) {
    fill(40);
    ListControl& l = list(0x3, {10, 10, 500, 200});
    const int page = l.rows_per_page();
    ASSERT_GT(page, 2);
    ASSERT_LT(page, 40);
    int lo = -1, hi = -1;
    d::scroll_range(l.window(), d::ScrollBarKind::kVertical, &lo, &hi);
    EXPECT_EQ(hi, 40 - page);
    l.focus();
    pump();
    key(d::kVkDown);
    EXPECT_EQ(l.selected(), 1u);
    key(d::kVkNext);
    EXPECT_EQ(l.selected(), 1u + page);
    EXPECT_EQ(l.top_row(), 2u);
    key(d::kVkEnd);
    EXPECT_EQ(l.selected(), 40u);
    EXPECT_EQ(l.top_row(), static_cast<std::size_t>(41 - page));
    key(d::kVkEnd);  // no change, no event
    key(d::kVkHome);
    EXPECT_EQ(l.top_row(), 1u);
    std::vector<std::uint16_t> want(4, ev::kNewSelection);
    EXPECT_EQ(host.codes(), want);
    key(d::kVkReturn);
    EXPECT_EQ(host.events.back().event, ev::kAccepted);
    // A thumb drag moves the list.
    scroll(l, d::kScrollThumbTrack, 10);
    EXPECT_EQ(l.top_row(), 11u);
    EXPECT_TRUE(host.delivered.empty());
}

TEST_F(ListWindow, PlainListLocatesTypedText) {
    fill(12);
    ListControl& l = list(0x3, {10, 10, 500, 200});
    l.focus();
    pump();
    type("site 1");
    EXPECT_EQ(l.selected(), 1u);
    type("1");
    EXPECT_EQ(l.selected(), 11u);
    EXPECT_EQ(l.rows().cell(11, 3), "11");
    EXPECT_EQ(l.rows().cell(2, 2), "Sport");
}

TEST_F(ListWindow, MouseSelectsAcceptsAndResizesColumns) {
    fill(10);
    ListControl& l = list(0x803, {10, 10, 560, 300});
    const int y = l.header_height() + l.row_height() * 2 + 2;
    click(l, 30, y);
    EXPECT_EQ(l.selected(), 3u);
    EXPECT_EQ(host.codes(), (std::vector<std::uint16_t>{ev::kNewSelection}));
    d::Point p = screen_of(l, 30, y);
    d::headless::mouse_down(p);
    d::headless::mouse_up(p);
    d::headless::mouse_down(p);
    d::headless::mouse_up(p);
    pump();
    EXPECT_EQ(host.events.back().event, ev::kAccepted);
    // Drag the first column's right edge 30 pixels to the right.
    const int edge = l.format().columns[0].right;
    const int before = l.format().columns[0].width;
    d::headless::mouse_down(screen_of(l, edge, 5));
    d::headless::mouse_move(screen_of(l, edge + 30, 5));
    d::headless::mouse_up(screen_of(l, edge + 30, 5));
    pump();
    EXPECT_EQ(l.format().columns[0].width, before + 30);
    EXPECT_EQ(l.format().columns[1].left, l.format().columns[0].right);
}

TEST_F(ListWindow, RightButtonSelectsTheRowAndReportsKeyCodeTwo) {
    fill(10);
    ListControl& l = list(0x803, {10, 10, 560, 300});
    const int y = l.header_height() + l.row_height() * 3 + 2;
    click(l, 30, y, d::kButtonRight);
    EXPECT_EQ(l.selected(), 4u);
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0], (PostedEvent{1, ev::kNewSelection, kKeyCodeRightButton}));
    // A second right press on the same row still reports, so the popup opens again.
    click(l, 30, y, d::kButtonRight);
    EXPECT_EQ(host.events.size(), 2u);
    // Below the last row nothing is selected and nothing reported.
    host.events.clear();
    fill(2);
    l.display();
    pump();
    click(l, 30, y, d::kButtonRight);
    EXPECT_TRUE(host.events.empty());
    // An empty list still reports the press, with no row selected, so that its
    // popup can offer Insert.
    fill(0);
    l.display();
    pump();
    click(l, 30, y, d::kButtonRight);
    EXPECT_EQ(l.selected(), 0u);
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0], (PostedEvent{1, ev::kNewSelection, kKeyCodeRightButton}));
}

TEST_F(ListWindow, HorizontalScrollingByKeysAndBar) {
    fill(3);
    ListControl& l = list(0x3, {10, 10, 300, 200});
    l.focus();
    pump();
    EXPECT_EQ(l.horizontal_offset(), 0);
    key(d::kVkRight);
    EXPECT_GT(l.horizontal_offset(), 0);
    key(d::kVkLeft);
    EXPECT_EQ(l.horizontal_offset(), 0);
    int lo = 0, hi = 0;
    d::scroll_range(l.window(), d::ScrollBarKind::kHorizontal, &lo, &hi);
    EXPECT_EQ(hi, l.format().total_width() - d::client_rect(l.window()).width());
}

namespace {
// Three of the browse columns: 483 pixels, narrower than a list across the window.
constexpr const char* kThreeColumns = "100L|M~Description~@S60@80L|M~Location~@S60@60L|M~Category~@S15@";

bool bar_shown(const ListControl& l, d::ScrollBarKind bar) { return d::scroll_bar_shown(l.window(), bar); }
}  // namespace

TEST_F(ListWindow, HorizontalBarOnlyWhileTheColumnsAreWiderThanTheList) {
    fill(3);
    ListControl& l = list(0x803, {10, 10, 570, 300}, kThreeColumns);
    const d::Rect outer = d::screen_rect(l.window());
    const int bare_height = outer.height() - 4;  // inside the sunken edge
    EXPECT_FALSE(bar_shown(l, d::ScrollBarKind::kHorizontal));
    EXPECT_TRUE(bar_shown(l, d::ScrollBarKind::kVertical));
    EXPECT_EQ(d::client_rect(l.window()).height(), bare_height);
    EXPECT_EQ(l.rows_per_page(), (bare_height - l.header_height()) / l.row_height());
    ASSERT_TRUE(d::headless::save_screenshot("/tmp/controls-list-columns-fit.png"));
    // Where the bar's left arrow would sit: the list's own white.
    const d::Point arrow{outer.left + 2 + 6, outer.bottom - 2 - 5};
    EXPECT_EQ(d::headless::screen_pixel(arrow), d::system_color(d::SystemColor::kWindow));
    std::string on;
    ASSERT_TRUE(l.get_property(kPropHScroll, 0, &on));
    EXPECT_EQ(on, "1");  // switched on, only not needed

    // Widening a column past the list brings the bar, and the page loses its rows.
    const int edge = l.format().columns[0].right;
    d::headless::mouse_down(screen_of(l, edge, 5));
    d::headless::mouse_move(screen_of(l, edge + 200, 5));
    d::headless::mouse_up(screen_of(l, edge + 200, 5));
    pump();
    ASSERT_GT(l.format().total_width(), d::client_rect(l.window()).width());
    EXPECT_TRUE(bar_shown(l, d::ScrollBarKind::kHorizontal));
    EXPECT_EQ(d::headless::screen_pixel(arrow), d::system_color(d::SystemColor::kButtonFace));
    const int narrower = d::client_rect(l.window()).height();
    EXPECT_LT(narrower, bare_height);
    std::string page;
    ASSERT_TRUE(l.get_property(kPropRowsPerPage, 0, &page));
    EXPECT_EQ(std::stoi(page), (narrower - l.header_height()) / l.row_height());
    int lo = -1, hi = -1;
    d::scroll_range(l.window(), d::ScrollBarKind::kHorizontal, &lo, &hi);
    EXPECT_EQ(hi, l.format().total_width() - d::client_rect(l.window()).width());
    l.focus();
    pump();
    for (int i = 0; i < 40; ++i) key(d::kVkRight);
    EXPECT_EQ(l.horizontal_offset(), hi);

    // Narrowed back, the columns fit: the bar goes and the list shows them from the start.
    const int wide_edge = l.format().columns[0].right - hi;
    d::headless::mouse_down(screen_of(l, wide_edge, 5));
    d::headless::mouse_move(screen_of(l, wide_edge - 200, 5));
    d::headless::mouse_up(screen_of(l, wide_edge - 200, 5));
    pump();
    EXPECT_FALSE(bar_shown(l, d::ScrollBarKind::kHorizontal));
    EXPECT_EQ(l.horizontal_offset(), 0);
    EXPECT_EQ(d::client_rect(l.window()).height(), bare_height);
    EXPECT_EQ(l.rows_per_page(), (bare_height - l.header_height()) / l.row_height());

    // Switched off by the procedure the bar stays away even for wide columns.
    ListControl& wide = list(0x803, {10, 310, 300, 420});
    EXPECT_TRUE(bar_shown(wide, d::ScrollBarKind::kHorizontal));
    ASSERT_TRUE(wide.set_property(kPropHScroll, 0, "0"));
    EXPECT_FALSE(bar_shown(wide, d::ScrollBarKind::kHorizontal));
    ASSERT_TRUE(wide.set_property(kPropHScroll, 0, "1"));
    EXPECT_TRUE(bar_shown(wide, d::ScrollBarKind::kHorizontal));
}

TEST_F(ListWindow, EachBarCanCallForTheOther) {
    // 495 wide: the three columns fit the bare width but not beside a vertical bar.
    fill(2);
    ListControl& l = list(0x3, {10, 10, 505, 200}, kThreeColumns);
    EXPECT_FALSE(bar_shown(l, d::ScrollBarKind::kVertical));
    EXPECT_FALSE(bar_shown(l, d::ScrollBarKind::kHorizontal));
    fill(40);
    l.display();
    pump();
    EXPECT_TRUE(bar_shown(l, d::ScrollBarKind::kVertical));
    EXPECT_TRUE(bar_shown(l, d::ScrollBarKind::kHorizontal));
    fill(2);
    l.display();
    pump();
    EXPECT_FALSE(bar_shown(l, d::ScrollBarKind::kVertical));
    EXPECT_FALSE(bar_shown(l, d::ScrollBarKind::kHorizontal));

    // Rows that just fill the bare page no longer fit once wide columns take a bar's
    // height, so the vertical bar comes too and the range covers the hidden row.
    ListControl& wide = list(0x3, {10, 210, 300, 420});
    const int bare = d::screen_rect(wide.window()).height() - 4;
    const int full_page = (bare - wide.header_height()) / wide.row_height();
    fill(full_page);
    wide.display();
    pump();
    EXPECT_TRUE(bar_shown(wide, d::ScrollBarKind::kHorizontal));
    EXPECT_TRUE(bar_shown(wide, d::ScrollBarKind::kVertical));
    EXPECT_LT(wide.rows_per_page(), full_page);
    int lo = -1, hi = -1;
    d::scroll_range(wide.window(), d::ScrollBarKind::kVertical, &lo, &hi);
    EXPECT_EQ(hi, full_page - wide.rows_per_page());
}

TEST_F(ListWindow, DropListDropsPicksAndTellsItsOwner) {
    fill(8);
    ListControl& l = list(0, {10, 10, 200, 34}, "60L~Category~@s15@", 4);
    std::size_t told = 0;
    l.set_choice_hook([&](std::size_t row) { told = row; });
    click(l, 5, 5);
    ASSERT_TRUE(l.is_dropped());
    EXPECT_EQ(l.drop()->visible_rows(), 4);
    EXPECT_EQ(host.codes().front(), ev::kDroppingDown);
    d::Rect popup = d::screen_rect(l.drop()->window());
    d::headless::click(d::Point{popup.left + 10, popup.top + 1 + l.row_height() + 2});
    pump();
    EXPECT_FALSE(l.is_dropped());
    EXPECT_EQ(l.selected(), 2u);
    EXPECT_EQ(told, 2u);
    EXPECT_EQ(host.codes().back(), ev::kNewSelection);
    // Closed, the arrow keys change the choice directly.
    l.focus();
    pump();
    key(d::kVkDown);
    EXPECT_EQ(told, 3u);
}

TEST_F(ListWindow, PaintsHeaderSelectionAndGreyWhenDisabled) {
    fill(6);
    ListControl& l = list(0x3, {10, 10, 560, 200});
    l.set_selected(2);
    l.focus();
    pump();
    const d::Rect outer = d::screen_rect(l.window());
    const d::Point origin = d::client_to_screen(l.window(), d::Point{0, 0});
    const int y2 = origin.y + l.header_height() + l.row_height() + l.row_height() / 2;
    EXPECT_EQ(d::headless::screen_pixel(d::Point{origin.x + 200, y2}), d::system_color(d::SystemColor::kHighlight));
    EXPECT_EQ(d::headless::screen_pixel(d::Point{origin.x + 200, origin.y + l.header_height() / 2}),
              d::system_color(d::SystemColor::kButtonFace));
    EXPECT_EQ(d::headless::screen_pixel(d::Point{origin.x + 200, y2 + l.row_height()}),
              d::system_color(d::SystemColor::kWindow));
    ASSERT_TRUE(d::headless::save_screenshot("/tmp/controls-list.png"));
    l.set_disabled(true);
    pump();
    EXPECT_EQ(d::headless::screen_pixel(d::Point{origin.x + 200, y2 + l.row_height()}),
              d::system_color(d::SystemColor::kButtonFace));
    (void)outer;
}

namespace {
// Pixels in a band of the list's client (x from x0 to x1, y from y0 to y1) that are
// not the header's face colour: the ink of header texts.
int ink(const ListControl& l, int x0, int x1, int y0, int y1) {
    const d::Point origin = d::client_to_screen(l.window(), d::Point{0, 0});
    const d::Color face = d::system_color(d::SystemColor::kButtonFace);
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += d::headless::screen_pixel(d::Point{origin.x + x, origin.y + y}) != face;
    return n;
}
}  // namespace

TEST_F(ListWindow, GroupHeadersSpanTheirColumnsAboveTheColumnHeaders) {
    fill(3);
    ListControl& plain = list(0x3, {10, 220, 560, 300});
    const int band = plain.row_height() + 4;
    EXPECT_EQ(plain.header_height(), band);

    ListControl& l = list(0x3, {10, 10, 560, 200}, "[60L~One~60L~Two~]~Group~C40L~Three~");
    ASSERT_EQ(l.format().groups.size(), 1u);
    EXPECT_EQ(l.format().groups[0].justify, kJustifyCenter);
    EXPECT_EQ(l.header_height(), 2 * band);
    // The rows start below both bands.
    l.set_selected(1);
    l.focus();
    pump();
    const d::Point origin = d::client_to_screen(l.window(), d::Point{0, 0});
    EXPECT_EQ(d::headless::screen_pixel(d::Point{origin.x + 300, origin.y + 2 * band + l.row_height() / 2}),
              d::system_color(d::SystemColor::kHighlight));
    ASSERT_TRUE(d::headless::save_screenshot("/tmp/controls-list-groups.png"));

    // "Group" is centred over the two columns it spans (0 to 240 pixels).
    const int w = host.font->text_width("Group");
    const int y0 = 3, y1 = band - 3;
    EXPECT_GT(ink(l, 120 - w / 2 - 2, 120 + w / 2 + 2, y0, y1), 0);
    EXPECT_EQ(ink(l, 4, 120 - w / 2 - 4, y0, y1), 0);
    EXPECT_EQ(ink(l, 120 + w / 2 + 4, 236, y0, y1), 0);
    // The third column belongs to no group: nothing is written above its header.
    EXPECT_EQ(ink(l, 244, 316, y0, y1), 0);
    // The column headers keep their own places in the band below.
    const int one = host.font->text_width("One");
    EXPECT_GT(ink(l, 3, 6 + one, band + 3, 2 * band - 3), 0);
    EXPECT_EQ(ink(l, 8 + one, 116, band + 3, 2 * band - 3), 0);
}

TEST_F(ListWindow, GroupHeaderJustificationAndIndent) {
    fill(2);
    ListControl& l = list(0x3, {10, 10, 560, 200}, "30L[60L60L]~Grp~R(5)");
    ASSERT_EQ(l.format().groups.size(), 1u);
    EXPECT_EQ(l.format().groups[0].first, 1u);
    EXPECT_EQ(l.format().groups[0].indent, 10);
    EXPECT_EQ(l.format().columns[1].justify, kJustifyLeft);
    const int band = l.row_height() + 4;
    EXPECT_EQ(l.header_height(), 2 * band);
    pump();
    // The group spans 60 to 300 pixels; its text ends its indent short of the right edge.
    const int w = host.font->text_width("Grp");
    const int right = 300 - 1 - 2 - 10;  // the cell's edge, the text inset and the indent
    EXPECT_GT(ink(l, right - w - 1, right + 1, 3, band - 3), 0);
    EXPECT_EQ(ink(l, right + 2, 296, 3, band - 3), 0);
    EXPECT_EQ(ink(l, 64, right - w - 3, 3, band - 3), 0);
}

TEST_F(ListWindow, DroppedImmediateDropListMakesEveryMoveTheChoice) {
    fill(6);
    ListControl& l = list(kControlImmediate, {10, 10, 200, 34}, "60L~Category~@s15@", 4);
    std::vector<std::size_t> told;
    l.set_choice_hook([&](std::size_t row) { told.push_back(row); });
    l.focus();
    pump();
    click(l, 5, 5);
    ASSERT_TRUE(l.is_dropped());
    host.events.clear();
    key(d::kVkDown);
    key(d::kVkDown);
    key(d::kVkUp);
    EXPECT_EQ(l.selected(), 1u);
    EXPECT_EQ(l.drop()->highlighted(), 1u);
    key(d::kVkUp);    // past the first row held: the procedure is asked for more
    key(d::kVkNext);  // a page on, to row 5
    key(d::kVkNext);  // past the last row: to row 6, and reported
    key(d::kVkEnd);   // already there: no new choice, but the bottom is the procedure's
    EXPECT_EQ(told, (std::vector<std::size_t>{1, 2, 1, 5, 6}));
    EXPECT_EQ(host.delivered, (std::vector<std::int32_t>{1003, 1006, 1008}));
    int selections = 0;
    for (const auto& e : host.events) selections += e.event == ev::kNewSelection;
    EXPECT_EQ(selections, 5);
    EXPECT_TRUE(l.is_dropped());
    key(d::kVkReturn);
    EXPECT_FALSE(l.is_dropped());
    EXPECT_EQ(l.selected(), 6u);
    EXPECT_EQ(told.size(), 5u);  // picking the row already chosen changes nothing
    // Typing locates a row in the dropped list, and the choice follows.
    click(l, 5, 5);
    ASSERT_TRUE(l.is_dropped());
    type("site 3");
    EXPECT_EQ(l.drop()->highlighted(), 3u);
    EXPECT_EQ(l.selected(), 3u);
    EXPECT_EQ(told.back(), 3u);
}

TEST_F(ListWindow, DroppedPlainDropListChoosesOnlyWhenPicked) {
    fill(6);
    ListControl& l = list(0, {10, 10, 200, 34}, "60L~Category~@s15@", 4);
    l.focus();
    pump();
    click(l, 5, 5);
    ASSERT_TRUE(l.is_dropped());
    host.events.clear();
    key(d::kVkDown);
    key(d::kVkDown);
    EXPECT_EQ(l.selected(), 0u);
    EXPECT_TRUE(host.events.empty());
    EXPECT_TRUE(host.delivered.empty());
    key(d::kVkReturn);
    EXPECT_EQ(l.selected(), 2u);
    EXPECT_EQ(host.codes(), (std::vector<std::uint16_t>{ev::kNewSelection}));
}

TEST_F(ListWindow, DroppedImmediateDropListReportsScrollingPastItsRows) {
    fill(8);
    ListControl& l = list(kControlImmediate, {10, 10, 200, 34}, "60L~Category~@s15@", 4);
    l.focus();
    pump();
    click(l, 5, 5);
    ASSERT_TRUE(l.is_dropped());
    auto send = [&](d::MessageCode code, std::uint32_t action, std::int64_t lparam) {
        d::Message m;
        m.code = code;
        m.window = l.drop()->window();
        m.wparam = action;
        m.lparam = lparam;
        m.flags = 1;
        d::post_message(m);
        pump();
    };
    send(d::kMsgMouseWheel, 0, 120);  // at the top already
    send(d::kMsgMouseWheel, 0, -120);
    EXPECT_EQ(l.drop()->top(), 4u);
    send(d::kMsgScroll, d::kScrollPageDown, 0);
    EXPECT_EQ(l.drop()->top(), 5u);
    send(d::kMsgScroll, d::kScrollLineDown, 0);  // no further
    send(d::kMsgScroll, d::kScrollThumbTrack, 1);
    send(d::kMsgScroll, d::kScrollTop, 0);
    EXPECT_EQ(l.drop()->top(), 1u);
    EXPECT_EQ(host.delivered, (std::vector<std::int32_t>{1003, 1004, 1007}));
    EXPECT_EQ(l.selected(), 0u);  // scrolling chooses nothing
}
