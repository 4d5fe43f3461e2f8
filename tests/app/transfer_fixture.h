// Shared set-up of the export and import tests: the application's LINKDB and
// Categories served by the in-memory driver under the name "KESTREL", with the
// memo storage that driver lacks added by a thin wrapper, AsciiFile named into a
// fresh temporary directory, standard messages captured instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/dictionary.h"
#include "app/html_export.h"
#include "data/file_layer.h"
#include "platform/clock.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "support/memory_driver.h"
#include "support/platform_temp_dir.h"

namespace transfer_test {

namespace sa = sk::app;
namespace sd = sk::data;

// The wrapper's own state: memos by location, SEND texts seen, faults to inject.
struct KestrelWrapper {
    char memo_buffer[sa::kSiteInfoSize];
    std::map<std::string, std::string> memos;  // LINKDB location -> memo image
    std::vector<std::string> linkdb_sends;
    int fail_add_code = 0;        // LINKDB ADD fails with this code when not 0
    int fail_next_code = 0;       // LINKDB NEXT fails with this code ...
    int fail_next_after = 0;      // ... after this many good NEXTs
    int next_count = 0;
};

inline KestrelWrapper& wrapper()
{
    static KestrelWrapper w;
    return w;
}

inline std::string location_of(const char* record)
{
    return sa::fixed_text(record, sizeof(sa::LinkdbRecord::location));
}

inline int kestrel_entry(int op, sd::FileControlBlock* file, sd::OperationArgs* args)
{
    KestrelWrapper& w = wrapper();
    const bool linkdb = file == &sa::LINKDB;
    if (linkdb && op == sd::kOpAdd && w.fail_add_code != 0) {
        sd::post_file_error(file, w.fail_add_code);
        return -1;
    }
    if (linkdb && op == sd::kOpNext && w.fail_next_code != 0 && w.next_count >= w.fail_next_after) {
        sd::post_file_error(file, w.fail_next_code);
        return -1;
    }
    if (linkdb && op == sd::kOpSend) {
        // Peek at the text the statement pushed without taking it.
        std::string text = sd::pop_text();
        w.linkdb_sends.push_back(text);
        sd::push_text(text);
    }
    const int result = sk::test::memory_entry(op, file, args);
    if (!linkdb || result != 0)
        return result;
    const std::string location = location_of(file->record);
    switch (op) {
    case sd::kOpAdd:
        w.memos[location].assign(w.memo_buffer, sizeof w.memo_buffer);
        break;
    case sd::kOpNext:
    case sd::kOpPrevious:
    case sd::kOpGetKey:
    case sd::kOpGetPointer: {
        if (op == sd::kOpNext)
            ++w.next_count;
        auto found = w.memos.find(location);
        if (found != w.memos.end())
            std::memcpy(w.memo_buffer, found->second.data(), sizeof w.memo_buffer);
        else
            std::memset(w.memo_buffer, ' ', sizeof w.memo_buffer);
        break;
    }
    default:
        break;
    }
    return result;
}

struct ShownMessage {
    std::string caption;
    std::string text;
};

class TransferTest : public ::testing::Test {
protected:
    TransferTest()
    {
        sk::test::memory_store_clear();
        sk::rt::clear_error();
        sd::clear_text_stack();
        wrapper() = KestrelWrapper{};
        std::memset(wrapper().memo_buffer, ' ', sizeof wrapper().memo_buffer);
        sa::url_siteinfo.buffer = wrapper().memo_buffer;
        sa::install_file_driver(sa::kKestrelDriver, &kestrel_entry);
        sa::init_globals();
        sa::AsciiFileUsers = 0;
        m_path = m_dir.file("bookmark.htm");
        sa::set_fixed(sa::ExportFileName, m_path);
        sk::rt::set_message_presenter([this](const sk::rt::MessageRequest& request) {
            m_messages.push_back({std::string(request.caption), std::string(request.text)});
            return m_answer;
        });
        const sk::platform::LocalTime fixed{2026, 12, 8, 10, 30, 0, 0, 2};
        sk::platform::set_clock_override(&fixed);
    }

    ~TransferTest() override
    {
        EXPECT_EQ(sa::LINKDBUsers, 0);
        EXPECT_EQ(sa::CategoriesUsers, 0);
        EXPECT_EQ(sa::AsciiFileUsers, 0);
        sk::rt::set_message_presenter({});
        sk::platform::set_clock_override(nullptr);
        sa::url_siteinfo.buffer = nullptr;
        sk::test::memory_store_clear();
    }

    // Adds a site to LINKDB (opened and released around it).
    void add_site(std::string_view location, std::string_view description, std::string_view category,
                  int rating = 0, std::string_view memo = {})
    {
        sa::use_linkdb();
        sa::clear_site_record();
        sa::set_fixed(sa::url_record.location, location);
        sa::set_fixed(sa::url_record.description, description);
        sa::set_fixed(sa::url_record.category, category);
        sa::url_record.rating[0] = static_cast<unsigned char>(rating / 100);
        sa::url_record.rating[1] = static_cast<unsigned char>((rating / 10 % 10) << 4 | rating % 10);
        sa::set_fixed(sa::url_siteinfo.buffer, sa::kSiteInfoSize, memo);
        sd::add(&sa::LINKDB);
        ASSERT_EQ(sk::rt::error_code(), 0) << location;
        sa::release_linkdb();
    }

    struct Site {
        std::string location, description, category, keyword, memo;
        int rating = 0;
    };

    // Every site of LINKDB in K_LOCATION order.
    std::vector<Site> sites()
    {
        std::vector<Site> out;
        sa::use_linkdb();
        sd::set_key(&sa::LINKDB, &sa::url_k_location);
        while (sd::next(&sa::LINKDB) == 0) {
            Site s;
            s.location = sa::fixed_text(sa::url_record.location);
            s.description = sa::fixed_text(sa::url_record.description);
            s.category = sa::fixed_text(sa::url_record.category);
            s.keyword = sa::fixed_text(sa::url_record.keyword);
            s.memo = sa::fixed_text(sa::url_siteinfo.buffer, sa::kSiteInfoSize);
            s.rating = sa::site_rating();
            out.push_back(s);
        }
        sa::release_linkdb();
        return out;
    }

    // Every category of Categories in key order.
    std::vector<std::string> categories()
    {
        std::vector<std::string> out;
        sa::use_categories();
        sd::set_key(&sa::Categories, &sa::cat_k_category);
        while (sd::next(&sa::Categories) == 0)
            out.push_back(sa::fixed_text(sa::cat_record.category));
        sa::release_categories();
        return out;
    }

    void add_category(std::string_view name)
    {
        sa::use_categories();
        sa::set_fixed(sa::cat_record.category, name);
        sd::add(&sa::Categories);
        sa::release_categories();
    }

    void write_input(const std::string& contents) { ASSERT_TRUE(sk::test::platform_write_file(m_path, contents)); }

    // Runs an Import over contents to its end; the sites LINKDB holds then.
    template <typename Import>
    std::vector<Site> import_sites(const std::string& contents)
    {
        write_input(contents);
        Import import;
        import.run_to_end();
        return sites();
    }
    std::string output() const { return sk::test::platform_read_file(m_path); }

    sk::test::PlatformTempDir m_dir;
    std::string m_path;
    std::vector<ShownMessage> m_messages;
    int m_answer = sk::rt::kButtonOk;
};

}  // namespace transfer_test
