// In-memory queues: positions, copies, sorting.
#include "data/queue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/error.h"

namespace {

using sk::data::Queue;

struct Row {
    char name[8];
    int value;
};

Row row(const char* name, int value) {
    Row r{};
    std::strncpy(r.name, name, sizeof r.name - 1);
    r.value = value;
    return r;
}

std::string names(const Queue& q) {
    std::string out;
    for (std::size_t i = 1; i <= q.count(); ++i) {
        Row r;
        EXPECT_EQ(q.get(i, &r), 0);
        out += r.name;
        out += ' ';
    }
    return out;
}

TEST(Queue, AddsAtTheEndAndAtPositionsAndCopiesRecords) {
    Queue q(sizeof(Row));
    Row r = row("b", 2);
    q.add(&r);
    r = row("d", 4);
    q.add(&r);
    std::strcpy(r.name, "zz");  // the queue holds its own copy
    r = row("a", 1);
    EXPECT_EQ(q.add_at(&r, 1), 1u);
    r = row("c", 3);
    EXPECT_EQ(q.add_at(&r, 3), 3u);
    r = row("e", 5);
    EXPECT_EQ(q.add_at(&r, 99), 5u);
    EXPECT_EQ(names(q), "a b c d e ");
    EXPECT_EQ(q.count(), 5u);
}

TEST(Queue, PositionsOutsideTheQueueAnswerEntryNotFound) {
    Queue q(sizeof(Row));
    Row r = row("x", 1);
    EXPECT_EQ(q.get(1, &r), sk::rt::kEntryNotFound);
    q.add(&r);
    EXPECT_EQ(q.get(0, &r), sk::rt::kEntryNotFound);
    EXPECT_EQ(q.get(2, &r), sk::rt::kEntryNotFound);
    EXPECT_EQ(q.remove(2), sk::rt::kEntryNotFound);
    EXPECT_EQ(q.put(0, &r), sk::rt::kEntryNotFound);
    EXPECT_EQ(q.at(2), nullptr);
    EXPECT_EQ(q.count(), 1u);
}

TEST(Queue, DeletePutAndFree) {
    Queue q(sizeof(Row));
    for (int i = 0; i < 5; ++i) {
        Row r = row(std::string(1, char('a' + i)).c_str(), i);
        q.add(&r);
    }
    EXPECT_EQ(q.remove(1), 0);
    EXPECT_EQ(q.remove(4), 0);
    EXPECT_EQ(names(q), "b c d ");
    Row r = row("C", 30);
    EXPECT_EQ(q.put(2, &r), 0);
    EXPECT_EQ(names(q), "b C d ");
    q.free();
    EXPECT_EQ(q.count(), 0u);
    q.add(&r);
    EXPECT_EQ(q.count(), 1u);
}

TEST(Queue, SortIsStableUnderTheComparison) {
    Queue q(sizeof(Row));
    const char* labels[] = {"p", "q", "r", "s", "t", "u"};
    int values[] = {3, 1, 3, 2, 1, 3};
    for (int i = 0; i < 6; ++i) {
        Row r = row(labels[i], values[i]);
        q.add(&r);
    }
    q.sort([](const void* a, const void* b) {
        return static_cast<const Row*>(a)->value - static_cast<const Row*>(b)->value;
    });
    EXPECT_EQ(names(q), "q t s p r u ");
    q.sort([](const void* a, const void* b) {
        return static_cast<const Row*>(b)->value - static_cast<const Row*>(a)->value;
    });
    EXPECT_EQ(names(q), "p r u s q t ");
}

}  // namespace
