// Reading a physical file back as a map of its records, for tests that compare
// a file with an in-memory model of what it should hold.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "data/ksf/ksf_file.h"
#include "data/ksf/page_tree.h"

namespace sk::test {

using KsfModel = std::map<std::string, std::string>;

// The records of the file, key part to data part. A damaged tree or a broken
// space invariant is a test failure.
inline KsfModel read_back(sk::ksf::KsfFile& f) {
    KsfModel m;
    EXPECT_EQ(f.refresh(), 0);
    f.begin_tree_operation();
    sk::ksf::PageTree tree(f);
    for (const auto& d : tree.check()) ADD_FAILURE() << d;
    std::vector<sk::ksf::Record> records;
    tree.check(&records);
    for (const sk::ksf::Record& r : records) m[std::string(r.key())] = std::string(r.data());
    for (const auto& d : f.check_space()) ADD_FAILURE() << d;
    return m;
}

}  // namespace sk::test
