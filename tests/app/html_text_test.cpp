// Character references: decoding imported page text, escaping exported text,
// and cutting escaped lines without splitting a reference.
#include "app/html_text.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace {

using sk::app::decode_html_references;
using sk::app::escape_html_attribute;
using sk::app::escape_html_text;
using sk::app::html_fit;

// Each pair: a text and what decoding it gives.
void expect_decoded(std::initializer_list<std::pair<std::string, std::string>> cases)
{
    for (const auto& [text, decoded] : cases)
        EXPECT_EQ(decode_html_references(text), decoded) << text;
}

TEST(HtmlText, NamedDecimalAndHexReferencesDecodeToUtf8)
{
    expect_decoded({
        {"AT&amp;T", "AT&T"},
        {"&lt;b&gt; &quot;q&quot; &apos;a&apos;", "<b> \"q\" 'a'"},
        {"a&nbsp;b", "a\xC2\xA0" "b"},
        {"caf&eacute; &Eacute;t&eacute; &yuml;", "caf\xC3\xA9 \xC3\x89t\xC3\xA9 \xC3\xBF"},
        {"&copy;&reg;&trade;&euro;", "\xC2\xA9\xC2\xAE\xE2\x84\xA2\xE2\x82\xAC"},
        {"&hellip;&ndash;&mdash;", "\xE2\x80\xA6\xE2\x80\x93\xE2\x80\x94"},
        {"&lsquo;&rsquo;&ldquo;&rdquo;", "\xE2\x80\x98\xE2\x80\x99\xE2\x80\x9C\xE2\x80\x9D"},
        {"&#65;&#x42;&#X43;&#00068;", "ABCD"},
        {"&#233;&#x20AC;&#x1F600;", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
    });
}

TEST(HtmlText, DecodingHappensOnceAndLeavesUnknownOrMalformedReferencesAsWritten)
{
    const std::string long_run = "&" + std::string(40, 'a') + ";";
    expect_decoded({
        {"&amp;lt;", "&lt;"},
        {"&amp;amp;amp;", "&amp;amp;"},
        // Unknown names, case matters, no ";", empty bodies, stray ampersands.
        {"&bogus; &AMP; &amp &; &#; &#x; & x &&amp;", "&bogus; &AMP; &amp &; &#; &#x; & x &&"},
        {"a=1&b=2", "a=1&b=2"},
        {"&#12a; &#xZZ; &#-1;", "&#12a; &#xZZ; &#-1;"},
        // A run of letters too long to be a reference is not searched for its end.
        {long_run, long_run},
        {"trailing &", "trailing &"},
    });
}

TEST(HtmlText, InvalidCodePointsStayAsWritten)
{
    expect_decoded({
        {"&#0;&#x0;", "&#0;&#x0;"},
        {"&#xD800;&#xDFFF;&#55296;", "&#xD800;&#xDFFF;&#55296;"},
        {"&#x110000;&#1114112;", "&#x110000;&#1114112;"},
        // Digits that would overflow a 32-bit sum.
        {"&#99999999999999999999;&#xFFFFFFFFFF;", "&#99999999999999999999;&#xFFFFFFFFFF;"},
        {"&#xD7FF;&#xE000;", "\xED\x9F\xBF\xEE\x80\x80"},
    });
}

TEST(HtmlText, DecodingStopsOnceTheLimitIsReached)
{
    const std::string text = std::string(10, 'x') + "&amp;" + std::string(100000, 'y');
    const std::string out = decode_html_references(text, 20);
    EXPECT_EQ(out, std::string(10, 'x') + "&" + std::string(9, 'y'));
    EXPECT_EQ(decode_html_references("abc", 0), "");
}

TEST(HtmlText, EscapingQuotesOnlyInsideAttributes)
{
    EXPECT_EQ(escape_html_text("AT&T <b>bold</b> \"q\""), "AT&amp;T &lt;b&gt;bold&lt;/b&gt; \"q\"");
    EXPECT_EQ(escape_html_attribute("http://x/?a=1&b=\"2\"<>"), "http://x/?a=1&amp;b=&quot;2&quot;&lt;&gt;");
    EXPECT_EQ(escape_html_text("plain text, caf\xC3\xA9"), "plain text, caf\xC3\xA9");
    // What the export escapes the import decodes back.
    const std::string odd = "&amp; <&> \"&#65;\" &lt;";
    EXPECT_EQ(decode_html_references(escape_html_attribute(odd)), odd);
    EXPECT_EQ(decode_html_references(escape_html_text(odd)), odd);
}

TEST(HtmlText, FitNeverEndsInsideAReferenceOrACharacter)
{
    const std::string text = "abc&amp;def";
    EXPECT_EQ(html_fit(text, 3), 3u);
    for (std::size_t n = 4; n <= 7; ++n)
        EXPECT_EQ(html_fit(text, n), 3u) << n;  // "&amp;" kept whole or left out
    EXPECT_EQ(html_fit(text, 8), 8u);
    EXPECT_EQ(html_fit(text, 50), text.size());
    // A bare ampersand is an ordinary character.
    EXPECT_EQ(html_fit("a & b c", 4), 4u);
    // A two-byte character across the cut.
    EXPECT_EQ(html_fit("ab\xC3\xA9z", 3), 2u);
    EXPECT_EQ(html_fit("&quot;", 2), 0u);
}

}  // namespace
