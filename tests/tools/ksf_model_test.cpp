// Long random runs of driver statements over a table shaped like the program's
// site file, each answer checked against an in-memory model of the records:
// ADD, PUT and DELETE (with unique-key refusals on case-insensitive locations),
// GET by every key and by pointer, walks with NEXT, PREVIOUS and SKIP in every
// key order and in file order, memos across the chunk size, and transactions
// kept or rolled back. The file must pass the ksf tool's check after every
// COMMIT, and everything is compared again after closing and reopening.
//
// The seed comes from KSF_SEED when set, else from the clock; every failure
// prints it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data/file_layer.h"
#include "data/ksf/site_test_table.h"
#include "runtime/error.h"
#include "support/platform_temp_dir.h"
#include "tools/ksf/ksf_commands.h"

namespace sd = sk::data;
using sk::test::SiteTestTable;

namespace {

struct Site {
    std::string location, description, category;
    int rating = 0;
    std::string keyword, note;
    bool operator==(const Site&) const = default;
};
using Model = std::map<std::uint32_t, Site>;  // by record number

std::ostream& operator<<(std::ostream& o, const Site& s) {
    return o << "{'" << s.location << "', '" << s.description << "', '" << s.category << "', " << s.rating << ", '"
             << s.keyword << "', note of " << s.note.size() << "}";
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool same_location(const std::string& a, const std::string& b) { return upper(a) == upper(b); }

// A string key component as the keys order it: upper case, blank-padded.
std::string component(const std::string& s, std::size_t size) {
    std::string r = upper(s);
    r.resize(size, ' ');
    return r;
}

std::string be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// Key numbers in declaration order; kFileOrder stands for file order.
enum { kLocation, kDescription, kCategory, kRating, kKeyword, kFileOrder };
constexpr int kKeyCount = 5;
const char* const kOrderNames[] = {"K_LOCATION", "K_DESCRIPTION", "K_CATEGORY", "K_RATING", "K_KEYWORD", "file order"};

// A value of key k for s that compares as the key orders its records (record
// numbers aside). The rating is one byte, ascending.
std::string key_value(const Site& s, int k) {
    const std::string loc = component(s.location, SiteTestTable::kLocationSize);
    switch (k) {
        case kLocation: return loc;
        case kDescription: return component(s.description, SiteTestTable::kDescriptionSize);
        case kCategory: return component(s.category, SiteTestTable::kCategorySize) + loc;
        case kRating: return std::string(1, static_cast<char>(s.rating)) + loc;
        default: return component(s.keyword, SiteTestTable::kKeywordSize) + loc;
    }
}

// The optional keys leave out records whose (only) field is blank.
bool indexed(const Site& s, int k) {
    if (k == kLocation) return !s.location.empty();
    if (k == kDescription) return !s.description.empty();
    return true;
}

struct Entry {
    std::string value;
    std::uint32_t recno = 0;
};
using Order = std::vector<Entry>;

// The model's records in order k: by value, equal values by record number.
Order order_of(const Model& model, int k) {
    Order order;
    order.reserve(model.size());
    for (const auto& [recno, s] : model) {
        if (k == kFileOrder) order.push_back({be32(recno), recno});
        else if (indexed(s, k)) order.push_back({key_value(s, k), recno});
    }
    if (k != kFileOrder)
        std::stable_sort(order.begin(), order.end(), [](const Entry& a, const Entry& b) { return a.value < b.value; });
    return order;
}

std::int64_t seed_from_environment() {
    const char* env = std::getenv("KSF_SEED");
    if (env != nullptr && *env != '\0') return static_cast<std::int64_t>(std::strtoull(env, nullptr, 10) & 0xFFFFFFFFu);
    return static_cast<std::int64_t>(
        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
}

class SiteModelRun {
public:
    SiteModelRun(SiteTestTable& t, const std::string& file_path, std::uint32_t seed)
        : m_t(t), m_path(file_path), m_rng(seed) {}

    std::int64_t ops() const { return m_ops; }
    int commits() const { return m_commits; }
    int rollbacks() const { return m_rollbacks; }
    int refusals() const { return m_refusals; }
    std::size_t size() const { return m_model.size(); }

    // One action: a change, a read or a walk, or a transaction's start or end.
    void act() {
        if (m_in_transaction) {
            if (m_left == 0) {
                ASSERT_NO_FATAL_FAILURE(end_transaction());
            } else if (pick(100) < 55) {
                --m_left;
                ASSERT_NO_FATAL_FAILURE(change());
            } else {
                ASSERT_NO_FATAL_FAILURE(read());
            }
            return;
        }
        const unsigned r = pick(100);
        if (r < 22) ASSERT_NO_FATAL_FAILURE(begin_transaction());
        else if (r < 25) ASSERT_NO_FATAL_FAILURE(change());  // commits on its own
        else ASSERT_NO_FATAL_FAILURE(read());
    }

    bool in_transaction() const { return m_in_transaction; }

    // Everything compared, the file checked, then closed, reopened and compared again.
    void end_round() {
        m_action = "end of round";
        ASSERT_NO_FATAL_FAILURE(compare_all());
        ASSERT_NO_FATAL_FAILURE(check_file());
        ASSERT_EQ(sd::close(&m_t.fcb), 0) << where();
        ASSERT_EQ(sd::open(&m_t.fcb, 0x42), 0) << where();
        m_ops += 2;
        m_action = "after reopening";
        ASSERT_NO_FATAL_FAILURE(compare_all());
    }

    void check_file() {
        std::string a0 = "ksf", a1 = "check", a2 = m_path;
        char* argv[] = {a0.data(), a1.data(), a2.data()};
        std::ostringstream out, err;
        const int rc = sk::ksftool::run_ksf(3, argv, out, err);
        ASSERT_EQ(rc, 0) << where() << "\n" << out.str() << err.str();
    }

private:
    unsigned pick(unsigned n) { return static_cast<unsigned>(m_rng() % n); }
    bool chance(unsigned percent) { return pick(100) < percent; }

    std::string where() const {
        return "after " + std::to_string(m_ops) + " operations, in " + m_action + " (" +
               std::to_string(m_model.size()) + " records" + (m_in_transaction ? ", in a transaction)" : ")");
    }

    // --- random values: small pools, so that duplicates and clashes are common

    std::string recase(std::string s) {
        if (chance(50)) return s;
        for (char& c : s)
            if (chance(50)) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }
    std::string random_location() {
        if (chance(7)) return "";
        const unsigned i = pick(400);
        std::string s;
        if (i % 40 == 0) {
            // Long ones, up to the whole field.
            s = "www.site" + std::to_string(i) + ".example.org/";
            while (s.size() < SiteTestTable::kLocationSize) s += "path/";
            s.resize(SiteTestTable::kLocationSize - i / 40 % 3);
        } else {
            s = (i % 3 == 0 ? "www.site" : "site") + std::to_string(i);
        }
        return recase(s);
    }
    std::string random_description() {
        if (chance(20)) return "";
        return recase("about site " + std::to_string(pick(30)));
    }
    std::string random_category() {
        static const char* const kCategories[] = {"news", "search", "shop", "mail", "games", "music", "travel", "ref"};
        if (chance(5)) return "";
        return recase(kCategories[pick(8)]);
    }
    int random_rating() { return chance(30) ? static_cast<int>(pick(100)) : static_cast<int>(pick(8)); }
    std::string random_keyword() {
        if (chance(10)) return "";
        return recase("kw" + std::to_string(pick(10)));
    }
    std::string random_note() {
        if (chance(55)) return "";
        static const std::size_t kLengths[] = {1, 255, 256, 257, SiteTestTable::kMemoSize};
        const std::size_t n = chance(40) ? kLengths[pick(5)] : 1 + pick(SiteTestTable::kMemoSize);
        static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,";
        std::string s(n, ' ');
        for (char& c : s) c = kChars[pick(sizeof kChars - 1)];
        s.back() = static_cast<char>('a' + pick(26));  // the memo keeps no trailing blanks
        return s;
    }
    Site random_site() {
        return {random_location(), random_description(), random_category(), random_rating(), random_keyword(),
                random_note()};
    }

    // --- the record buffer

    void to_buffer(const Site& s) {
        m_t.set(s.location, s.description, s.category, s.rating, s.keyword);
        m_t.set_note(s.note);
    }
    Site from_buffer() const {
        return {m_t.location(), m_t.description(), m_t.category(), m_t.rating(), m_t.keyword(), m_t.note()};
    }
    // The record just delivered must be recno, with the model's fields.
    void expect_delivered(std::uint32_t recno) {
        ASSERT_EQ(sd::pointer(&m_t.fcb), static_cast<std::int64_t>(recno)) << where();
        const auto it = m_model.find(recno);
        ASSERT_NE(it, m_model.end()) << where() << ": record " << recno << " should not exist";
        ASSERT_EQ(from_buffer(), it->second) << where() << ": record " << recno;
    }

    // The record holding location loc in the model (case-insensitive), 0 for none.
    std::uint32_t holder_of(const std::string& loc) const {
        if (loc.empty()) return 0;
        for (const auto& [recno, s] : m_model)
            if (same_location(s.location, loc)) return recno;
        return 0;
    }
    // The first record GET by key k finds for the values of probe, 0 for none.
    std::uint32_t first_match(const Site& probe, int k) const {
        if (!indexed(probe, k)) return 0;  // nothing is indexed under a blank optional value
        const std::string v = key_value(probe, k);
        for (const auto& [recno, s] : m_model)
            if (indexed(s, k) && key_value(s, k) == v) return recno;
        return 0;
    }
    std::uint32_t random_recno() {
        auto it = m_model.begin();
        std::advance(it, static_cast<long>(m_rng() % m_model.size()));
        return it->first;
    }

    // Reaches a random record for a change: GET by its location (in some letter
    // case) or GET by pointer. *recno is 0 when the table is empty.
    void reach(std::uint32_t* recno) {
        *recno = 0;
        if (m_model.empty()) return;
        const std::uint32_t r = random_recno();
        const Site& s = m_model.at(r);
        if (!s.location.empty() && chance(60)) {
            to_buffer(random_site());
            m_t.put_text(SiteTestTable::kLocationAt, SiteTestTable::kLocationSize, recase(s.location));
            ASSERT_EQ(sd::get_key(&m_t.fcb, &m_t.k_location), 0) << where() << ": GET " << s.location;
        } else {
            ASSERT_EQ(sd::get_pointer(&m_t.fcb, r), 0) << where() << ": GET pointer " << r;
        }
        ++m_ops;
        ASSERT_NO_FATAL_FAILURE(expect_delivered(r));
        *recno = r;
    }

    // --- changes

    void change() {
        const std::size_t n = m_model.size();
        const unsigned add_share = n < 150 ? 65 : n > 420 ? 20 : 40;
        const unsigned delete_share = n > 420 ? 40 : 20;
        const unsigned r = pick(100);
        if (r < add_share) ASSERT_NO_FATAL_FAILURE(add());
        else if (r < add_share + delete_share) ASSERT_NO_FATAL_FAILURE(remove());
        else ASSERT_NO_FATAL_FAILURE(put());
    }

    void add() {
        m_action = "ADD";
        const Site s = random_site();
        to_buffer(s);
        const int rc = sd::add(&m_t.fcb);
        ++m_ops;
        const std::uint32_t clash = holder_of(s.location);
        if (clash != 0) {
            ++m_refusals;
            ASSERT_EQ(rc, sk::rt::kCreatesDuplicateKey) << where() << ": " << s << " clashes with record " << clash;
            if (chance(30)) {
                ASSERT_EQ(sd::records(&m_t.fcb), static_cast<std::int64_t>(m_model.size())) << where();
                ++m_ops;
            }
            return;
        }
        ASSERT_EQ(rc, 0) << where() << ": " << s;
        const std::int64_t p = sd::pointer(&m_t.fcb);
        ASSERT_GT(p, 0) << where();
        const auto recno = static_cast<std::uint32_t>(p);
        ASSERT_EQ(m_model.count(recno), 0u) << where() << ": record number " << recno << " given twice";
        ASSERT_EQ(m_dead.count(recno), 0u) << where() << ": record number " << recno << " of a deleted record";
        m_model[recno] = s;
    }

    void put() {
        m_action = "PUT";
        std::uint32_t recno = 0;
        ASSERT_NO_FATAL_FAILURE(reach(&recno));
        if (recno == 0) return;
        m_action = "PUT";
        Site s = m_model.at(recno);
        const Site fresh = random_site();
        bool changed = false;
        while (!changed) {
            if (chance(30)) {
                // Another location, perhaps another record's, perhaps this one's in other letters.
                s.location = chance(15) ? recase(s.location) : fresh.location;
                changed = true;
            }
            if (chance(35)) s.description = fresh.description, changed = true;
            if (chance(35)) s.category = fresh.category, changed = true;
            if (chance(35)) s.rating = fresh.rating, changed = true;
            if (chance(35)) s.keyword = fresh.keyword, changed = true;
            if (chance(30)) s.note = fresh.note, changed = true;
        }
        to_buffer(s);
        const int rc = sd::put(&m_t.fcb);
        ++m_ops;
        const std::uint32_t clash = holder_of(s.location);
        if (clash != 0 && clash != recno) {
            ++m_refusals;
            ASSERT_EQ(rc, sk::rt::kCreatesDuplicateKey)
                << where() << ": record " << recno << " to " << s << " clashes with record " << clash;
            if (chance(40)) {
                // Refused means untouched, memo included.
                ASSERT_EQ(sd::get_pointer(&m_t.fcb, recno), 0) << where();
                ++m_ops;
                ASSERT_NO_FATAL_FAILURE(expect_delivered(recno));
            }
            return;
        }
        ASSERT_EQ(rc, 0) << where() << ": record " << recno << " to " << s;
        m_model[recno] = s;
    }

    void remove() {
        m_action = "DELETE";
        std::uint32_t recno = 0;
        ASSERT_NO_FATAL_FAILURE(reach(&recno));
        if (recno == 0) return;
        m_action = "DELETE";
        ASSERT_EQ(sd::delete_record(&m_t.fcb), 0) << where() << ": record " << recno;
        ++m_ops;
        m_model.erase(recno);
        m_dead.insert(recno);
        if (chance(10)) {
            // Nothing is current any more.
            ASSERT_EQ(sd::put(&m_t.fcb), sk::rt::kRecordNotAvailable) << where();
            ASSERT_EQ(sd::delete_record(&m_t.fcb), sk::rt::kRecordNotAvailable) << where();
            m_ops += 2;
        }
    }

    // --- transactions

    void begin_transaction() {
        m_action = "LOGOUT";
        ASSERT_EQ(sd::logout(&m_t.fcb), 0) << where();
        ++m_ops;
        m_saved = m_model;
        m_saved_dead = m_dead;
        m_in_transaction = true;
        m_left = 5 + pick(46);
    }

    void end_transaction() {
        m_in_transaction = false;
        if (chance(75)) {
            m_action = "COMMIT";
            ASSERT_EQ(sd::commit(&m_t.fcb), 0) << where();
            ++m_commits;
            ++m_ops;
            ASSERT_NO_FATAL_FAILURE(check_file());
        } else {
            m_action = "ROLLBACK";
            ASSERT_EQ(sd::rollback(&m_t.fcb), 0) << where();
            ++m_rollbacks;
            ++m_ops;
            m_model = m_saved;
            m_dead = m_saved_dead;
        }
        ASSERT_EQ(sd::records(&m_t.fcb), static_cast<std::int64_t>(m_model.size())) << where();
        ++m_ops;
    }

    // --- reads

    void read() {
        const unsigned r = pick(100);
        if (r < 45) ASSERT_NO_FATAL_FAILURE(walk());
        else if (r < 65) ASSERT_NO_FATAL_FAILURE(get_location());
        else if (r < 82) ASSERT_NO_FATAL_FAILURE(get_by_key());
        else if (r < 97) ASSERT_NO_FATAL_FAILURE(get_by_pointer());
        else ASSERT_NO_FATAL_FAILURE(counts());
    }

    void get_location() {
        m_action = "GET by K_LOCATION";
        Site probe = random_site();
        to_buffer(probe);
        const int rc = sd::get_key(&m_t.fcb, &m_t.k_location);
        ++m_ops;
        const std::uint32_t want = holder_of(probe.location);
        if (want == 0) {
            ASSERT_EQ(rc, sk::rt::kRecordNotFound) << where() << ": '" << probe.location << "'";
            return;
        }
        ASSERT_EQ(rc, 0) << where() << ": '" << probe.location << "'";
        ASSERT_NO_FATAL_FAILURE(expect_delivered(want));
    }

    // A probe for key k: an existing record's values in other letters, or random ones.
    Site probe_for_key() {
        Site probe = random_site();
        if (!m_model.empty() && chance(60)) {
            const Site& s = m_model.at(random_recno());
            probe.location = recase(s.location);
            probe.description = recase(s.description);
            probe.category = recase(s.category);
            probe.rating = s.rating;
            probe.keyword = recase(s.keyword);
        }
        return probe;
    }

    void get_by_key() {
        const int k = static_cast<int>(pick(kKeyCount));
        m_action = std::string("GET by ") + kOrderNames[k];
        const Site probe = probe_for_key();
        to_buffer(probe);
        const int rc = sd::get_key(&m_t.fcb, m_t.keys[k]);
        ++m_ops;
        const std::uint32_t want = first_match(probe, k);
        if (want == 0) {
            ASSERT_EQ(rc, sk::rt::kRecordNotFound) << where() << ": " << probe;
            return;
        }
        ASSERT_EQ(rc, 0) << where() << ": " << probe;
        ASSERT_NO_FATAL_FAILURE(expect_delivered(want));
    }

    void get_by_pointer() {
        m_action = "GET by pointer";
        std::int64_t p = 0;
        const unsigned r = pick(100);
        if (r < 75 && !m_model.empty()) p = random_recno();
        else if (r < 92 && !m_dead.empty())
            p = *std::next(m_dead.begin(), static_cast<long>(pick(static_cast<unsigned>(std::min<std::size_t>(m_dead.size(), 1000)))));
        else p = 0x7FFFFF00 + pick(200);
        const int rc = sd::get_pointer(&m_t.fcb, p);
        ++m_ops;
        if (m_model.count(static_cast<std::uint32_t>(p)) == 0) {
            ASSERT_EQ(rc, sk::rt::kRecordNotFound) << where() << ": pointer " << p;
            return;
        }
        ASSERT_EQ(rc, 0) << where() << ": pointer " << p;
        ASSERT_NO_FATAL_FAILURE(expect_delivered(static_cast<std::uint32_t>(p)));
    }

    void counts() {
        m_action = "RECORDS";
        ASSERT_EQ(sd::records(&m_t.fcb), static_cast<std::int64_t>(m_model.size())) << where();
        ++m_ops;
        const int k = static_cast<int>(pick(kKeyCount));
        ASSERT_EQ(sd::records_key(&m_t.fcb, m_t.keys[k]), static_cast<std::int64_t>(order_of(m_model, k).size()))
            << where() << ": " << kOrderNames[k];
        ++m_ops;
    }

    // A walk: SET in a random order and from a random start, then a random run of
    // NEXT, PREVIOUS and SKIP, each compared with the model's order. The walk
    // ends where the driver reports the end (33).
    void walk() {
        const int k = static_cast<int>(pick(kKeyCount + 1));
        const Order order = order_of(m_model, k);
        m_action = std::string("walk in ") + kOrderNames[k];
        // The model's position: before the first step (from the start, or from a
        // value: the first entry not below it going forward, the last not above it
        // going back), or at an index of order.
        bool fresh = true, from_value = false;
        std::string start;
        long at = -1;
        int rc = 0;
        if (chance(50)) {
            rc = k == kFileOrder ? sd::set(&m_t.fcb) : sd::set_key(&m_t.fcb, m_t.keys[k]);
            m_action += " from the start";
        } else if (k == kFileOrder) {
            std::uint32_t p = m_model.empty() || chance(20) ? 1 + pick(4000) : random_recno();
            if (!m_dead.empty() && chance(15)) p = *m_dead.begin();
            rc = sd::set_from_pointer(&m_t.fcb, p);
            from_value = true;
            start = be32(p);
            m_action += " from pointer " + std::to_string(p);
        } else {
            const Site probe = probe_for_key();
            to_buffer(probe);
            rc = sd::set_key_value(&m_t.fcb, m_t.keys[k], m_t.keys[k]);
            from_value = true;
            start = key_value(probe, k);
            m_action += " from a value";
        }
        ++m_ops;
        ASSERT_EQ(rc, 0) << where();
        const auto first_step = [&](bool forward) -> long {
            const long n = static_cast<long>(order.size());
            if (!from_value) return forward ? 0 : n - 1;
            if (forward) {
                return std::lower_bound(order.begin(), order.end(), start,
                                        [](const Entry& e, const std::string& v) { return e.value < v; }) -
                       order.begin();
            }
            return std::upper_bound(order.begin(), order.end(), start,
                                    [](const std::string& v, const Entry& e) { return v < e.value; }) -
                   order.begin() - 1;
        };
        // Moves the model one step; false at either end.
        const auto step = [&](bool forward) {
            const long next = fresh ? first_step(forward) : at + (forward ? 1 : -1);
            if (next < 0 || next >= static_cast<long>(order.size())) return false;
            fresh = false;
            at = next;
            return true;
        };
        const int steps = 1 + static_cast<int>(pick(40));
        for (int i = 0; i < steps; ++i) {
            const unsigned r = pick(100);
            if (r < 80) {
                const bool forward = r < 45;
                const bool ok = step(forward);
                const int got = forward ? sd::next(&m_t.fcb) : sd::previous(&m_t.fcb);
                ++m_ops;
                if (!ok) {
                    ASSERT_EQ(got, sk::rt::kRecordNotAvailable) << where() << ", step " << i;
                    return;
                }
                ASSERT_EQ(got, 0) << where() << ", step " << i;
                ASSERT_NO_FATAL_FAILURE(expect_delivered(order[static_cast<std::size_t>(at)].recno))
                    << "step " << i << " " << (forward ? "NEXT" : "PREVIOUS");
            } else {
                std::int64_t n = static_cast<std::int64_t>(pick(13)) - 6;
                if (chance(10)) n = (chance(50) ? 1 : -1) * static_cast<std::int64_t>(order.size() / 2 + 1);
                bool ok = true;
                for (std::int64_t j = 0; ok && j < (n < 0 ? -n : n); ++j) ok = step(n > 0);
                const int got = sd::skip(&m_t.fcb, n);
                ++m_ops;
                if (!ok) {
                    ASSERT_EQ(got, sk::rt::kRecordNotAvailable) << where() << ", SKIP " << n << " at step " << i;
                    return;
                }
                ASSERT_EQ(got, 0) << where() << ", SKIP " << n << " at step " << i;
            }
        }
    }

    // --- whole comparisons

    void walk_all(int k, const Order& order) {
        std::vector<std::uint32_t> want, forward, backward;
        for (const Entry& e : order) want.push_back(e.recno);
        for (bool fwd : {true, false}) {
            std::vector<std::uint32_t>& got = fwd ? forward : backward;
            ASSERT_EQ(k == kFileOrder ? sd::set(&m_t.fcb) : sd::set_key(&m_t.fcb, m_t.keys[k]), 0) << where();
            ++m_ops;
            for (;;) {
                const int rc = fwd ? sd::next(&m_t.fcb) : sd::previous(&m_t.fcb);
                ++m_ops;
                if (rc != 0) {
                    ASSERT_EQ(rc, sk::rt::kRecordNotAvailable) << where() << ": " << kOrderNames[k];
                    break;
                }
                const auto recno = static_cast<std::uint32_t>(sd::pointer(&m_t.fcb));
                const auto it = m_model.find(recno);
                ASSERT_NE(it, m_model.end()) << where() << ": " << kOrderNames[k] << " gave record " << recno;
                ASSERT_EQ(from_buffer(), it->second) << where() << ": " << kOrderNames[k] << ", record " << recno;
                got.push_back(recno);
                ASSERT_LE(got.size(), want.size()) << where() << ": " << kOrderNames[k] << " has too many entries";
            }
        }
        std::reverse(backward.begin(), backward.end());
        ASSERT_EQ(forward, want) << where() << ": " << kOrderNames[k] << " forward";
        ASSERT_EQ(backward, want) << where() << ": " << kOrderNames[k] << " backward";
    }

    void compare_all() {
        ASSERT_EQ(sd::records(&m_t.fcb), static_cast<std::int64_t>(m_model.size())) << where();
        ++m_ops;
        for (int k = 0; k <= kFileOrder; ++k) {
            const Order order = order_of(m_model, k);
            if (k != kFileOrder) {
                ASSERT_EQ(sd::records_key(&m_t.fcb, m_t.keys[k]), static_cast<std::int64_t>(order.size()))
                    << where() << ": " << kOrderNames[k];
                ++m_ops;
            }
            ASSERT_NO_FATAL_FAILURE(walk_all(k, order));
        }
        for (const auto& [recno, s] : m_model) {
            ASSERT_EQ(sd::get_pointer(&m_t.fcb, recno), 0) << where() << ": record " << recno;
            ++m_ops;
            ASSERT_NO_FATAL_FAILURE(expect_delivered(recno));
            if (s.location.empty()) continue;
            to_buffer(Site{});
            m_t.put_text(SiteTestTable::kLocationAt, SiteTestTable::kLocationSize, s.location);
            ASSERT_EQ(sd::get_key(&m_t.fcb, &m_t.k_location), 0) << where() << ": " << s.location;
            ++m_ops;
            ASSERT_NO_FATAL_FAILURE(expect_delivered(recno));
        }
        int n = 0;
        for (auto it = m_dead.rbegin(); it != m_dead.rend() && n < 50; ++it, ++n) {
            ASSERT_EQ(sd::get_pointer(&m_t.fcb, *it), sk::rt::kRecordNotFound) << where() << ": deleted record " << *it;
            ++m_ops;
        }
    }

    SiteTestTable& m_t;
    std::string m_path;
    std::mt19937 m_rng;
    Model m_model, m_saved;
    std::set<std::uint32_t> m_dead, m_saved_dead;  // numbers of deleted records
    bool m_in_transaction = false;
    int m_left = 0;  // changes left in the transaction
    std::int64_t m_ops = 0;
    int m_commits = 0, m_rollbacks = 0, m_refusals = 0;
    std::string m_action = "start";
};

}  // namespace

TEST(KsfSiteModel, LongRandomRunsMatchTheModel) {
    const auto seed = static_cast<std::uint32_t>(seed_from_environment());
    SCOPED_TRACE("seed " + std::to_string(seed) + " (rerun with KSF_SEED=" + std::to_string(seed) + ")");
    // Every commit flushes: in memory when the system offers a memory file
    // system, on disk otherwise.
    sk::test::PlatformTempDir dir("/dev/shm");
    SiteTestTable t(dir.file("sites"));
    ASSERT_EQ(sd::create(&t.fcb), 0);
    ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
    SiteModelRun run(t, dir.file("sites.KSF"), seed);
    constexpr std::int64_t kOperations = 100000, kRound = 5000;
    std::int64_t round_end = kRound;
    while (run.ops() < kOperations || run.in_transaction()) {
        ASSERT_NO_FATAL_FAILURE(run.act());
        if (run.ops() >= round_end && !run.in_transaction()) {
            ASSERT_NO_FATAL_FAILURE(run.end_round());
            round_end = run.ops() + kRound;
        }
    }
    ASSERT_NO_FATAL_FAILURE(run.end_round());
    ASSERT_NO_FATAL_FAILURE(run.check_file());
    // The run must have met what it is there for.
    EXPECT_GT(run.commits(), 20);
    EXPECT_GT(run.rollbacks(), 5);
    EXPECT_GT(run.refusals(), 20);
    std::cout << "[ model    ] seed " << seed << ": " << run.ops() << " operations, " << run.commits() << " commits, "
              << run.rollbacks() << " rollbacks, " << run.refusals() << " refusals, " << run.size()
              << " records at the end\n";
    ASSERT_EQ(sd::close(&t.fcb), 0);
}
