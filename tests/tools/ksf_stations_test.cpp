// Four stations (the test process and three forked children) share one site file
// opened read/write deny none and run random ADD, PUT and DELETE statements with
// reads in between, reading before a change the way the program does (WATCH, and
// sometimes HOLD). Each station logs every statement that reported success; the
// file must then pass `ksf check` and hold exactly what those statements replay to.
//
// What makes the replay well defined although the stations interleave: every
// record carries a version (the keyword, six digits). A change reads the record
// with WATCH or HOLD, writes version + 1 and PUTs; WATCH refuses the PUT (89) when
// the record changed since the read, HOLD keeps the other stations from changing
// it meanwhile. So the successful PUTs of one record form the chain 1, 2, 3 ... with no
// version twice (twice would be a lost update), and the last one is what the file
// holds. ADD writes version 0 at a location drawn from a pool all stations share,
// so that unique-key clashes (40) happen across processes.
//
// The note of every record repeats its fields, so that any read can tell a record
// put together from two different statements.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "data/file_layer.h"
#include "data/ksf/site_test_table.h"
#include "runtime/error.h"
#include "support/platform_child.h"
#include "support/platform_temp_dir.h"
#include "tools/ksf/ksf_commands.h"

namespace sd = sk::data;
using sk::test::PlatformChild;
using sk::test::SiteTestTable;

namespace {

constexpr int kStations = 4;
constexpr int kWrites = 2000;      // ADD, PUT and DELETE statements per station
constexpr int kLocations = 150;    // the shared pool of locations
constexpr int kHotLocations = 8;   // the part of it that is wanted most
constexpr int kHoldSeconds = 1;

const char* const kCategories[] = {"news", "tools", "music", "sport", "travel"};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string to_hex(const char* p, std::size_t n) {
    static const char* const digits = "0123456789abcdef";
    std::string s;
    s.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        s.push_back(digits[b >> 4]);
        s.push_back(digits[b & 15]);
    }
    return s;
}

std::string from_hex(const std::string& h) {
    std::string s;
    for (std::size_t i = 0; i + 1 < h.size(); i += 2)
        s.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return s;
}

std::string version_text(int v) {
    char b[16];
    std::snprintf(b, sizeof b, "%06d", v);
    return b;
}

// The note a record must carry for the fields it has.
std::string note_for(const SiteTestTable& t) {
    return t.keyword() + "|" + t.description() + "|" + t.location() + "|" + t.category() + "|" +
           std::to_string(t.rating());
}

// One station's run: the statements, their log, and what it saw go wrong.
class Station {
public:
    Station(const std::string& file, int id, std::uint64_t seed, const std::string& log_path)
        : m_t(file), m_rng(seed), m_id(id), m_log(log_path) {}

    // 0 when the station ran; a setup failure otherwise. Unexpected results of
    // statements are logged ("X" lines) for the test process to report.
    int run() {
        if (!m_log) return 1;
        if (sd::open(&m_t.fcb, 0x42) != 0) return 2;
        for (m_op = 1; m_op <= kWrites; ++m_op) {
            if (chance(30)) look_around();
            const int roll = pick(100);
            if (roll < 30)
                add();
            else if (roll < 80)
                change();
            else
                remove();
        }
        m_log << "N " << m_reads << "\n";
        if (sd::close(&m_t.fcb) != 0) return 3;
        m_log.flush();
        return m_log ? 0 : 4;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    bool chance(int percent) { return pick(100) < percent; }

    // A pool location in random letter case: the key ignores case, so "SITE-007"
    // and "site-007" clash. A quarter of the picks go to the first few, so that
    // stations often meet on the same records.
    std::string random_location() {
        char b[16];
        std::snprintf(b, sizeof b, "site-%03d", chance(25) ? pick(kHotLocations) : pick(kLocations));
        std::string s = b;
        for (char& c : s)
            if (chance(50)) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    }

    void unexpected(const std::string& what) { m_log << "X station " << m_id << " op " << m_op << ": " << what << "\n"; }
    void failed(char op, int rc) { m_log << "F " << op << " " << rc << "\n"; }
    void succeeded(char op, std::int64_t recno, int version) {
        m_log << op << " " << recno << " " << version << " " << to_hex(m_t.record, SiteTestTable::kRecordLength) << " "
              << m_t.note() << "\n";
    }

    // Fills the buffer for a statement of this station writing version v.
    void fill(const std::string& location, int v) {
        m_t.set(location, "station " + std::to_string(m_id) + " op " + std::to_string(m_op),
                kCategories[pick(5)], pick(100), version_text(v));
        m_t.set_note(note_for(m_t));
    }

    // Checks a record just delivered: its note matches its fields. Remembers it.
    void delivered(const char* how) {
        ++m_reads;
        if (m_t.note() != note_for(m_t))
            unexpected(std::string(how) + " delivered a torn record: note '" + m_t.note() + "' for fields '" +
                       note_for(m_t) + "'");
        const std::int64_t recno = sd::pointer(&m_t.fcb);
        if (recno <= 0) {
            unexpected(std::string(how) + " left no record number");
            return;
        }
        if (m_known.size() < 400) m_known.push_back(recno);
        else m_known[std::size_t(pick(400))] = recno;
        m_position = sd::position_key(&m_t.fcb, &m_t.k_location);
        m_position_recno = recno;
    }

    // Reads one record, the way a change starts: by its location, by a record
    // number seen before, by a position kept from an earlier read (as a browse
    // does), or the first record from a location on. HOLD and WATCH apply to it.
    // Returns the driver's result; anything but the expected refusals is logged.
    int read_one(bool hold, bool watch) {
        if (hold) sd::hold_timeout(&m_t.fcb, kHoldSeconds);
        if (watch) sd::watch(&m_t.fcb);
        int rc = 0;
        const char* how = "";
        std::int64_t want_recno = 0;    // the record asked for, by number
        std::string want_location;      // the location asked for (or from)
        bool from_location = false;
        switch (pick(4)) {
            case 1:
                if (!m_known.empty()) {
                    how = "GET by pointer";
                    want_recno = m_known[std::size_t(pick(int(m_known.size())))];
                    rc = sd::get_pointer(&m_t.fcb, want_recno);
                    break;
                }
                [[fallthrough]];
            case 0:
                how = "GET by location";
                want_location = random_location();
                m_t.put_text(SiteTestTable::kLocationAt, SiteTestTable::kLocationSize, want_location);
                rc = sd::get_key(&m_t.fcb, &m_t.k_location);
                break;
            case 2:
                if (!m_position.empty()) {
                    how = "REGET";
                    want_recno = m_position_recno;
                    rc = sd::reget_key(&m_t.fcb, &m_t.k_location, m_position);
                    break;
                }
                [[fallthrough]];
            default:
                how = "NEXT from a location";
                want_location = random_location();
                from_location = true;
                m_t.put_text(SiteTestTable::kLocationAt, SiteTestTable::kLocationSize, want_location);
                rc = sd::set_key_value(&m_t.fcb, &m_t.k_location, &m_t.k_location);
                if (rc != 0) {
                    unexpected("SET by location gave " + std::to_string(rc));
                    return rc;
                }
                rc = sd::next(&m_t.fcb);
                break;
        }
        if (rc == 0) {
            delivered(how);
            const std::int64_t got = sd::pointer(&m_t.fcb);
            const std::string location = upper(m_t.location());
            if (want_recno != 0 && got != want_recno)
                unexpected(std::string(how) + " of record " + std::to_string(want_recno) + " delivered " +
                           std::to_string(got));
            if (!want_location.empty() &&
                (from_location ? location < upper(want_location) : location != upper(want_location)))
                unexpected(std::string(how) + " " + want_location + " delivered " + m_t.location());
        } else if (rc == sk::rt::kRecordNotFound || rc == sk::rt::kRecordNotAvailable ||
                   (hold && rc == sk::rt::kRecordAlreadyHeld)) {
            failed('R', rc);
        } else {
            unexpected(std::string(how) + " gave " + std::to_string(rc));
        }
        return rc;
    }

    void add() {
        fill(random_location(), 0);
        const int rc = sd::add(&m_t.fcb);
        if (rc == 0) {
            const std::int64_t recno = sd::pointer(&m_t.fcb);
            succeeded('A', recno, 0);
            if (m_known.size() < 400) m_known.push_back(recno);
        } else if (rc == sk::rt::kCreatesDuplicateKey) {
            failed('A', rc);
        } else {
            unexpected("ADD gave " + std::to_string(rc));
        }
    }

    // Read with WATCH (and sometimes HOLD first), change, PUT version + 1.
    void change() {
        const bool hold = chance(30);
        const bool watch = !hold || chance(50);
        if (read_one(hold, watch) != 0) return;
        const std::int64_t recno = sd::pointer(&m_t.fcb);
        const int version = std::atoi(m_t.keyword().c_str());
        std::string location = m_t.location();
        // A held record keeps its location: a clash would leave it held (only a
        // PUT that goes through releases it) and have the others wait it out.
        if (!hold && chance(15)) location = random_location();
        if (hold) pause_holding();
        fill(location, version + 1);
        const int rc = sd::put(&m_t.fcb);
        if (rc == 0) {
            succeeded('P', recno, version + 1);
        } else if (!hold && (rc == sk::rt::kRecordChangedByAnother || rc == sk::rt::kAccessDenied ||
                             rc == sk::rt::kCreatesDuplicateKey || rc == sk::rt::kRecordNotAvailable)) {
            failed('P', rc);
        } else {
            unexpected(std::string(hold ? "held " : "watched ") + "PUT gave " + std::to_string(rc));
        }
    }

    // Read with HOLD or WATCH, then DELETE.
    void remove() {
        const bool hold = chance(40);
        if (read_one(hold, !hold) != 0) return;
        const std::int64_t recno = sd::pointer(&m_t.fcb);
        if (hold) pause_holding();
        const int rc = sd::delete_record(&m_t.fcb);
        if (rc == 0) {
            m_log << "D " << recno << "\n";
        } else if (!hold && rc == sk::rt::kRecordNotAvailable) {
            failed('D', rc);
        } else {
            unexpected(std::string(hold ? "held " : "watched ") + "DELETE gave " + std::to_string(rc));
        }
    }

    // Now and then the user lingers on the form while holding the record, so that
    // the others meet the hold: a HOLD read waits (and, past the timeout, gives
    // 43), an unheld PUT or DELETE is refused. The long pauses are kept to the
    // most wanted records, where another station is likely to come by.
    void pause_holding() {
        if (m_long_holds < 2 && chance(2) && upper(m_t.location()) < upper(hot_bound())) {
            ++m_long_holds;
            std::this_thread::sleep_for(std::chrono::milliseconds(kHoldSeconds * 1000 + 300));
        } else if (chance(3)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + pick(120)));
        } else {
            return;
        }
        count_records();
    }

    static std::string hot_bound() {
        char b[16];
        std::snprintf(b, sizeof b, "site-%03d", kHotLocations);
        return b;
    }

    // RECORDS leaves the current record alone. The unique location key bounds it.
    void count_records() {
        const std::int64_t n = sd::records(&m_t.fcb);
        if (n < 0 || n > kLocations) unexpected("RECORDS gave " + std::to_string(n));
    }

    // Reads without changing anything: a short walk in location, keyword or file
    // order from a random start, checking the order as it goes, or RECORDS.
    void look_around() {
        const int kind = pick(4);
        if (kind == 3) {
            count_records();
            return;
        }
        int rc = 0;
        std::string last_location, last_keyword;
        if (kind == 0) {
            const std::string start = random_location();
            last_location = upper(start);
            m_t.put_text(SiteTestTable::kLocationAt, SiteTestTable::kLocationSize, start);
            rc = sd::set_key_value(&m_t.fcb, &m_t.k_location, &m_t.k_location);
        } else if (kind == 1) {
            rc = sd::set_key(&m_t.fcb, &m_t.k_keyword);
        } else {
            rc = sd::set(&m_t.fcb);
        }
        if (rc != 0) {
            unexpected("SET for a walk gave " + std::to_string(rc));
            return;
        }
        std::int64_t last_recno = 0;
        const int steps = 1 + pick(8);
        for (int i = 0; i < steps; ++i) {
            if (chance(50)) sd::watch(&m_t.fcb);
            rc = sd::next(&m_t.fcb);
            if (rc == sk::rt::kRecordNotAvailable) break;
            if (rc != 0) {
                unexpected("NEXT in a walk gave " + std::to_string(rc));
                return;
            }
            delivered("NEXT in a walk");
            const std::string location = upper(m_t.location());
            const std::string keyword = m_t.keyword();
            const std::int64_t recno = sd::pointer(&m_t.fcb);
            // Each step continues after the key of the record before, whatever
            // the other stations changed in between.
            if (kind == 0 && (i > 0 ? location <= last_location : location < last_location))
                unexpected("location walk went from " + last_location + " to " + location);
            if (i > 0) {
                if (kind == 1 && std::make_pair(keyword, location) < std::make_pair(last_keyword, last_location))
                    unexpected("keyword walk went from " + last_keyword + "/" + last_location + " to " + keyword +
                               "/" + location);
                if (kind == 2 && recno <= last_recno)
                    unexpected("file order went from " + std::to_string(last_recno) + " to " + std::to_string(recno));
            }
            last_location = location;
            last_keyword = keyword;
            last_recno = recno;
        }
    }

    SiteTestTable m_t;
    std::mt19937_64 m_rng;
    int m_id = 0;
    int m_op = 0;
    long m_reads = 0;
    int m_long_holds = 0;
    std::ofstream m_log;
    std::vector<std::int64_t> m_known;
    std::string m_position;  // of a record read before, in location order
    std::int64_t m_position_recno = 0;
};

// What the logs say about one record number.
struct History {
    int adds = 0, deletes = 0;
    std::string image, note;  // of the ADD, then of the PUT with the highest version
    int version = -1;
    std::vector<int> put_versions;
};

// A record as the file holds it.
struct Stored {
    std::string image, note;
};

std::uint64_t base_seed() {
    if (const char* s = std::getenv("KSF_SEED"); s != nullptr && *s != '\0') return std::strtoull(s, nullptr, 10);
    return std::random_device{}() ^ (std::uint64_t(std::random_device{}()) << 32);
}

}  // namespace

TEST(KsfStationsTool, FourStationsReplayToTheFileAndCheckClean) {
    const std::uint64_t base = base_seed();
    std::printf("stations: base seed %llu (KSF_SEED=%llu repeats the stations' choices)\n",
                static_cast<unsigned long long>(base), static_cast<unsigned long long>(base));
    std::fflush(stdout);
    SCOPED_TRACE("KSF_SEED=" + std::to_string(base));

    // In memory where there is a place for it: the run is about the stations'
    // locking, and 4,000-odd commits each waiting for the disk would take a minute.
    sk::test::PlatformTempDir dir("/dev/shm");
    const std::string name = dir.file("linkdb");
    auto log_of = [&](int s) { return dir.file("station" + std::to_string(s) + ".log"); };

    // Every child is forked before this process opens anything, so that no open
    // file description and no lock is shared with it.
    std::vector<std::unique_ptr<PlatformChild>> children;
    for (int s = 1; s < kStations; ++s) {
        children.push_back(std::make_unique<PlatformChild>());
        ASSERT_TRUE(children.back()->start([&, s](PlatformChild& self) {
            if (!self.wait_signal(60000)) return 90;
            Station station(name, s, base + std::uint64_t(s), log_of(s));
            return station.run();
        }));
    }
    {
        SiteTestTable t(name);
        ASSERT_EQ(sd::create(&t.fcb), 0);
    }
    for (auto& c : children) ASSERT_TRUE(c->signal());
    {
        Station station(name, 0, base, log_of(0));
        EXPECT_EQ(station.run(), 0);
    }
    for (std::size_t i = 0; i < children.size(); ++i) EXPECT_EQ(children[i]->join(), 0) << "station " << i + 1;

    // The replay of the logs.
    std::map<std::int64_t, History> history;
    std::map<std::string, int> outcomes;
    std::vector<std::string> faults;
    for (int s = 0; s < kStations; ++s) {
        std::ifstream in(log_of(s));
        ASSERT_TRUE(in) << "no log of station " << s;
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty()) continue;
            std::istringstream fields(line);
            std::string op;
            fields >> op;
            if (op == "X") {
                faults.push_back(line.substr(2));
            } else if (op == "F") {
                std::string what, code;
                fields >> what >> code;
                ++outcomes[what + " " + code];
            } else if (op == "N") {
                long n = 0;
                fields >> n;
                outcomes["reads"] += int(n);
            } else if (op == "D") {
                std::int64_t recno = 0;
                fields >> recno;
                ++history[recno].deletes;
                ++outcomes["D ok"];
            } else if (op == "A" || op == "P") {
                std::int64_t recno = 0;
                int version = 0;
                std::string hex;
                fields >> recno >> version >> hex;
                std::string note;
                std::getline(fields, note);
                if (!note.empty() && note[0] == ' ') note.erase(0, 1);
                History& h = history[recno];
                ++outcomes[op + " ok"];
                if (op == "A") {
                    ++h.adds;
                    EXPECT_EQ(version, 0);
                } else {
                    h.put_versions.push_back(version);
                }
                if (version > h.version) {
                    h.version = version;
                    h.image = from_hex(hex);
                    h.note = note;
                }
            } else {
                ADD_FAILURE() << "station " << s << " logged '" << line << "'";
            }
        }
    }
    {
        std::string summary = "stations:";
        for (const auto& [what, n] : outcomes) summary += " [" + what + "] " + std::to_string(n);
        std::printf("%s\n", summary.c_str());
    }
    EXPECT_TRUE(faults.empty()) << faults.size() << " unexpected results, the first: " << faults.front();
    // The run must have met the situations it is about.
    EXPECT_GT(outcomes["A 40"], 0);
    EXPECT_GT(outcomes["D ok"], 0);
    EXPECT_GT(outcomes["P ok"], 0);

    std::map<std::int64_t, Stored> expected;
    for (auto& [recno, h] : history) {
        SCOPED_TRACE("record " + std::to_string(recno));
        EXPECT_EQ(h.adds, 1) << "a record number changed or deleted must come from exactly one ADD";
        EXPECT_LE(h.deletes, 1);
        std::sort(h.put_versions.begin(), h.put_versions.end());
        for (std::size_t i = 0; i < h.put_versions.size(); ++i)
            if (h.put_versions[i] != int(i) + 1) {
                std::string versions;
                for (int v : h.put_versions) versions += " " + std::to_string(v);
                ADD_FAILURE() << "the successful PUTs wrote versions" << versions
                              << " (one twice is a lost update)";
                break;
            }
        if (h.adds == 1 && h.deletes == 0) expected[recno] = Stored{h.image, h.note};
    }

    {
        std::string out;
        std::string a0 = "ksf", a1 = "check", a2 = name;
        char* argv[] = {a0.data(), a1.data(), a2.data()};
        std::ostringstream o, e;
        EXPECT_EQ(sk::ksftool::run_ksf(3, argv, o, e), 0) << o.str() << e.str();
    }

    SiteTestTable t(name);
    ASSERT_EQ(sd::open(&t.fcb, 0x42), 0);
    EXPECT_EQ(sd::records(&t.fcb), std::int64_t(expected.size()));
    std::map<std::int64_t, Stored> in_file;
    std::set<std::string> locations;
    ASSERT_EQ(sd::set(&t.fcb), 0);
    while (sd::next(&t.fcb) == 0) {
        const std::int64_t recno = sd::pointer(&t.fcb);
        EXPECT_TRUE(in_file.emplace(recno, Stored{std::string(t.record, SiteTestTable::kRecordLength), t.note()}).second)
            << "record " << recno << " twice in file order";
        EXPECT_TRUE(locations.insert(upper(t.location())).second) << "location " << t.location() << " twice";
    }
    EXPECT_EQ(sk::rt::error_code(), sk::rt::kRecordNotAvailable);
    EXPECT_EQ(in_file.size(), expected.size());
    for (const auto& [recno, want] : expected) {
        const auto got = in_file.find(recno);
        if (got == in_file.end()) {
            ADD_FAILURE() << "record " << recno << " (" << want.note << ") is missing";
            continue;
        }
        EXPECT_EQ(to_hex(got->second.image.data(), got->second.image.size()),
                  to_hex(want.image.data(), want.image.size()))
            << "record " << recno << " (" << want.note << ")";
        EXPECT_EQ(got->second.note, want.note) << "record " << recno;
    }
    for (const auto& [recno, got] : in_file)
        EXPECT_TRUE(expected.count(recno)) << "record " << recno << " (" << got.note << ") should not be there";

    // Every key lists exactly the records in the file.
    for (sd::KeyControlBlock* key : t.keys) {
        SCOPED_TRACE(std::string(key->label, key->label_length));
        std::set<std::int64_t> listed;
        ASSERT_EQ(sd::set_key(&t.fcb, key), 0);
        while (sd::next(&t.fcb) == 0) EXPECT_TRUE(listed.insert(sd::pointer(&t.fcb)).second);
        std::set<std::int64_t> want;
        for (const auto& [recno, s] : in_file) want.insert(recno);
        EXPECT_EQ(listed, want);
        EXPECT_EQ(sd::records_key(&t.fcb, key), std::int64_t(in_file.size()));
    }
    EXPECT_EQ(sd::close(&t.fcb), 0);
}
