#include <gtest/gtest.h>

#include <atomic>
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

TEST_F(ManualLoop, RunNextStopsAtTheNextDeadlineWithEveryTimerDueThenOrAtItsLimit) {
    m_start = loop().now_ms();
    HWND a = logging_window("a");
    HWND b = logging_window("b");
    SetTimer(a, 1, 30, nullptr);
    SetTimer(b, 2, 30, nullptr);
    SetTimer(b, 3, 45, nullptr);
    loop().run_next(100);
    EXPECT_EQ(m_log, (std::vector<std::string>{"a:1@30", "b:2@30"}));
    EXPECT_EQ(loop().now_ms() - m_start, 30u);
    loop().run_next(10);  // nothing due within the limit: time moves by it
    EXPECT_EQ(loop().now_ms() - m_start, 40u);
    loop().run_next(100);
    EXPECT_EQ(m_log.back(), "b:3@45");
    EXPECT_EQ(m_log.size(), 3u);
}

TEST(RealLoop, RunNextReturnsOnceATimerFiredOrATaskRan) {
    auto& loop = MessageLoop::instance();
    loop.set_clock(ClockKind::real);
    int ticks = 0;
    HWND w = CreateMessageWindow([&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        ticks += msg == WM_TIMER;
        return 0;
    });
    SetTimer(w, 1, 1, nullptr);
    loop.run_next(600'000);
    EXPECT_EQ(ticks, 1);
    // A task posted while it waits for a far timer ends the wait.
    SetTimer(w, 1, 600'000, nullptr);
    bool ran = false;
    std::thread([&] { loop.post([&] { ran = true; }); }).join();
    loop.run_next(600'000);
    EXPECT_TRUE(ran);
    EXPECT_EQ(ticks, 1);
    DestroyWindow(w);
    loop.set_clock(ClockKind::manual);
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

// A procedure installed in front of a window's own: it takes one message and hands on the rest.
WNDPROC g_previous = nullptr;
std::vector<std::string>* g_seen = nullptr;
constexpr UINT kTaken = 0x0312;

LRESULT front_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    g_seen->push_back("front:" + std::to_string(message));
    if (message == kTaken) return 1;
    return CallWindowProcA(g_previous, window, message, wparam, lparam);
}

TEST_F(ManualLoop, AProcedureInFrontSeesEveryMessageAndPassesOnTheResultsOfTheOthers) {
    std::vector<std::string> seen;
    g_seen = &seen;
    HWND w = CreateMessageWindow([&](HWND, UINT msg, WPARAM wparam, LPARAM) -> LRESULT {
        seen.push_back("own:" + std::to_string(msg));
        return msg == WM_TIMER ? 7 : static_cast<LRESULT>(wparam);
    });
    g_previous = reinterpret_cast<WNDPROC>(
        SetWindowLongA(w, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&front_procedure)));
    ASSERT_NE(g_previous, nullptr);
    EXPECT_EQ(SetWindowLongA(w, 0, reinterpret_cast<LONG_PTR>(&front_procedure)), 0);

    EXPECT_EQ(SendMessageA(w, 0x0400, 42, 0), 42);  // passed on, result unchanged
    EXPECT_EQ(SendMessageA(w, kTaken, 0, 0), 1);    // taken, never reaches the window
    SetTimer(w, 1, 10, nullptr);
    loop().run_for(10);
    std::thread([&] { PostMessageA(w, kTaken, 2, 0); }).join();
    loop().run_for(0);
    DestroyWindow(w);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"own:1", "front:1024", "own:1024", "front:786", "front:275",
                                        "own:275", "front:786", "front:2", "own:2"}));

    // A message posted to a window that is gone by the time it is delivered is dropped.
    seen.clear();
    EXPECT_TRUE(PostMessageA(w, kTaken, 0, 0));
    EXPECT_FALSE(PostMessageA(nullptr, kTaken, 0, 0));
    loop().run_for(0);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(SetWindowLongA(w, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&front_procedure)), 0);
    g_seen = nullptr;
}

// A host loop as a test sees it: counts its wake-ups, which may come from any thread.
class CountingDriver final : public LoopDriver {
  public:
    void wake() override { ++m_wakes; }
    int take() { return m_wakes.exchange(0); }

  private:
    std::atomic<int> m_wakes{0};
};

class DrivenLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        loop().set_clock(ClockKind::real);
        loop().set_driver(&m_driver);
        m_driver.take();
    }
    void TearDown() override {
        loop().set_driver(nullptr);
        for (HWND w : m_windows) DestroyWindow(w);
        loop().set_clock(ClockKind::manual);
    }
    static MessageLoop& loop() { return MessageLoop::instance(); }
    HWND counting_window(int& ticks) {
        HWND w = CreateMessageWindow([&ticks](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
            ticks += msg == WM_TIMER;
            return 0;
        });
        m_windows.push_back(w);
        return w;
    }

    CountingDriver m_driver;
    std::vector<HWND> m_windows;
};

TEST_F(DrivenLoop, TheHostIsWokenByPostsFromAnyThreadAndByTimerChanges) {
    int ticks = 0;
    HWND w = counting_window(ticks);
    EXPECT_EQ(m_driver.take(), 0);
    SetTimer(w, 1, 60'000, nullptr);
    EXPECT_EQ(m_driver.take(), 1);
    KillTimer(w, 1);
    EXPECT_FALSE(KillTimer(w, 1));
    EXPECT_EQ(m_driver.take(), 1);
    std::thread([&] {
        loop().post([] {});
        PostMessageA(w, WM_TIMER, 9, 0);
    }).join();
    EXPECT_EQ(m_driver.take(), 2);
    EXPECT_EQ(loop().dispatch(), std::nullopt);  // the tasks ran, no timer is left
    EXPECT_EQ(ticks, 1);
    SetTimer(w, 2, 60'000, nullptr);
    m_driver.take();
    DestroyWindow(w);  // takes its timers with it
    EXPECT_EQ(m_driver.take(), 1);

    loop().set_driver(nullptr);
    loop().post([] {});
    EXPECT_EQ(m_driver.take(), 0);
    loop().dispatch();
}

TEST_F(DrivenLoop, DispatchFiresWhatIsDueAndTellsWhenTheNextTimerIs) {
    int ticks = 0;
    HWND w = counting_window(ticks);
    SetTimer(w, 1, 60'000, nullptr);
    SetTimer(w, 2, 20, nullptr);
    auto delay = loop().dispatch();
    ASSERT_TRUE(delay);
    EXPECT_LE(*delay, 20u);
    EXPECT_EQ(ticks, 0);
    // The host waits as long as it was told, and the timer is due then.
    std::this_thread::sleep_for(std::chrono::milliseconds(*delay));
    delay = loop().dispatch();
    EXPECT_EQ(ticks, 1);
    ASSERT_TRUE(delay);
    EXPECT_LE(*delay, 20u);
}

TEST_F(DrivenLoop, OnTheManualClockDispatchRunsTasksButTimeStands) {
    int ticks = 0;
    HWND w = counting_window(ticks);
    loop().set_clock(ClockKind::manual);
    EXPECT_EQ(m_driver.take(), 1);
    SetTimer(w, 1, 10, nullptr);
    bool ran = false;
    loop().post([&] { ran = true; });
    const auto before = loop().now_ms();
    EXPECT_EQ(loop().dispatch(), std::nullopt);
    EXPECT_TRUE(ran);
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(loop().now_ms(), before);
    loop().run_for(25);  // tests move time as before
    EXPECT_EQ(ticks, 2);
}

}  // namespace
