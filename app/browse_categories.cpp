// BrowseCategories, the list of categories, and BrowseURL:K_Category, the sites
// of the category highlighted there.
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

void BrowseURL_K_Category() {
    char limit[kCategorySize];
    std::memcpy(limit, cat_record.category, sizeof limit);
    sd::FileControlBlock view;
    sd::init_view_block(&view, &LINKDB);

    constexpr const char* kLimitName = "BRW1::Sort1:Reset:CAT:Category";
    BrowseSpec spec = category_sites_spec(&view, limit, kLimitName);

    BrowseWindow s;
    s.module = "LKDB32$lkdb3005";
    s.label = "BROWSEURL:K_CATEGORY$QUICKWINDOW";
    s.section = "BrowseURL:K_Category";
    s.list = 1, s.sheet = 2, s.insert = 3, s.change = 4, s.remove = 5, s.close = 6;
    s.fields = category_sites_fields();
    s.before_insert = [&](int) {
        sd::get_pointer(&LINKDB, 0);
        clear_site_record();
        std::memcpy(url_record.category, limit, sizeof limit);
    };
    s.update = UpdateLINKDB;
    s.locate_key = [](int, char c) { set_fixed(url_record.location, sizeof url_record.location, std::string(1, c)); };
    s.bind_names = [&] {
        bind_file_fields();
        rt::bind_name(kLimitName, rt::bound_string(limit, sizeof limit));
    };
    run_browse(s, std::move(spec));
}

void BrowseCategories() {
    sd::FileControlBlock view;
    sd::init_view_block(&view, &Categories);

    BrowseSpec spec;
    spec.primary = &Categories;
    spec.view = &view;
    spec.file_label = "Categories";
    spec.columns_size = kCategorySize;
    spec.store_columns = [](unsigned char* c) { std::memcpy(c, cat_record.category, kCategorySize); };
    spec.load_columns = [](const unsigned char* c) { std::memcpy(cat_record.category, c, kCategorySize); };
    spec.clear_record = [] { std::memset(cat_record.category, ' ', kCategorySize); };
    BrowseOrder category;
    category.key = &cat_k_category;
    category.distribution = BrowseOrder::Distribution::kText;
    category.component = cat_record.category;
    category.component_length = kCategorySize;
    spec.orders = {category};

    BrowseWindow s;
    s.module = "LKDB32$lkdb3006";
    s.label = "BROWSECATEGORIES$QUICKWINDOW";
    s.section = "BrowseCategories";
    s.list = 1, s.insert = 2, s.change = 3, s.remove = 4, s.sheet = 5, s.locations = 6, s.close = 7;
    using sk::ui::QueueField;
    s.fields = {QueueField{0, rt::kTypeString, kCategorySize, 0}, QueueField{kCategorySize, rt::kTypeByte, 1, 0},
                QueueField{kCategorySize + 1, rt::kTypeString, 512, 0}};
    s.before_insert = [](int) {
        sd::get_pointer(&Categories, 0);
        std::memset(cat_record.category, ' ', kCategorySize);
    };
    s.update = UpdateCategories;
    s.locate_key = [](int, char c) { set_fixed(cat_record.category, kCategorySize, std::string(1, c)); };
    s.locations_action = BrowseURL_K_Category;
    s.bind_names = bind_file_fields;
    run_browse(s, std::move(spec));
}

}  // namespace sk::app
