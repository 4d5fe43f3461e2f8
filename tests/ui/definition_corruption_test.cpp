// Random damage to valid definition images never crashes the loader: every
// mutation either reads or fails cleanly.
#include <gtest/gtest.h>

#include <random>

#include "ui/definition.h"
#include "ui/definition_source.h"
#include "ui/definition_writer.h"
#include "ui/resource_registry.h"

namespace sk::ui {
namespace {

const char* kRich = R"(
module "TEST$rich"
window "RICH$ONE" {
  title "Rich" font "Fixedsys" 9 -1 400 icon "A.ICO" msg "m" help "h" cursor "C.CUR"
  alert 112 alert 113 status -1 80 120
  entry 1 { bind 18 picture "S60" msg "entry" help "eh" header_strings "a" "b" }
  list 2 { bind 18 rows 25 format "60L~Category~@s15@" strings "x" "y" drop 4 }
  sheet 3 { tab 0 { text "General" option 4 { bind 18 radio 5 { text "Up" } radio 6 { text "Down" } } }
            tab 0 { text "More" spin 7 { bind 6 low 1 high 9 step 1 rows 25 } progress 8 { bind 6 high 100 } } }
  region 9 { colors 1 2 strings "r" }
  menubar { menu -1 "&File" { item -2 "E&xit" { action 15 } separator menu -3 "&Sub" { item -4 "&Go" { bind 18 } } } }
}
window "RICH$TWO" { title "Two" button 1 { text "&OK" } }
)";

std::vector<std::uint8_t> rich_body() {
    ResourceDefinition r;
    std::string error;
    EXPECT_TRUE(parse_definition_source(kRich, r, error)) << error;
    return write_resource_body(r);
}

// Reads everything a window open would read; the results do not matter.
void exercise(const std::vector<std::uint8_t>& body) {
    auto image = DefinitionImage::from_body(body);
    if (!image) return;
    std::vector<std::pair<std::string, std::uint32_t>> labels;
    window_labels(*image, labels);
    ResourceDefinition all;
    std::string why;
    if (read_resource(*image, all, &why)) {
        for (const WindowDefinition& w : all.windows) {
            std::vector<void*> assigned;
            int dummy[64] = {};
            void* list[65] = {};
            for (int i = 0; i < 64; ++i) list[i] = &dummy[i];
            assign_bindings(w, list, assigned);
            menu_bindings(w);
        }
    }
    for (std::uint32_t at = 0; at < image->size(); at += 7) {
        WindowDefinition w;
        read_window(*image, at, w);
    }
}

TEST(DefinitionCorruption, RandomMutationsNeverCrash) {
    const std::vector<std::vector<std::uint8_t>> seeds = {rich_body(), find_resources("LKDB3001_RSC").at(0).body};
    std::mt19937 rng(20261208);
    for (int round = 0; round < 4000; ++round) {
        std::vector<std::uint8_t> body = seeds[round % seeds.size()];
        const int kind = static_cast<int>(rng() % 4);
        if (kind == 0) {  // flip a few bytes
            for (int n = 1 + static_cast<int>(rng() % 6); n > 0; --n) body[rng() % body.size()] = std::uint8_t(rng());
        } else if (kind == 1) {  // truncate
            body.resize(rng() % body.size());
        } else if (kind == 2) {  // aim a word at a nearby or wild offset
            const std::size_t at = rng() % (body.size() - 4);
            const std::uint32_t v = (rng() & 1) ? std::uint32_t(rng() % (body.size() + 16)) : std::uint32_t(rng());
            for (int i = 0; i < 4; ++i) body[at + i] = std::uint8_t(v >> (8 * i));
        } else {  // copy a stretch over another, making loops and crossed links
            const std::size_t from = rng() % body.size(), to = rng() % body.size();
            const std::size_t n = std::min<std::size_t>({rng() % 40, body.size() - from, body.size() - to});
            std::copy_n(seeds[0].begin() + std::min(from, seeds[0].size() - n), n, body.begin() + to);
        }
        exercise(body);
    }
}

TEST(DefinitionCorruption, LoopsAndStringsRunningOffTheEndFailCleanly) {
    std::vector<std::uint8_t> body = rich_body();
    auto image = DefinitionImage::from_body(body);
    ASSERT_TRUE(image);
    ResourceDefinition r;
    ASSERT_TRUE(read_resource(*image, r));
    const std::uint32_t first = r.windows[0].controls[0].offset;
    const std::size_t lead = body.size() - image->size();  // body offset = image offset + lead
    // The first control's next link pointing at itself.
    std::vector<std::uint8_t> looped = body;
    for (int i = 0; i < 4; ++i) looped[lead + first + 1 + i] = std::uint8_t(first >> (8 * i));
    auto li = DefinitionImage::from_body(looped);
    std::string why;
    EXPECT_FALSE(read_resource(*li, r, &why));
    EXPECT_NE(why.find("loops"), std::string::npos) << why;
    // The last string of the image without its terminator.
    std::vector<std::uint8_t> open_string = {'M', '$', 'x', 0, 6, 0, 0, 0, 'a', 'b'};
    auto oi = DefinitionImage::from_body(open_string);
    ASSERT_TRUE(oi);
    std::string s;
    EXPECT_FALSE(oi->read_string(6, s));
    EXPECT_TRUE(oi->read_string(0, s));
    EXPECT_EQ(s, "");
    EXPECT_FALSE(DefinitionImage::from_body(std::vector<std::uint8_t>{'M', '$', 'x'}));
    EXPECT_FALSE(DefinitionImage::from_body(std::vector<std::uint8_t>{'M', 0, 1, 2}));
}

}  // namespace
}  // namespace sk::ui
