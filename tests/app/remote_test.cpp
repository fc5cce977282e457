#include <gtest/gtest.h>
#include <QDBusConnection>
#include <QProcess>

#include <string>
#include <vector>

#include "app/remote_service.h"
#include "tests/app/qt_wait.h"

namespace {

// Stands in for the main window: keeps what it was asked and reports the status it is given.
class FakeTarget final : public RemoteTarget {
  public:
    void record() override { calls.push_back("record"); }
    void pause_or_continue() override { calls.push_back("pause"); }
    void stop() override { calls.push_back("stop"); }
    Status status() const override { return current; }

    std::vector<std::string> calls;
    Status current;
};

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Runs the client as another process while this one's event loop serves the bus, as a running
// copy would.
Outcome zarvo(const QStringList& arguments,
              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess client;
    client.setProcessEnvironment(environment);
    client.start(QStringLiteral(QUILLON_BIN_DIR "/remote_client_probe"), arguments);
    const bool ended =
        quillon_test::wait_until([&] { return client.state() == QProcess::NotRunning; });
    if (!ended) client.kill();
    client.waitForFinished();
    return {ended && client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1,
            client.readAllStandardOutput().toStdString(),
            client.readAllStandardError().toStdString()};
}

// Every case runs on a private session bus (the test runs under dbus-run-session).
TEST(Remote, TheOptionsRunTheHandlersOfARunningCopyInOrder) {
    FakeTarget target;
    RemoteService service(target);
    QString error;
    ASSERT_TRUE(service.start(error)) << error.toStdString();

    for (const char* option : {"--record", "--pause", "--pause", "--stop"}) {
        const Outcome o = zarvo({QString::fromLatin1(option)});
        EXPECT_EQ(o.status, 0) << option << o.err;
        EXPECT_EQ(o.out, "");
    }
    ASSERT_TRUE(quillon_test::wait_until([&] { return target.calls.size() >= 4; }));
    EXPECT_EQ(target.calls, (std::vector<std::string>{"record", "pause", "pause", "stop"}));
}

TEST(Remote, StatusPrintsTheActivityTheFileAndTheSeconds) {
    FakeTarget target;
    RemoteService service(target);
    QString error;
    ASSERT_TRUE(service.start(error)) << error.toStdString();

    target.current = {RemoteTarget::Activity::idle, "/home/u/Music/Quillon/zarvo_ 2.wav", 0};
    EXPECT_EQ(zarvo({"--status"}).out, "idle\t/home/u/Music/Quillon/zarvo_ 2.wav\t0\n");
    target.current = {RemoteTarget::Activity::paused, "/tmp/zarvo.wav", 13};
    EXPECT_EQ(zarvo({"--status"}).out, "paused\t/tmp/zarvo.wav\t13\n");
    target.current = {RemoteTarget::Activity::playing, "/tmp/talk.wav", 1.234};
    const Outcome playing = zarvo({"--status"});
    EXPECT_EQ(playing.status, 0);
    EXPECT_EQ(playing.out, "playing\t/tmp/talk.wav\t1.234\n");
    EXPECT_TRUE(target.calls.empty());
}

TEST(Remote, WithoutARunningCopyTheClientSaysSoAndFails) {
    for (const char* option : {"--record", "--status"}) {
        const Outcome o = zarvo({QString::fromLatin1(option)});
        EXPECT_EQ(o.status, 1) << option;
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, std::string("zarvo ") + option + ": zarvo is not running\n");
    }
    QProcessEnvironment no_bus = QProcessEnvironment::systemEnvironment();
    no_bus.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quillon-bus");
    const Outcome o = zarvo({"--stop"}, no_bus);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("no session bus"), std::string::npos) << o.err;
    // Other command lines are the program's own.
    EXPECT_EQ(zarvo({}).status, 3);
    EXPECT_EQ(zarvo({"--record", "--stop"}).status, 3);
}

TEST(Remote, ASecondCopyCannotTakeTheNameAndTheFirstKeepsIt) {
    FakeTarget first, second;
    RemoteService first_service(first);
    QString error;
    ASSERT_TRUE(first_service.start(error)) << error.toStdString();
    RemoteService second_service(second);
    EXPECT_FALSE(second_service.start(
        error, QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second copy")));
    EXPECT_EQ(error, "another copy is running");
    EXPECT_EQ(zarvo({"--record"}).status, 0);
    ASSERT_TRUE(quillon_test::wait_until([&] { return !first.calls.empty(); }));
    EXPECT_TRUE(second.calls.empty());
}

}  // namespace
