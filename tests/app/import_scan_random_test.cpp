// The three line scanners over mutated lines: pieces of real input cut, repeated
// and mixed with random bytes. Every line must be scanned without a fault or a
// hang, and what comes out must keep the limits the records rely on. The seed is
// printed with any failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "app/import_ascii.h"
#include "app/import_html.h"
#include "app/import_text.h"

namespace sk::app {
namespace {

const char* const kPieces[] = {
    "<DT><A HREF=\"http://a.example/\" ADD_DATE=\"1\">Tools</A>",
    "<H3 ADD_DATE=\"2\">News</H3>", "<hr>", "<a href=", "\"", "\"\",\"", "http://", "ftp://x",
    "telnet://", "news://", "gopher://", "#top", "</a>", "<", ">", " ", ",", "\"http://q.example\",\"Desc\",\"Notes\"",
    "A HREF", "a href=\"#\"", "://", "\xC3\xA9", "\xFF\xFE", "\x80", "\t", "\r",
};

std::string mutated_line(std::mt19937& rng) {
    std::string line;
    const int parts = static_cast<int>(rng() % 24);
    for (int i = 0; i < parts; ++i) {
        switch (rng() % 4) {
            case 0:
            case 1: line += kPieces[rng() % std::size(kPieces)]; break;
            case 2: line.push_back(static_cast<char>(rng() % 256)); break;
            default: line.append(rng() % 200, static_cast<char>("ah:/\"#x "[rng() % 8])); break;
        }
    }
    return line.substr(0, 255);  // the imports read lines of at most 255 bytes
}

TEST(ImportScanRandom, MutatedLinesAreScannedWithinTheFieldLimits) {
    const std::uint32_t seed = 20261209;
    std::mt19937 rng(seed);
    std::string heading;
    for (int round = 0; round < 20000; ++round) {
        const std::string line = mutated_line(rng);
        SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));

        std::vector<HtmlLink> links;
        scan_html_line(line, &heading, &links);
        EXPECT_LE(heading.size(), kHeadingWorkSize);
        EXPECT_LE(links.size(), line.size());
        for (const HtmlLink& l : links) {
            EXPECT_LE(l.location.size(), 128u);
            EXPECT_LE(l.description.size(), 60u);
            EXPECT_LE(l.site_info.size(), 500u);
            EXPECT_LE(l.keyword.size(), 10u);
        }

        const std::vector<TextAddress> found = scan_text_line(line);
        EXPECT_LE(found.size(), line.size());
        for (const TextAddress& a : found) {
            EXPECT_LE(a.location.size(), 128u);
            EXPECT_LE(a.description.size(), 60u);
            EXPECT_LE(a.site_info.size(), 500u);
            EXPECT_LE(a.keyword.size(), 10u);
        }

        if (const auto site = scan_ascii_list_line(line)) {
            EXPECT_LE(site->location.size(), 128u);
            EXPECT_LE(site->description.size(), 60u);
            EXPECT_LE(site->site_info.size(), 500u);
            EXPECT_LE(site->keyword.size(), 10u);
        }
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace sk::app
