// The embedded registry and the directory of separate definition files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ui/definition.h"
#include "ui/resource_registry.h"

namespace sk::ui {
namespace {

namespace fs = std::filesystem;

class ResourceDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) / ("sk_resources_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        set_resource_directory(dir.string());
    }
    void TearDown() override {
        set_resource_directory("");
        fs::remove_all(dir);
    }
    void write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(dir / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    fs::path dir;
};

TEST_F(ResourceDirectory, EmbeddedFirstThenFilesOfAnyCase) {
    const auto embedded = find_resources("LKDB3001_RSC");
    ASSERT_EQ(embedded.size(), 1u);
    // A changed copy beside the program: searched after the embedded one, so the
    // same module string and label still come from the program...
    std::vector<std::uint8_t> copy = embedded[0].body;
    write("lkdb3001_rsc.dab", copy);
    const auto both = find_resources("LKDB3001_RSC");
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].module, kProgramModule);
    EXPECT_EQ(both[1].module, (dir / "lkdb3001_rsc.dab").string());
    EXPECT_EQ(both[1].body, copy);
}

TEST_F(ResourceDirectory, AFileSuppliesADefinitionTheProgramLacks) {
    const auto embedded = find_resources("LKDB3001_RSC");
    ASSERT_FALSE(embedded.empty());
    // The same body under another resource name and module string.
    std::vector<std::uint8_t> body = embedded[0].body;
    const std::string old_module = "LKDB32$lkdb3001", new_module = "LKDB32$lkdb3099";
    ASSERT_TRUE(std::equal(old_module.begin(), old_module.end(), body.begin()));
    std::copy(new_module.begin(), new_module.end(), body.begin());
    write("LKDB3099_RSC", body);
    write("LKDB3099_RSC.txt", {1, 2, 3});  // another extension is not the resource
    auto loaded = find_window_definition(new_module, "SELECTCATEGORIES$QUICKWINDOW");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->source_module, (dir / "LKDB3099_RSC").string());
    EXPECT_EQ(find_resources("LKDB3099_RSC").size(), 1u);
}

TEST(ResourceRegistry, ReRegisteringANameReplacesItInItsModule) {
    static const std::uint8_t one[] = {'A', '$', 'x', 0, 0, 0, 0, 0};
    static const std::uint8_t two[] = {'B', '$', 'x', 0, 0, 0, 0, 0};
    set_resource_directory("");
    register_embedded_resource("X_RSC", one, sizeof one, "registry-test");
    register_embedded_resource("x_rsc", two, sizeof two, "registry-test");
    const auto found = find_resources("X_RSC");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].body[0], 'B');
    remove_module("registry-test");
    EXPECT_TRUE(find_resources("X_RSC").empty());
}

}  // namespace
}  // namespace sk::ui
