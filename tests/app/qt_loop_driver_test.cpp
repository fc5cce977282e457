#include "app/qt_loop_driver.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTimer>

#include <string>
#include <thread>
#include <vector>

#include "control/kelvane_ids.h"
#include "host/control_host.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tone.h"

namespace {

// Runs Qt's loop until `done` quits it; a case that never gets there fails after 20 s instead of
// hanging.
void run_qt_loop() {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(20'000);
    ASSERT_EQ(QCoreApplication::exec(), 0) << "Qt's loop was not quit in time";
}

class QtLoop : public ::testing::Test {
  protected:
    void SetUp() override { MessageLoop::instance().set_clock(ClockKind::real); }
    void TearDown() override { MessageLoop::instance().set_clock(ClockKind::manual); }
};

TEST_F(QtLoop, TasksPostedFromOtherThreadsAndWindowTimersRunFromQtsLoop) {
    QtLoopDriver driver;
    std::vector<std::string> order;
    HWND window = CreateMessageWindow([&](HWND w, UINT message, WPARAM id, LPARAM) -> LRESULT {
        if (message != WM_TIMER) return 0;
        order.push_back("tick " + std::to_string(id));
        KillTimer(w, id);
        if (id == 2) QCoreApplication::quit();
        return 0;
    });
    // Only a wake-up from the other thread gets this going: nothing else is due.
    std::thread([&] {
        MessageLoop::instance().post([&] {
            order.push_back("task");
            SetTimer(window, 2, 30, nullptr);
            SetTimer(window, 1, 10, nullptr);
        });
    }).join();
    run_qt_loop();
    DestroyWindow(window);
    EXPECT_EQ(order, (std::vector<std::string>{"task", "tick 1", "tick 2"}));
}

TEST_F(QtLoop, AModalLoopInsideATickKeepsTheOtherTimersGoing) {
    QtLoopDriver driver;
    int fast = 0;
    HWND window = CreateMessageWindow([&](HWND w, UINT message, WPARAM id, LPARAM) -> LRESULT {
        if (message != WM_TIMER) return 0;
        if (id == 1) {
            // As a message box does: a nested loop that ends when the other timer has ticked.
            KillTimer(w, 1);
            while (fast < 3) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            QCoreApplication::quit();
        } else {
            ++fast;
        }
        return 0;
    });
    SetTimer(window, 1, 1, nullptr);
    SetTimer(window, 2, 5, nullptr);
    run_qt_loop();
    DestroyWindow(window);
    EXPECT_GE(fast, 3);
}

// The control, created by class identifier as the program creates it, recording on the virtual
// card's real clock (a driver thread fills its buffers) with nothing but Qt's loop running.
TEST_F(QtLoop, ARecordingOnTheRealClockRunsThroughQtsLoopAndMakesAWholeFile) {
    ::setenv("KELVANE_VIRTUAL_INPUT", "sine:440:0.5", 1);
    quillon::test::TempDir dir;
    const std::string file = dir.file("qt.wav");
    QtLoopDriver driver;
    std::vector<std::string> events;
    std::vector<LONG> blocks;
    LONG loudest = 0;
    std::unique_ptr<ControlHost> host;
    host = std::make_unique<ControlHost>(
        true, [&](const MemberDesc& event, std::span<const Variant> args) {
            const std::string name(event.name);
            if (events.empty() || events.back() != name) events.push_back(name);
            HRESULT hr;
            if (name == "LevelRecord")
                loudest = std::max(loudest, args[0].changed_to(VT_I4, hr).as_i4());
            if (name == "BlockRecord") {
                blocks.push_back(args[0].changed_to(VT_I4, hr).as_i4());
                // Stopped as the window's Stop button would, not from inside the event.
                if (blocks.size() == 2)
                    QTimer::singleShot(0, [&] {
                        EXPECT_EQ(dispatch_call(host->control(), "Stop", {}, nullptr), S_OK);
                    });
            }
            if (name == "EndRecord") QCoreApplication::quit();
        });
    ASSERT_EQ(host->create(CLSID_Kelvane), S_OK);
    ASSERT_EQ(dispatch_put(host->control(), "BufferSize", Variant::i4(500)), S_OK);
    const Variant path = Variant::string(file);
    ASSERT_EQ(dispatch_call(host->control(), "Record", std::span(&path, 1), nullptr), S_OK);
    run_qt_loop();
    host.reset();
    ::unsetenv("KELVANE_VIRTUAL_INPUT");

    // Levels while the buffers fill, a block event per buffer and one more at Stop, then the end.
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.back(), "EndRecord");
    EXPECT_GT(loudest, 10000);
    ASSERT_GE(blocks.size(), 3u);
    EXPECT_TRUE(std::is_sorted(blocks.begin(), blocks.end()));
    EXPECT_GE(blocks[1], 8000);  // two buffers of half a second at 8000 blocks per second

    // Another program reads the file as the tone, as long as the blocks say.
    const auto samples = quillon_test::run_command("soxi -s " + file);
    ASSERT_EQ(samples.status, 0) << samples.output;
    EXPECT_EQ(std::stol(samples.output), blocks.back());
    const std::string raw = dir.file("qt.raw");
    ASSERT_EQ(quillon_test::run_command("sox " + file + " -t raw -e signed -b 16 " + raw).status,
              0);
    const auto pcm = quillon_test::first_channel(quillon_test::read_all(raw), 16, 1);
    EXPECT_NEAR(quillon_test::tone_frequency(pcm, 8000), 440, 5);
}

}  // namespace
