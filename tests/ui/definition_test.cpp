// The compiled select-a-category dialog against its fixed byte layout, the
// writer/loader round trip of every record kind, and the source parser's faults.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ui/definition.h"
#include "ui/definition_source.h"
#include "ui/definition_writer.h"
#include "ui/resource_registry.h"

namespace sk::ui {
namespace {

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::uint8_t> compile(const std::string& source) {
    ResourceDefinition r;
    std::string error;
    EXPECT_TRUE(parse_definition_source(source, r, error)) << error;
    return write_resource_body(r);
}

class WorkedExample : public ::testing::Test {
protected:
    void SetUp() override {
        body = compile(read_text(std::string(SK_SOURCE_DIR) + "/resources/lkdb3001.wdef"));
        auto built = DefinitionImage::from_body(body);
        ASSERT_TRUE(built);
        image = std::move(*built);
    }
    std::uint32_t u32(std::uint32_t at) {
        std::uint32_t v = 0;
        EXPECT_TRUE(image.read_u32(at, v)) << at;
        return v;
    }
    std::uint8_t u8(std::uint32_t at) {
        std::uint8_t v = 0;
        EXPECT_TRUE(image.read_u8(at, v)) << at;
        return v;
    }
    std::string str_at(std::uint32_t field) {
        std::string s;
        EXPECT_TRUE(image.read_string(u32(field), s)) << field;
        return s;
    }
    std::vector<std::uint8_t> body;
    DefinitionImage image;
};

TEST_F(WorkedExample, SizesModuleAndFirstWindow) {
    EXPECT_EQ(body.size(), 702u);
    EXPECT_EQ(image.size(), 688u);
    EXPECT_EQ(image.module_string(), "LKDB32$lkdb3001");
    EXPECT_EQ(image.first_window(), 111u);
    EXPECT_EQ(u8(0), 0);
    EXPECT_EQ(u8(1), 0);
    // The last record ends at 684; the four bytes after it are zero padding.
    for (std::uint32_t i = 684; i < 688; ++i) EXPECT_EQ(u8(i), 0);
}

TEST_F(WorkedExample, WindowRecordAndFontBlock) {
    const std::uint32_t w = 111;
    EXPECT_EQ(u8(w), 25);
    EXPECT_EQ(u32(w + 1), 0u);
    EXPECT_EQ(u32(w + 5), 0x810u);
    EXPECT_EQ(u32(w + 13), 0x80000000u);
    EXPECT_EQ(u32(w + 17), 0x80000000u);
    EXPECT_EQ(u32(w + 21), 158u);
    EXPECT_EQ(u32(w + 25), 119u);
    EXPECT_EQ(u32(w + 29), 266u);
    EXPECT_EQ(str_at(w + 33), "SELECTCATEGORIES$QUICKWINDOW");
    EXPECT_EQ(u32(w + 37), 53u);
    EXPECT_EQ(str_at(w + 41), "Select a Category");
    EXPECT_EQ(str_at(w + 53), "WINPYR.ICO");
    EXPECT_EQ(u32(w + 57), 0u);
    EXPECT_EQ(str_at(w + 65), "SelectCategories");
    EXPECT_EQ(u32(w + 77), 0x3004u);
    EXPECT_EQ(u32(w + 85), 0u);
    EXPECT_EQ(u32(w + 89), 0u);
    EXPECT_EQ(u32(w + 101), 0u);
    for (std::uint32_t reserved : {9u, 45u, 49u, 61u, 69u, 73u, 81u, 93u, 97u}) EXPECT_EQ(u32(w + reserved), 0u);
    EXPECT_EQ(str_at(53), "MS Sans Serif");
    EXPECT_EQ(u32(57), 8u);
    EXPECT_EQ(u32(61), 0xFFFFFFFFu);
    EXPECT_EQ(u32(65), 0xFFFFFFFFu);
}

TEST_F(WorkedExample, ControlsInChainOrder) {
    EXPECT_EQ(u8(266), kKindList);
    EXPECT_EQ(u32(266 + 1), 373u);
    EXPECT_EQ(u32(266 + 5), 0x803u);
    EXPECT_EQ(u32(266 + 13), 1u);
    EXPECT_EQ(u32(266 + 21), 0u);
    EXPECT_EQ(str_at(266 + 25), "60L(0)|M~Category~@s15@");
    EXPECT_EQ(u32(266 + 29), 8u);
    EXPECT_EQ(u32(266 + 33), 20u);
    EXPECT_EQ(u32(266 + 37), 142u);
    EXPECT_EQ(u32(266 + 41), 74u);
    EXPECT_EQ(str_at(266 + 45), "Browsing Records");
    EXPECT_EQ(u8(266 + 73), 0);
    EXPECT_EQ(u32(266 + 78), 257u);
    EXPECT_EQ(u8(257), 25);

    EXPECT_EQ(u8(373), kKindButton);
    EXPECT_EQ(u32(373 + 1), 455u);
    EXPECT_EQ(u32(373 + 13), 2u);
    EXPECT_EQ(u32(373 + 21), 55u);
    EXPECT_EQ(u32(373 + 25), 98u);
    EXPECT_EQ(u32(373 + 29), 45u);
    EXPECT_EQ(u32(373 + 33), 14u);
    EXPECT_EQ(str_at(373 + 65), "&Select");

    EXPECT_EQ(u8(455), kKindSheet);
    EXPECT_EQ(u32(455 + 1), 602u);
    EXPECT_EQ(u32(455 + 13), 3u);
    EXPECT_EQ(u32(455 + 25), 4u);
    EXPECT_EQ(u32(455 + 33), 150u);
    EXPECT_EQ(u32(455 + 37), 111u);
    EXPECT_EQ(u32(455 + 73), 541u);
    EXPECT_EQ(u8(541), kKindTab);
    EXPECT_EQ(u32(541 + 1), 0u);
    EXPECT_EQ(u32(541 + 13), 0u);
    EXPECT_EQ(u32(541 + 21), 0x80000000u);
    EXPECT_EQ(u32(541 + 25), 0x80000000u);
    EXPECT_EQ(str_at(541 + 42), "Category");
    EXPECT_EQ(u32(541 + 50), 0u);

    EXPECT_EQ(u8(602), kKindButton);
    EXPECT_EQ(u32(602 + 1), 0u);
    EXPECT_EQ(u32(602 + 13), 4u);
    EXPECT_EQ(u32(602 + 21), 105u);
    EXPECT_EQ(str_at(602 + 65), "Cl&ose");
}

TEST_F(WorkedExample, OneBindingForTheRowQueue) {
    WindowDefinition w;
    ASSERT_TRUE(read_window(image, 111, w));
    const auto slots = binding_slots(w);
    ASSERT_EQ(slots.size(), 1u);
    EXPECT_TRUE(slots[0].is_row_source);
    EXPECT_EQ(slots[0].tag, kBindingTagQueue);
    EXPECT_EQ(slots[0].control->offset, 266u);
}

TEST_F(WorkedExample, EmbeddedCopyIsTheSameBytes) {
    const auto found = find_resources("lkdb3001_rsc");
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.front().module, kProgramModule);
    EXPECT_EQ(found.front().body, body);
}

TEST_F(WorkedExample, IndependentReaderAgrees) {
    const std::string path = ::testing::TempDir() + "lkdb3001_body.bin";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
    }
    const std::string cmd = "python3 " SK_CONFORM_DIR "/dabdump.py check-worked-example " + path + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::remove(path.c_str());
}

// A resource using every record kind and every field the writer knows.
ResourceDefinition every_kind() {
    ResourceDefinition r;
    r.module = "TEST$every";
    WindowDefinition w;
    w.attributes = 0x110;
    w.x = 10, w.y = 20, w.width = 300, w.height = 200;
    w.label = "EVERY$WINDOW";
    w.font = FontBlock{"Fixedsys", 9, 0x123456, 400};
    w.title = "Every kind";
    w.icon = "LINKDB.ICO";
    w.message = "window message";
    w.help = "Every";
    w.alert_keys = {0x70, 0x71};
    w.frame = 0x3846;
    w.palette = 16;
    w.timer = 25;
    w.cursor = "HAND.CUR";
    w.status_zones = {-1, 80, 120, 45};
    auto base = [](std::uint8_t kind, int field) {
        ControlDefinition c;
        c.kind = kind;
        c.field = field;
        c.pos = {1, 2, 3, 4};
        return c;
    };
    int n = 1;
    ControlDefinition c = base(kKindStringVar, n++);
    c.binding = Binding{18}, c.picture = "s80", c.options = 3, c.display = 0x1234;
    c.header_strings = {"one", "two"}, c.extra = "extra";
    w.controls.push_back(c);
    c = base(kKindString, n++);
    c.text = "Constant", c.word1 = 5, c.word2 = 6;
    w.controls.push_back(c);
    c = base(kKindImage, n++);
    c.file = "LINKDB01.GIF";
    w.controls.push_back(c);
    c = base(kKindRegion, n++);
    c.color1 = 0xFF, c.color2 = -1, c.strings = {"r1", "r2", "r3"};
    w.controls.push_back(c);
    w.controls.push_back(base(kKindLine, n++));
    c = base(kKindBox, n++);
    c.color1 = 7, c.color2 = 8;
    w.controls.push_back(c);
    c = base(kKindEntry, n++);
    c.binding = Binding{18}, c.picture = "S60", c.width = 60, c.options = 1;
    c.attr = {"entry msg", "entry help", 9, 10, "s1", "s2"};
    w.controls.push_back(c);
    c = base(kKindButton, n++);
    c.text = "&OK", c.icon = "OK.ICO", c.action = 15, c.options = 2, c.flags = kFlagDisabled;
    c.attr.message = "press it";
    w.controls.push_back(c);
    c = base(kKindPrompt, n++);
    c.text = "&Location:", c.pos.width = kDefault, c.pos.height = kDefault;
    w.controls.push_back(c);
    c = base(kKindOption, n++);
    c.binding = Binding{18}, c.text = "Direction";
    ControlDefinition up = base(kKindRadio, n++), down = base(kKindRadio, n++);
    up.text = "Up", down.text = "Down";
    c.children = {up, down};
    w.controls.push_back(c);
    c = base(kKindCheck, n++);
    c.binding = Binding{1}, c.text = "Match &Case", c.attr.help = "check help";
    w.controls.push_back(c);
    c = base(kKindList, n++);
    c.binding = Binding{18}, c.row_source = Binding{25}, c.format = "60L~Category~@s15@", c.drop = 4;
    c.strings = {"fixed row"}, c.attr.message = "Browsing Records";
    w.controls.push_back(c);
    c = base(kKindCombo, n++);
    c.binding = Binding{18}, c.format = "60L~Category~@s15@", c.drop = 5, c.picture = "s15";
    c.row_source = Binding{25};
    w.controls.push_back(c);
    c = base(kKindSpin, n++);
    c.binding = Binding{6}, c.picture = "n5", c.low = -1.5, c.high = 99.25, c.step = 0.5, c.row_source = Binding{25};
    w.controls.push_back(c);
    c = base(kKindText, n++);
    c.binding = Binding{18}, c.options = 4, c.attr.message = "text msg";
    w.controls.push_back(c);
    c = base(kKindProgress, n++);
    c.binding = Binding{6}, c.low = 0, c.high = 100, c.attr.message = "progress";
    w.controls.push_back(c);
    c = base(kKindSheet, n++);
    ControlDefinition tab = base(kKindTab, 0);
    tab.text = "General", tab.options = 1;
    tab.children = {base(kKindLine, n++)};
    ControlDefinition tab2 = base(kKindTab, 0);
    tab2.text = "Category";
    c.children = {tab, tab2};
    w.controls.push_back(c);

    MenuBarDefinition bar;
    bar.flags = 1;
    MenuDefinition file;
    file.kind = kKindMenu, file.field = -1, file.text = "&File", file.message = "File things";
    MenuDefinition exit_item;
    exit_item.field = -2, exit_item.text = "E&xit", exit_item.message = "Exit this application", exit_item.action = 15;
    MenuDefinition separator;
    separator.flags = kItemSeparator;
    MenuDefinition bound;
    bound.field = -3, bound.text = "&Bound", bound.binding = Binding{18}, bound.flags = kFlagDisabled;
    MenuDefinition sub;
    sub.kind = kKindMenu, sub.field = -4, sub.text = "&More";
    sub.children = {bound};
    file.children = {exit_item, separator, sub};
    bar.menus = {file};
    w.menu_bar = bar;
    r.windows.push_back(w);

    WindowDefinition second;
    second.label = "EVERY$SECOND";
    second.kind = kKindReport;
    second.x = 1000, second.y = 1720, second.width = 6000, second.height = 7280;
    r.windows.push_back(second);
    return r;
}

TEST(DefinitionRoundTrip, EveryRecordKindReadsBackAsWritten) {
    const ResourceDefinition r = every_kind();
    const auto body = write_resource_body(r);
    auto image = DefinitionImage::from_body(body);
    ASSERT_TRUE(image);
    ResourceDefinition back;
    std::string why;
    ASSERT_TRUE(read_resource(*image, back, &why)) << why;
    EXPECT_EQ(back.module, r.module);
    ASSERT_EQ(back.windows.size(), 2u);
    EXPECT_TRUE(back.windows[0] == r.windows[0]);
    EXPECT_TRUE(back.windows[1] == r.windows[1]);
    EXPECT_TRUE(back.windows[0].menu_bar->menus[0].children[1].is_separator());
}

TEST(DefinitionRoundTrip, IndependentReaderFindsNoProblems) {
    // The other reader takes a progress bar's attribute block as 28 bytes, so its
    // high value would read there as string offsets; with a zero range both
    // readings agree.
    ResourceDefinition r = every_kind();
    for (ControlDefinition& c : r.windows[0].controls)
        if (c.kind == kKindProgress) c.low = c.high = 0;
    const auto body = write_resource_body(r);
    const std::string path = ::testing::TempDir() + "every_kind_body.bin";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
    }
    const std::string cmd = "python3 " SK_CONFORM_DIR "/dabdump.py dump " + path + " 2>&1";
    std::string output;
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    EXPECT_EQ(pclose(pipe), 0) << output;
    std::remove(path.c_str());
}

TEST(DefinitionRoundTrip, StringsAreStoredOnceAndBeforeTheirFirstUser) {
    ResourceDefinition r;
    r.module = "M$m";
    WindowDefinition w;
    w.label = "A$B";
    w.title = "Same";
    ControlDefinition p;
    p.kind = kKindPrompt;
    p.text = "Same";
    w.controls = {p, p};
    r.windows = {w};
    const auto body = write_resource_body(r);
    auto image = DefinitionImage::from_body(body);
    ASSERT_TRUE(image);
    WindowDefinition back;
    ASSERT_TRUE(read_window(*image, image->first_window(), back));
    std::uint32_t title = 0, t1 = 0, t2 = 0;
    image->read_u32(back.offset + win::kTitle, title);
    image->read_u32(back.controls[0].offset + 41, t1);
    image->read_u32(back.controls[1].offset + 41, t2);
    EXPECT_EQ(title, t1);
    EXPECT_EQ(t1, t2);
    EXPECT_LT(title, back.offset);
}

TEST(DefinitionSource, ReportsFaultsWithTheirLine) {
    struct Case {
        const char* source;
        const char* expected;
    } cases[] = {
        {"window \"A$B\" { }", "no module string"},
        {"module \"NODOLLAR\"\nwindow \"A$B\" { }", "no \"$\""},
        {"module \"M$m\"\nwindow \"A$B\" {\n  line 1 { text \"x\" }\n}", "line 3: attribute \"text\" does not apply"},
        {"module \"M$m\"\nwindow \"A$B\" {\n  button 1 { list 2 { } }\n}", "line 3: this kind holds no child"},
        {"module \"M$m\"\nwindow \"A$B\" {\n  title \"unterminated\n}", "line 3: string runs past"},
        {"module \"M$m\"\nwindow \"A$B\" {\n  timer 99999999999\n}", "line 3: number out of range"},
        {"module \"M$m\"\nwindow \"A$B\" {\n  title \"a\\x00b\"\n}", "zero byte"},
        {"module \"M$m\"\nwindow \"A$B\" {\n  frobnicate 1\n}", "unknown window attribute"},
        {"module \"M$m\"\nwindow \"A$B\" {\n", "window not closed"},
        {"module \"M$m\"\n", "no window"},
    };
    for (const Case& c : cases) {
        ResourceDefinition r;
        std::string error;
        EXPECT_FALSE(parse_definition_source(c.source, r, error)) << c.source;
        EXPECT_NE(error.find(c.expected), std::string::npos) << "got: " << error;
    }
}

TEST(DefinitionSource, MenusStatusBarAndClasslessRecords) {
    const char* source = R"(
module "LKDB32$lkdb3004"
window "MAIN$APPFRAME" {
  frame 0x1820
  status -1 80 120 45
  menubar {
    menu -1 "&File" {
      msg "File menu"
      item -2 "&Print Setup ..." { action 16 }
      separator
      item -3 "E&xit" { action 15 msg "Exit this application" }
    }
  }
  record 27 0 { flags 1 }
  prompt 1 { at 4 4 default default text "&Name:" }
}
)";
    ResourceDefinition r;
    std::string error;
    ASSERT_TRUE(parse_definition_source(source, r, error)) << error;
    const auto body = write_resource_body(r);
    auto image = DefinitionImage::from_body(body);
    ASSERT_TRUE(image);
    ResourceDefinition back;
    ASSERT_TRUE(read_resource(*image, back, &error)) << error;
    const WindowDefinition& w = back.windows.at(0);
    EXPECT_EQ(w.status_zones, (std::vector<std::int32_t>{-1, 80, 120, 45}));
    ASSERT_TRUE(w.menu_bar);
    const MenuDefinition& file = w.menu_bar->menus.at(0);
    EXPECT_EQ(file.text, "&File");
    ASSERT_EQ(file.children.size(), 3u);
    EXPECT_EQ(file.children[0].action, 16u);
    EXPECT_TRUE(file.children[1].is_separator());
    EXPECT_EQ(file.children[2].message, "Exit this application");
    // The report record has no control class: the chain passes over it.
    ASSERT_EQ(w.controls.size(), 1u);
    EXPECT_EQ(w.controls[0].kind, kKindPrompt);
    EXPECT_EQ(w.controls[0].pos.width, kDefault);
}

}  // namespace
}  // namespace sk::ui

namespace sk::ui {
namespace {

// Every source in resources/ compiles, and the program carries exactly those bytes
// under the resource name its module string gives.
TEST(ResourceSources, EveryModuleIsEmbeddedAsCompiled) {
    const std::string dir = std::string(SK_SOURCE_DIR) + "/resources";
    int seen = 0;
    // The resources of every window the application opens.
    for (const char* stem : {"lkdb3001", "lkdb3002", "lkdb3003", "lkdb3004", "lkdb3005", "lkdb3006", "lkdb3007",
                             "lkdb3013", "lkdb3014", "lkdb3015", "lkdb3016", "lkdb3017", "lkdb3018", "lkdb3023",
                             "lkdb3024"}) {
        const std::string text = read_text(dir + "/" + stem + ".wdef");
        ASSERT_FALSE(text.empty()) << stem;
        ResourceDefinition r;
        std::string error;
        ASSERT_TRUE(parse_definition_source(text, r, error)) << stem << ": " << error;
        const auto body = write_resource_body(r);
        const auto found = find_resources(resource_name(r.module));
        ASSERT_FALSE(found.empty()) << stem;
        EXPECT_EQ(found.front().body, body) << stem;
        for (const WindowDefinition& w : r.windows)
            EXPECT_TRUE(find_window_definition(r.module, w.label)) << w.label;
        ++seen;
    }
    EXPECT_EQ(seen, 15);
}

}  // namespace
}  // namespace sk::ui
