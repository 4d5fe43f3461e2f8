// BrowseLINKDB: the sites in the order of the chosen tab, limited to one category
// under the "Category" tab.
#include <cstring>

#include "app/browse_procedure.h"
#include "app/dictionary.h"
#include "app/html_export.h"
#include "app/procedures.h"
#include "data/view.h"
#include "runtime/bind.h"
#include "ui/controls/variable.h"

namespace sk::app {

namespace sd = sk::data;
namespace rt = sk::rt;

namespace {

double rating() { return sk::ui::variable_number(rt::bound_decimal(url_record.rating, 2, 0)); }
void set_rating(double v) { sk::ui::set_variable_number(rt::bound_decimal(url_record.rating, 2, 0), v); }

}  // namespace

void BrowseLINKDB() {
    char limit[kCategorySize];
    std::memset(limit, ' ', sizeof limit);
    sd::FileControlBlock view;
    sd::init_view_block(&view, &LINKDB);

    BrowseSpec spec;
    spec.primary = &LINKDB;
    spec.view = &view;
    spec.file_label = "LINKDB";
    spec.columns_size = 60 + 128 + 15 + 2 + 10;
    spec.store_columns = [](unsigned char* c) {
        std::memcpy(c, url_record.description, 60);
        std::memcpy(c + 60, url_record.location, 128);
        std::memcpy(c + 188, url_record.category, 15);
        std::memcpy(c + 203, url_record.rating, 2);
        std::memcpy(c + 205, url_record.keyword, 10);
    };
    spec.load_columns = [](const unsigned char* c) {
        std::memcpy(url_record.description, c, 60);
        std::memcpy(url_record.location, c + 60, 128);
        std::memcpy(url_record.category, c + 188, 15);
        std::memcpy(url_record.rating, c + 203, 2);
        std::memcpy(url_record.keyword, c + 205, 10);
    };
    spec.clear_record = clear_site_record;
    BrowseOrder location;
    location.key = &url_k_location;
    location.distribution = BrowseOrder::Distribution::kText;
    location.component = url_record.location;
    location.component_length = sizeof url_record.location;
    BrowseOrder category = location;
    category.key = &url_k_category;
    category.filter = "UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)";
    category.limit = limit;
    category.limit_source = cat_record.category;
    category.limit_size = kCategorySize;
    BrowseOrder by_rating;
    by_rating.key = &url_k_rating;
    by_rating.distribution = BrowseOrder::Distribution::kNumeric;
    by_rating.read_number = rating;
    by_rating.write_number = set_rating;
    BrowseOrder keyword;
    keyword.key = &url_k_keyword;
    BrowseOrder description;
    description.key = &url_k_description;
    description.distribution = BrowseOrder::Distribution::kText;
    description.component = url_record.description;
    description.component_length = sizeof url_record.description;
    spec.orders = {location, category, by_rating, keyword, description};

    BrowseWindow s;
    s.module = "LKDB32$lkdb3002";
    s.label = "BROWSELINKDB$QUICKWINDOW";
    s.section = "BrowseLINKDB";
    s.list = 1, s.sheet = 2, s.select_category = 3, s.insert = 4, s.change = 5, s.remove = 6, s.clipboard = 7, s.close = 8;
    using sk::ui::QueueField;
    s.fields = {QueueField{0, rt::kTypeString, 60, 0},    QueueField{60, rt::kTypeString, 128, 0},
                QueueField{188, rt::kTypeString, 15, 0},  QueueField{203, rt::kTypeDecimal, 2, 0},
                QueueField{205, rt::kTypeString, 10, 0},  QueueField{215, rt::kTypeByte, 1, 0},
                QueueField{216, rt::kTypeString, 512, 0}};
    s.order_of_tab = [](int tab) { return tab >= 2 && tab <= 5 ? tab - 1 : 5; };
    s.before_insert = [&](int order) {
        sd::get_pointer(&LINKDB, 0);
        clear_site_record();
        if (order == 2) std::memcpy(url_record.category, limit, sizeof limit);
    };
    s.update = UpdateLINKDB;
    s.locate_key = [](int order, char c) {
        switch (order) {
            case 1:
            case 2: set_fixed(url_record.location, sizeof url_record.location, std::string(1, c)); break;
            case 3:
                set_rating(c >= '0' && c <= '9' ? c - '0' : 0);
                set_fixed(url_record.location, sizeof url_record.location, "");
                break;
            case 4:
                set_fixed(url_record.keyword, sizeof url_record.keyword, std::string(1, c));
                set_fixed(url_record.location, sizeof url_record.location, "");
                break;
            default: set_fixed(url_record.description, sizeof url_record.description, std::string(1, c)); break;
        }
    };
    s.bind_names = [&] {
        bind_file_fields();
        rt::bind_name("BRW1::Sort2:Reset:CAT:Category", rt::bound_string(limit, sizeof limit));
    };
    run_browse(s, std::move(spec));
}

}  // namespace sk::app
