// Measurement units, conversion to pixels and natural sizes.
#include <gtest/gtest.h>

#include "ui/definition.h"

namespace sk::ui {
namespace {

// A font 6 pixels per character and 13 high: average width (312 / 26 + 1) / 2 = 6.
int six_per_char(std::string_view text, const void*) { return static_cast<int>(text.size()) * 6; }

UnitContext font_context() {
    UnitContext c;
    c.text_width = six_per_char;
    c.char_height = 13;
    c.dpi_x = 96;
    c.dpi_y = 120;
    return c;
}

TEST(Units, MultipliersAndDivisorPerUnit) {
    const UnitContext c = font_context();
    EXPECT_EQ(average_char_width(c), 6);
    struct Case {
        std::uint32_t attributes;
        bool measurable;
        std::int32_t hmul, vmul, div;
    } cases[] = {
        {0x810, true, 12, 13, 8},     // dialog units: 2 × average width, cell height, 8
        {0x100, true, 96, 120, 25},   // 1/25 inch
        {0x200, true, 96, 120, 1000}, // 1/1000 inch
        {0x300, true, 96, 120, 72},   // points
        {0x300, false, 1, 1, 1},      // points on a device that cannot be measured
    };
    for (const Case& k : cases) {
        UnitContext ctx = c;
        ctx.device_measurable = k.measurable;
        const UnitScale s = unit_scale(k.attributes, ctx);
        EXPECT_EQ(s.hmul, k.hmul) << std::hex << k.attributes;
        EXPECT_EQ(s.vmul, k.vmul) << std::hex << k.attributes;
        EXPECT_EQ(s.div, k.div) << std::hex << k.attributes;
    }
}

TEST(Units, ConversionRoundsToNearestAndDefaultIsZero) {
    const UnitScale s = unit_scale(0, font_context());
    EXPECT_EQ(to_pixels(s, true, 158), 237);   // 158 × 12 / 8
    EXPECT_EQ(to_pixels(s, false, 119), 193);  // 193.375
    EXPECT_EQ(to_pixels(s, true, 1), 2);       // 1.5 rounds up
    EXPECT_EQ(to_pixels(s, true, -1), -2);     // and away from zero below it
    EXPECT_EQ(to_pixels(s, false, 3), 5);      // 4.875
    EXPECT_EQ(to_pixels(s, true, kDefault), 0);
    // A 64-bit product: no overflow for large values.
    const UnitScale mil = unit_scale(0x200, font_context());
    EXPECT_EQ(to_pixels(mil, true, 2000000000), 192000000);
    EXPECT_EQ(to_units(s, true, 237), 158);
    EXPECT_EQ(to_units(mil, false, 120), 1000);
}

TEST(Units, ControlEdgesConvertSeparatelyAndAddTheOrigin) {
    const UnitContext c = font_context();
    const UnitScale s = unit_scale(0, c);
    ControlDefinition list;
    list.kind = kKindList;
    list.pos = {8, 20, 142, 74};
    EXPECT_EQ(control_rect(list, s, c, 3, 5), (PixelRect{15, 38, 228, 158}));
    // x 1 width 1: edges at 1.5 → 2 and 3.0 → 3, one pixel wide, not two.
    ControlDefinition narrow;
    narrow.kind = kKindBox;
    narrow.pos = {1, 0, 1, 1};
    const PixelRect r = control_rect(narrow, s, c, 0, 0);
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.right, 3);
}

TEST(Units, NaturalSizes) {
    const UnitContext c = font_context();
    const UnitScale s = unit_scale(0, c);
    ControlDefinition region;
    region.kind = kKindRegion;
    region.pos = {0, 0, kDefault, kDefault};
    EXPECT_EQ(natural_size(region, s, c), (PixelSize{96, 104}));  // 16 widths, 8 heights
    EXPECT_EQ(control_rect(region, s, c, 10, 10), (PixelRect{10, 10, 106, 114}));

    ControlDefinition prompt;
    prompt.kind = kKindPrompt;
    prompt.text = "&Location:";
    prompt.pos = {4, 4, kDefault, kDefault};
    EXPECT_EQ(natural_size(prompt, s, c), (PixelSize{54, 15}));  // "&" not shown; height + 8 / 4

    // Only the size given as 0x80000000 is natural.
    prompt.pos.width = 40;
    const PixelRect r = control_rect(prompt, s, c, 0, 0);
    EXPECT_EQ(r.right, to_pixels(s, true, 44));
    EXPECT_EQ(r.bottom - r.top, 15);

    const UnitContext no_font;
    const UnitScale ns = unit_scale(0x100, no_font);
    EXPECT_EQ(natural_size(region, ns, no_font), (PixelSize{80, 80}));
}

}  // namespace
}  // namespace sk::ui
