// Message queues on the headless display: order, cross-thread posting and waking,
// timers on the virtual clock, and the clean-up when windows or threads end.
#include "platform/display/display.h"
#include "platform/display/headless.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace sk::platform::display;

namespace {

class Queue : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(open_display(Backend::kHeadless, Size{320, 240})); }
    void TearDown() override { close_display(); }

    WindowId make_window(bool visible = false) {
        WindowSpec spec;
        spec.rect = Rect::from_size(10, 10, 100, 80);
        spec.visible = visible;
        return create_window(spec);
    }

    // Every deliverable message, painting what asks for it.
    static std::vector<Message> drain() {
        std::vector<Message> out;
        Message m;
        while (peek_message(m, true)) {
            if (m.code == kMsgPaint) begin_paint(m.window);
            out.push_back(m);
        }
        return out;
    }
};

Message user_message(WindowId w, std::uint32_t n) {
    Message m;
    m.code = static_cast<MessageCode>(kMsgPrivateFirst + 1);
    m.window = w;
    m.wparam = n;
    return m;
}

}  // namespace

TEST_F(Queue, PostedMessagesArriveInOrderBeforePaintAndTimers) {
    WindowId w = make_window(true);
    ASSERT_NE(w, 0u);
    ASSERT_TRUE(set_timer(w, 7, 10));
    headless::advance_clock(10);
    for (std::uint32_t i = 0; i < 5; ++i) ASSERT_TRUE(post_message(user_message(w, i)));

    std::vector<Message> got = drain();
    ASSERT_EQ(got.size(), 7u);
    for (std::uint32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(got[i].code, kMsgPrivateFirst + 1);
        EXPECT_EQ(got[i].wparam, i);
        EXPECT_EQ(got[i].window, w);
    }
    EXPECT_EQ(got[5].code, kMsgPaint);
    EXPECT_EQ(got[6].code, kMsgTimer);
    EXPECT_EQ(got[6].wparam, 7u);
    // Peeking without removing leaves the message in place.
    ASSERT_TRUE(post_message(user_message(w, 9)));
    Message m;
    ASSERT_TRUE(peek_message(m, false));
    ASSERT_TRUE(peek_message(m, false));
    EXPECT_EQ(pending_message_count(), 1u);
}

TEST_F(Queue, PostFromAnotherThreadWakesTheWaitingOwner) {
    std::atomic<WindowId> window{0};
    std::atomic<bool> received{false};
    std::thread owner([&] {
        window = make_window();
        Message m;
        while (get_message(m)) {
            if (m.code == kMsgPrivateFirst + 1 && m.wparam == 42) {
                received = true;
                break;
            }
        }
    });
    while (window.load() == 0) std::this_thread::yield();
    ASSERT_TRUE(headless::wait_until_idle());  // the owner is now blocked in get_message
    ASSERT_TRUE(post_message(user_message(window, 42)));
    owner.join();
    EXPECT_TRUE(received);
    // The thread ended, and its window went with it.
    EXPECT_FALSE(is_window(window));
}

TEST_F(Queue, WaitReportsWakeTimeoutAndMessages) {
    EXPECT_EQ(wait_for_message(20), WaitResult::kTimeout);

    std::atomic<int> stage{0};
    WaitResult result = WaitResult::kTimeout;
    std::thread waiter([&] {
        stage = 1;
        result = wait_for_message(10000);
        stage = 2;
    });
    while (stage.load() == 0) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    wake_thread(waiter.get_id());
    waiter.join();
    EXPECT_EQ(result, WaitResult::kWoken);

    // A wake-up sent before the wait is not lost.
    wake_thread(std::this_thread::get_id());
    EXPECT_EQ(wait_for_message(10000), WaitResult::kWoken);

    post_thread_message(std::this_thread::get_id(), user_message(0, 1));
    EXPECT_EQ(wait_for_message(0), WaitResult::kMessage);
    post_quit(std::this_thread::get_id(), 3);
    Message m;
    EXPECT_TRUE(get_message(m));   // the thread message first
    EXPECT_FALSE(get_message(m));  // then the quit
    EXPECT_EQ(m.code, kMsgQuit);
    EXPECT_EQ(m.wparam, 3u);
}

TEST_F(Queue, TimersFireOnlyWhenTheVirtualClockReachesThem) {
    WindowId w = make_window();
    ASSERT_TRUE(set_timer(w, 1, 100));
    headless::advance_clock(99);
    EXPECT_TRUE(drain().empty());
    headless::advance_clock(1);
    std::vector<Message> got = drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].code, kMsgTimer);
    EXPECT_EQ(got[0].time, 100u);
    // Unread ticks do not pile up: a timer that fell behind fires once.
    headless::advance_clock(500);
    EXPECT_EQ(drain().size(), 1u);
    ASSERT_TRUE(kill_timer(w, 1));
    headless::advance_clock(1000);
    EXPECT_TRUE(drain().empty());
    EXPECT_FALSE(kill_timer(w, 1));
}

TEST_F(Queue, AdvancingTheClockLetsAnotherThreadSeeEveryTick) {
    std::atomic<int> ticks{0};
    std::atomic<WindowId> window{0};
    std::thread owner([&] {
        WindowId w = make_window();
        set_timer(w, 5, 100);
        window = w;
        Message m;
        while (get_message(m)) {
            if (m.code == kMsgTimer) ++ticks;
            if (m.code == kMsgClose) destroy_window(w);
            if (m.code == kMsgDestroy) break;
        }
    });
    while (window.load() == 0) std::this_thread::yield();
    headless::advance_clock(1000);
    ASSERT_TRUE(headless::wait_until_idle());
    EXPECT_EQ(ticks.load(), 10);
    Message close;
    close.code = kMsgClose;
    close.window = window;
    ASSERT_TRUE(post_message(close));
    owner.join();
}

TEST_F(Queue, DestroyedWindowsLoseTheirPendingMessages) {
    WindowId w = make_window();
    WindowId other = make_window();
    post_message(user_message(w, 1));
    post_message(user_message(other, 2));
    ASSERT_TRUE(destroy_window(w));
    std::vector<Message> got = drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].window, other);
    EXPECT_EQ(got[1].code, kMsgDestroy);
    EXPECT_EQ(got[1].lparam, static_cast<std::int64_t>(w));
    EXPECT_FALSE(post_message(user_message(w, 3)));
    EXPECT_FALSE(destroy_window(w));
}
