#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/loop/message_loop.h"

namespace {

class ManualLoop : public ::testing::Test {
  protected:
    void SetUp() override { loop().set_clock(ClockKind::manual); }
    void TearDown() override {
        for (HWND w : m_windows) DestroyWindow(w);
    }
    static MessageLoop& loop() { return MessageLoop::instance(); }

    // A window that logs "name:id@time" for each timer message.
    HWND logging_window(const std::string& name, std::function<void(UINT_PTR)> extra = {}) {
        HWND w =
            CreateMessageWindow([this, name, extra](HWND, UINT msg, WPARAM id, LPARAM) -> LRESULT {
                if (msg == WM_TIMER) {
                    m_log.push_back(name + ":" + std::to_string(id) + "@" +
                                    std::to_string(loop().now_ms() - m_start));
                    if (extra) extra(id);
                }
                return 0;
            });
        m_windows.push_back(w);
        return w;
    }

    std::vector<std::string> m_log;
    std::vector<HWND> m_windows;
    std::uint64_t m_start = MessageLoop::instance().now_ms();
};

TEST_F(ManualLoop, DueTimersFireInDeadlineOrderAndTiesInTheOrderTheyWereSet) {
    m_start = loop().now_ms();
    HWND a = logging_window("a");
    HWND b = logging_window("b");
    SetTimer(b, 1, 100, nullptr);
    SetTimer(a, 3, 50, nullptr);
    SetTimer(a, 1, 100, nullptr);
    loop().run_for(200);
    EXPECT_EQ(m_log, (std::vector<std::string>{"a:3@50", "b:1@100", "a:3@100", "a:1@100", "a:3@150",
                                               "b:1@200", "a:3@200", "a:1@200"}));
    EXPECT_EQ(loop().now_ms() - m_start, 200u);
}

TEST_F(ManualLoop, SettingTheSameIdReplacesTheTimerAndKillStopsIt) {
    m_start = loop().now_ms();
    HWND w = logging_window("w");
    EXPECT_EQ(SetTimer(w, 1, 100, nullptr), 1u);
    loop().run_for(60);
    EXPECT_EQ(SetTimer(w, 1, 50, nullptr), 1u);  // restarts from now: due at 110, 160
    loop().run_for(100);
    EXPECT_EQ(m_log, (std::vector<std::string>{"w:1@110", "w:1@160"}));
    EXPECT_TRUE(KillTimer(w, 1));
    EXPECT_FALSE(KillTimer(w, 1));
    loop().run_for(1000);
    EXPECT_EQ(m_log.size(), 2u);
}

TEST_F(ManualLoop, HandlersMayKillTimersOrDestroyTheirWindow) {
    m_start = loop().now_ms();
    HWND other = logging_window("other");
    HWND self = nullptr;
    self = logging_window("self", [&](UINT_PTR) {
        KillTimer(other, 1);
        DestroyWindow(self);
    });
    SetTimer(self, 1, 10, nullptr);
    SetTimer(other, 1, 10, nullptr);  // due at the same time, set later: never fires
    loop().run_for(100);
    EXPECT_EQ(m_log, (std::vector<std::string>{"self:1@10"}));
    EXPECT_FALSE(IsWindow(self));
    EXPECT_EQ(SetTimer(self, 1, 10, nullptr), 0u);
}

TEST_F(ManualLoop, DestroyingAWindowSendsDestroyAndDropsItsTimers) {
    std::vector<UINT> messages;
    HWND w = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        messages.push_back(msg);
        return 0;
    });
    const std::size_t before = loop().timer_count();
    SetTimer(w, 1, 10, nullptr);
    SetTimer(w, 2, 10, nullptr);
    EXPECT_EQ(loop().timer_count(), before + 2);
    DestroyWindow(w);
    EXPECT_EQ(loop().timer_count(), before);
    EXPECT_EQ(messages, (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
    EXPECT_EQ(CreateMessageWindow([](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
                  return msg == WM_CREATE ? -1 : 0;
              }),
              nullptr);
}

TEST_F(ManualLoop, ClockObserversSeeEveryStepBeforeTheTimersOfThatTime) {
    m_start = loop().now_ms();
    HWND w = logging_window("w");
    SetTimer(w, 1, 30, nullptr);
    const int id = loop().add_clock_observer(
        [&](std::uint64_t now) { m_log.push_back("clock@" + std::to_string(now - m_start)); });
    loop().run_for(70);
    loop().remove_clock_observer(id);
    EXPECT_EQ(m_log,
              (std::vector<std::string>{"clock@30", "w:1@30", "clock@60", "w:1@60", "clock@70"}));
}

TEST_F(ManualLoop, AnHourOfTicksTakesNoWallTimeAndTasksPostedFromThreadsRun) {
    int ticks = 0;
    HWND w = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        ticks += msg == WM_TIMER;
        return 0;
    });
    m_windows.push_back(w);
    SetTimer(w, 1, 100, nullptr);
    bool ran = false;
    std::thread([&] { loop().post([&] { ran = true; }); }).join();
    loop().run_for(3'600'000);
    EXPECT_EQ(ticks, 36'000);
    EXPECT_TRUE(ran);
}

TEST(RealLoop, RunReturnsWhenATaskQuitsAndTimeMovesOnByItself) {
    auto& loop = MessageLoop::instance();
    loop.set_clock(ClockKind::real);
    const auto before = loop.now_ms();
    std::thread([&] { loop.post([&] { loop.quit(); }); }).join();
    loop.run();
    loop.run_for(5);
    EXPECT_GE(loop.now_ms(), before + 5);
    loop.set_clock(ClockKind::manual);
}

}  // namespace
