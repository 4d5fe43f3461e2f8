// Procedure threads: START's refusals and stack sizes, the table's limit, the
// serialisation by the global lock, windows left open at a thread's end,
// threaded data, and events crossing threads (Suspend and Resume).
#include <atomic>

#include "engine_test_support.h"
#include "runtime/bind.h"

namespace sk::ui {
namespace {

using test::EngineTest;

const char* kSource = R"(
module "TEST$thread"
window "PROC$WINDOW" {
  title "Thread test"
  at 10 10 100 60
}
)";

class ThreadTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        static bool registered = false;
        if (!registered) test::register_source("thread-test", kSource);
        registered = true;
    }
};

TEST_F(ThreadTest, StartNumbersThreadsAndUsesAtLeastTheDefaultStack) {
    std::atomic<int> seen{0};
    const int a = start([&] { seen = thread_number(); }, 4096);
    ASSERT_GE(a, 2);
    EXPECT_EQ(thread_stack_size(a), 20000u);
    EXPECT_EQ(requested_stack_size(0), 20000u);
    EXPECT_EQ(requested_stack_size(50000), 50000u);
    EXPECT_GE(actual_stack_size(50000), 50000u);
    EXPECT_EQ(seen.load(), 0);  // it cannot run before we give the lock up
    EXPECT_TRUE(wait_for_threads());
    EXPECT_EQ(seen.load(), a);
    EXPECT_FALSE(thread_exists(a));
    // The slot is free again for the next START.
    const int b = start([] {});
    EXPECT_EQ(b, a);
}

TEST_F(ThreadTest, StartIsRefusedWhileModal) {
    Window w(WindowType::kWindow, "TEST$thread", "PROC$WINDOW");
    ASSERT_TRUE(w.open());
    EXPECT_TRUE(is_modal());
    EXPECT_EQ(start([] {}), 0);
    w.close();
    EXPECT_FALSE(is_modal());
}

TEST_F(ThreadTest, SixtyFourthThreadIsRefused) {
    std::atomic<bool> release{false};
    std::vector<int> numbers;
    for (int i = 0; i < 63; ++i) {
        const int n = start([&] {
            LockRelease unlocked;
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        ASSERT_NE(n, 0) << i;
        numbers.push_back(n);
    }
    EXPECT_EQ(start([] {}), 0);
    EXPECT_EQ(numbers.front(), 2);
    EXPECT_EQ(numbers.back(), 64);
    release = true;
    EXPECT_TRUE(wait_for_threads());
}

TEST_F(ThreadTest, OnlyOneThreadRunsAtATime) {
    std::atomic<int> inside{0};
    std::atomic<int> worst{0};
    std::atomic<int> done{0};
    for (int i = 0; i < 6; ++i) {
        start([&] {
            for (int k = 0; k < 20; ++k) {
                const int now = ++inside;
                worst = std::max(worst.load(), now);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                --inside;
                LockRelease unlocked;  // let another one in
            }
            ++done;
        });
    }
    EXPECT_TRUE(wait_for_threads());
    EXPECT_EQ(done.load(), 6);
    EXPECT_EQ(worst.load(), 1);
}

TEST_F(ThreadTest, WindowsLeftOpenAreClosedWhenTheThreadEnds) {
    Window* left = nullptr;
    std::atomic<bool> was_open{false};
    const int n = start([&] {
        left = new Window(WindowType::kWindow, "TEST$thread", "PROC$WINDOW");
        was_open = left->open();
    });
    ASSERT_NE(n, 0);
    EXPECT_TRUE(wait_for_threads());
    EXPECT_TRUE(was_open.load());
    ASSERT_NE(left, nullptr);
    EXPECT_FALSE(left->is_open());
    EXPECT_EQ(modal_count(), 0);
    delete left;
}

TEST_F(ThreadTest, ThreadedDataIsPerThreadAndStartsFromItsImage) {
    static int counter = 7;
    static const int initial = 100;
    register_threaded_data(&counter, sizeof counter, &initial);
    std::atomic<int> first_seen{0}, second_seen{0};
    start([&] {
        first_seen = counter;
        counter = 1;
        LockRelease unlocked;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    start([&] {
        second_seen = counter;
        counter = 2;
    });
    EXPECT_TRUE(wait_for_threads());
    EXPECT_EQ(first_seen.load(), 100);
    EXPECT_EQ(second_seen.load(), 100);
    EXPECT_EQ(counter, 7);  // the main thread's own copy
    unregister_threaded_data(&counter);
}

// Each thread binds names in scopes of its own: what one binds, or pushes and
// forgets to pop, never changes what another thread's expressions see.
TEST_F(ThreadTest, BindingScopesArePerThread) {
    static std::int32_t main_value = 1, first_value = 2, second_value = 3;
    rt::bind_name("SHARED:Value", rt::bound_long(&main_value));
    const std::size_t main_depth = rt::scope_depth();
    std::atomic<bool> first_saw_main{true}, second_saw_first{true};
    std::atomic<std::size_t> second_depth{99};
    start([&] {
        first_saw_main = rt::lookup_name("SHARED:Value") != nullptr;
        rt::push_scope();
        rt::bind_name("SHARED:Value", rt::bound_long(&first_value));
        LockRelease unlocked;  // let the second thread run while this one holds its scope
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    start([&] {
        const rt::NameEntry* e = rt::lookup_name("SHARED:Value");
        second_saw_first = e != nullptr;
        second_depth = rt::scope_depth();
        rt::bind_name("SHARED:Value", rt::bound_long(&second_value));
    });
    EXPECT_TRUE(wait_for_threads());
    EXPECT_FALSE(first_saw_main.load());
    EXPECT_FALSE(second_saw_first.load());
    EXPECT_EQ(second_depth.load(), 0u);
    EXPECT_EQ(rt::scope_depth(), main_depth);
    const rt::NameEntry* mine = rt::lookup_name("SHARED:Value");
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(mine->variable.address, &main_value);
    rt::clear_bindings();
}

TEST_F(ThreadTest, PostToAnotherThreadReachesItsTopWindow) {
    std::vector<int> seen;
    std::atomic<bool> opened{false};
    const int a = start([&] {
        Window w(WindowType::kWindow, "TEST$thread", "PROC$WINDOW");
        if (!w.open()) return;
        opened = true;
        while (w.accept()) {
            seen.push_back(event());
            if (seen.size() > 50) break;
        }
        if (w.is_open()) w.close();
    });
    ASSERT_NE(a, 0);
    ASSERT_TRUE(wait_until([&] { return opened.load(); }));
    post(kEventAccepted, 0, a);
    post(kEventNotify, 0, 40);  // a thread without a window: nothing happens
    ASSERT_TRUE(wait_until([&] { return seen.size() == 2; }));
    post(kEventCloseWindow, 0, a);
    EXPECT_TRUE(wait_for_threads());
    EXPECT_EQ(seen, (std::vector<int>{kEventOpenWindow, kEventAccepted, kEventCloseWindow}));
}

}  // namespace
}  // namespace sk::ui
