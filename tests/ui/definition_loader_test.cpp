// Finding a window by module string and label across modules, the failures 501,
// 502 and 503 with their modules, and the binding order.
#include <gtest/gtest.h>

#include <deque>

#include "runtime/error.h"
#include "ui/definition.h"
#include "ui/definition_source.h"
#include "ui/definition_writer.h"
#include "ui/resource_registry.h"

namespace sk::ui {
namespace {

// Bodies registered with the registry must outlive it.
std::deque<std::vector<std::uint8_t>>& storage() {
    static std::deque<std::vector<std::uint8_t>> s;
    return s;
}

void register_source(const std::string& source, const std::string& resource, const std::string& module) {
    ResourceDefinition r;
    std::string error;
    ASSERT_TRUE(parse_definition_source(source, r, error)) << error;
    storage().push_back(write_resource_body(r));
    register_embedded_resource(resource, storage().back().data(), storage().back().size(), module);
}

std::string two_windows(const std::string& module, const std::string& title) {
    return "module \"" + module + "\"\n"
           "window \"FIND$DIALOG\" { title \"" + title + " find\" }\n"
           "window \"VIEW$WINDOW\" { title \"" + title + " view\" }\n";
}

class Loader : public ::testing::Test {
protected:
    void SetUp() override {
        set_resource_directory("");
        sk::rt::clear_error();
    }
    void TearDown() override {
        for (const char* m : {"loader-a", "loader-b", "loader-c"}) remove_module(m);
    }
};

TEST_F(Loader, ResourceNameFromModuleString) {
    EXPECT_EQ(resource_name("LKDB32$lkdb3001"), "LKDB3001_RSC");
    EXPECT_EQ(resource_name("LKDB3$_sf"), "_SF_RSC");
    EXPECT_EQ(resource_name("nodollar"), "");
}

TEST_F(Loader, FindsTheProgramsOwnDefinition) {
    auto loaded = find_window_definition("LKDB32$lkdb3001", "SELECTCATEGORIES$QUICKWINDOW");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->window_offset, 111u);
    EXPECT_EQ(loaded->source_module, kProgramModule);
    EXPECT_EQ(loaded->window.title, "Select a Category");
    EXPECT_EQ(loaded->window.controls.size(), 4u);
    EXPECT_EQ(sk::rt::error_code(), 0);
}

TEST_F(Loader, SecondWindowOfTheChainAndExactLabels) {
    register_source(two_windows("TEST$lview", "A"), "LVIEW_RSC", "loader-a");
    auto loaded = find_window_definition("TEST$lview", "VIEW$WINDOW");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->window.title, "A view");
    // Labels compare byte for byte; resource names do not.
    EXPECT_FALSE(find_window_definition("TEST$lview", "view$window"));
    EXPECT_TRUE(find_window_definition("TEST$LVIEW", "VIEW$WINDOW") == std::nullopt);
}

TEST_F(Loader, SearchOrderModuleStringCheckAndLabelFallThrough) {
    // loader-a holds the name with another module string; loader-b holds the
    // right module string but not the label; loader-c has both.
    register_source(two_windows("OTHER$multi", "wrong module"), "MULTI_RSC", "loader-a");
    register_source("module \"TEST$multi\"\nwindow \"ONLY$THIS\" { title \"b\" }\n", "MULTI_RSC", "loader-b");
    register_source(two_windows("TEST$multi", "C"), "MULTI_RSC", "loader-c");

    auto only = find_window_definition("TEST$multi", "ONLY$THIS");
    ASSERT_TRUE(only);
    EXPECT_EQ(only->source_module, "loader-b");

    auto view = find_window_definition("TEST$multi", "VIEW$WINDOW");
    ASSERT_TRUE(view);
    EXPECT_EQ(view->source_module, "loader-c");
    EXPECT_EQ(view->window.title, "C view");
}

TEST_F(Loader, MissingDefinitionsFailWith502) {
    struct Case {
        const char* module;
        const char* label;
    } cases[] = {
        {"nodollar", "SELECTCATEGORIES$QUICKWINDOW"},
        {"LKDB32$lkdb3001", "NO$SUCHWINDOW"},
        {"LKDB32$lkdb9999", "SELECTCATEGORIES$QUICKWINDOW"},
        {"LKDB33$lkdb3001", "SELECTCATEGORIES$QUICKWINDOW"},
    };
    for (const Case& c : cases) {
        sk::rt::clear_error();
        DefinitionFailure failure;
        EXPECT_FALSE(find_window_definition(c.module, c.label, &failure)) << c.module << " " << c.label;
        EXPECT_EQ(failure.code, 502);
        EXPECT_STREQ(failure.module, "WSLDIAL");
        EXPECT_EQ(sk::rt::error_code(), 502);
        EXPECT_EQ(sk::rt::error_text(), "Internal error 02");
    }
}

TEST_F(Loader, CorruptResourceIsPassedOverForTheNextModule) {
    storage().push_back({'T', 'E', 'S', 'T', '$', 'b', 'a', 'd', 0, 0xFF, 0xFF, 0xFF, 0x7F});
    register_embedded_resource("BAD_RSC", storage().back().data(), storage().back().size(), "loader-a");
    register_source("module \"TEST$bad\"\nwindow \"GOOD$ONE\" { }\n", "BAD_RSC", "loader-b");
    auto loaded = find_window_definition("TEST$bad", "GOOD$ONE");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->source_module, "loader-b");
}

TEST_F(Loader, ClassRegistrationFailureIs503) {
    const DefinitionFailure f = class_registration_failed();
    EXPECT_EQ(f.code, 503);
    EXPECT_STREQ(f.module, "WSLDIAL");
    EXPECT_EQ(sk::rt::error_code(), 503);
}

const char* kBoundForm = R"(
module "TEST$bound"
window "FORM$WINDOW" {
  entry 1 { bind 18 }
  sheet 2 {
    bind 18
    tab 0 {
      list 3 { bind 18 rows 25 }
      option 4 { bind 18 radio 5 { text "Up" } }
    }
    tab 0 { check 6 { bind 18 } }
  }
  prompt 7 { text "no binding" }
  menubar { menu -1 "&File" { item -2 "&Bound" { bind 18 } } }
}
)";

TEST_F(Loader, BindingsAreTakenDepthFirstVariableBeforeRowSource) {
    register_source(kBoundForm, "BOUND_RSC", "loader-a");
    auto loaded = find_window_definition("TEST$bound", "FORM$WINDOW");
    ASSERT_TRUE(loaded);
    const auto slots = binding_slots(loaded->window);
    std::vector<std::pair<int, bool>> order;
    for (const BindingSlot& s : slots) order.emplace_back(s.control->field, s.is_row_source);
    const std::vector<std::pair<int, bool>> expected = {{1, false}, {2, false}, {3, false}, {3, true}, {4, false},
                                                        {6, false}};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(menu_bindings(loaded->window).size(), 1u);

    int vars[6] = {};
    void* list[7] = {&vars[0], &vars[1], &vars[2], &vars[3], &vars[4], &vars[5], nullptr};
    std::vector<void*> assigned;
    ASSERT_TRUE(assign_bindings(loaded->window, list, assigned));
    EXPECT_EQ(assigned.size(), 6u);
    EXPECT_EQ(assigned[3], &vars[3]);

    sk::rt::clear_error();
    DefinitionFailure failure;
    list[5] = nullptr;
    EXPECT_FALSE(assign_bindings(loaded->window, list, assigned, &failure));
    EXPECT_EQ(failure.code, 501);
    EXPECT_STREQ(failure.module, "WSLDIAL");
    EXPECT_EQ(sk::rt::error_code(), 501);
    EXPECT_FALSE(assign_bindings(loaded->window, nullptr, assigned, &failure));
    EXPECT_EQ(failure.code, 501);
}

TEST_F(Loader, InvalidBindingTagIs501FromControlUse) {
    register_source("module \"TEST$tag\"\nwindow \"T$W\" { entry 1 { bind 18 } entry 2 { bind 23 } }\n", "TAG_RSC",
                    "loader-a");
    auto loaded = find_window_definition("TEST$tag", "T$W");
    ASSERT_TRUE(loaded);
    int a = 0, b = 0;
    void* list[] = {&a, &b, nullptr};
    std::vector<void*> assigned;
    DefinitionFailure failure;
    EXPECT_FALSE(assign_bindings(loaded->window, list, assigned, &failure));
    EXPECT_EQ(failure.code, 501);
    EXPECT_STREQ(failure.module, "CTLUSE");
    EXPECT_EQ(sk::rt::error_code(), 501);
}

}  // namespace
}  // namespace sk::ui
