// The transaction list, the multi-file commit through the control file and
// the completion check for pending journals.
#include "data/ksf/transaction.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "data/ksf/driver.h"
#include "data/ksf/ksf_table.h"
#include "data/ksf/page_store.h"
#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "runtime/error.h"

namespace sk::ksf {

namespace {

struct Transaction {
    std::string control_file = "c:\\kestrel.tcf";
    std::vector<std::shared_ptr<KsfFile>> files;
    std::vector<KsfTable*> tables;
};

Transaction& transaction() {
    static Transaction t;
    return t;
}

void end_transaction() {
    Transaction& tx = transaction();
    for (KsfTable* t : tx.tables) t->state_word &= ~sk::data::kStateInTransaction;
    tx.tables.clear();
    tx.files.clear();
}

// The control file's name as this system reads it: a drive-letter name such
// as the default "c:\\kestrel.tcf" lies in the per-user state directory
// (created when missing), a relative name in the current directory.
std::string control_path(const std::string& name) {
    const bool drive_letter = name.size() >= 2 && name[1] == ':';
    const std::string native = sk::platform::native_name(name);
    if (drive_letter) {
        (void)sk::platform::make_directories(sk::platform::parent_path(native));
        return native;
    }
    if (!native.empty() && native[0] == '/') return native;
    std::string dir = sk::platform::current_directory();
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    return dir + native;
}

// Seconds of the local date and time, counted from 1 January 1970.
std::uint32_t local_seconds() {
    const sk::platform::LocalTime now = sk::platform::local_time();
    int y = now.year, m = now.month;
    if (m <= 2) {
        --y;
        m += 12;
    }
    const long days = 365L * y + y / 4 - y / 100 + y / 400 + (153 * (m - 3) + 2) / 5 + now.day - 719469L;
    return static_cast<std::uint32_t>(days * 86400L + now.hour * 3600L + now.minute * 60L + now.second);
}

int control_statement(KsfFile& tcf, bool insert, Id id) {
    if (int rc = tcf.begin_statement(true)) return rc == 1 ? sk::rt::kInvalidDataFile : rc;
    int rc = 0;
    if (insert)
        rc = tree_result(tree_of(tcf).insert(Record::of(id.view())));
    else if ((rc = tree_result(tree_of(tcf).remove(id.view()))) == kTreeNone)
        rc = 0;
    if (rc != 0) tcf.rollback();
    const int c = tcf.end_statement();
    return rc != 0 ? rc : c;
}

}  // namespace

void set_transaction_control_file(const std::string& name) { transaction().control_file = name; }

const std::string& transaction_control_file() { return transaction().control_file; }

bool in_transaction(const KsfFile& file) {
    for (const auto& f : transaction().files)
        if (f.get() == &file) return true;
    return false;
}

void enlist(KsfTable& table) {
    Transaction& tx = transaction();
    if (std::find(tx.tables.begin(), tx.tables.end(), &table) == tx.tables.end()) tx.tables.push_back(&table);
    if (!in_transaction(*table.file)) tx.files.push_back(table.file);
}

void forget_table(KsfTable* table) {
    auto& tables = transaction().tables;
    tables.erase(std::remove(tables.begin(), tables.end(), table), tables.end());
}

int commit_transaction() {
    Transaction& tx = transaction();
    std::vector<std::shared_ptr<KsfFile>> files = tx.files;
    end_transaction();
    if (files.size() <= 1) {
        int rc = 0;
        for (auto& f : files) rc = f->end_statement();
        return rc;
    }
    // T1: the identifier record in the control file marks the transaction open.
    KsfFile tcf(control_path(tx.control_file));
    int rc = tcf.open(sk::platform::kAccessReadWrite | sk::platform::kDenyNone, true);
    Id id;
    if (rc == 0) rc = tcf.begin_statement(false);
    if (rc == 0) {
        for (std::uint32_t v = local_seconds();; ++v) {
            id = Id::of(v);
            Record r;
            if (tree_result(tree_of(tcf).find(id.view(), &r)) != 0) break;
        }
        tcf.end_statement();
        rc = control_statement(tcf, true, id);
    }
    if (rc != 0) {
        for (auto& f : files) {
            f->rollback();
            f->end_statement();
        }
        return rc == 1 ? sk::rt::kInvalidDataFile : rc;
    }
    // T2: each file's journal names the transaction before it becomes visible.
    std::size_t prepared = 0;
    for (; prepared < files.size(); ++prepared) {
        KsfFile& f = *files[prepared];
        std::string data(id.view());
        data += tx.control_file;
        data.push_back('\0');
        const Record link = Record::of(std::string(1, static_cast<char>(kKindTransaction)), data);
        rc = tree_result(tree_of(f).replace(link));
        if (rc == kTreeNone) rc = tree_result(tree_of(f).insert(link));
        if (rc == 0) rc = f.commit_prepare();
        if (rc != 0) break;
    }
    if (rc != 0) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (i < prepared)
                files[i]->abort_prepared();
            else
                files[i]->rollback();
            files[i]->end_statement();
        }
        control_statement(tcf, false, id);
        return rc;
    }
    // T3: deleting the identifier record completes the transaction.
    rc = control_statement(tcf, false, id);
    if (rc != 0) {
        // Whether the deletion reached the disk is unknown: the journals stay,
        // and the next statement's refresh asks the control file.
        for (auto& f : files) {
            f->rollback();
            f->end_statement();
        }
        return rc;
    }
    int result = 0;
    for (auto& f : files) {
        const int c = f->commit_finish();
        if (result == 0) result = c;
        f->end_statement();
    }
    return result;
}

void rollback_transaction() {
    std::vector<std::shared_ptr<KsfFile>> files = transaction().files;
    end_transaction();
    for (auto& f : files) {
        f->rollback();
        f->end_statement();
    }
}

bool journal_completed(KsfFile& file, const Header&) {
    FilePageStore store(file.file(), file.cipher());
    if (store.open() != 0) return true;
    PageTree tree(store);
    Record link;
    if (tree.find(std::string(1, static_cast<char>(kKindTransaction)), &link) != 0) return true;
    const std::string_view data = link.data();
    if (data.size() < kIdSize + 1) return true;
    std::string name(data.substr(kIdSize));
    if (const std::size_t nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
    KsfFile tcf(control_path(name));
    if (tcf.open(sk::platform::kAccessRead | sk::platform::kDenyNone, false) != 0) return true;
    if (tcf.refresh() != 0) return true;
    Record r;
    return tree_result(tree_of(tcf).find(data.substr(0, kIdSize), &r)) != 0;
}

}  // namespace sk::ksf
