// The claim on the running player's name and the calls it takes, on a bus of
// the test's own; the later start is a thread that calls as one would, a
// stalled player a connection of its own that never answers.
#include "platform/desktop/running_player.h"
#include "tests/support/temp_dir.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QTest>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <mutex>

using namespace desktop;

namespace {

const QString kAppId = QStringLiteral("io.github.quorvana.ClaimTest");

// Hands FILE over from another thread, as a later start blocks on it, while
// this thread's event loop lets the claim answer.
bool handOver(const QByteArray& file)
{
    auto done = std::async(std::launch::async, [file] { return handToRunningPlayer(kAppId, {file}); });
    return QTest::qWaitFor([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000)
        && done.get();
}

bool registered(const QString& name)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

QString ownerOf(const QString& name)
{
    return QDBusConnection::sessionBus().interface()->serviceOwner(name).value();
}

// A running player that never answers; keeps what it was asked.
class SilentPlayer : public QDBusVirtualObject {
public:
    bool heard(QDBusMessage& message)
    {
        std::lock_guard lock(mutex_);
        message = asked_;
        return asked_.type() == QDBusMessage::MethodCallMessage;
    }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override
    {
        std::lock_guard lock(mutex_);
        asked_ = message;
        return true; // and no answer
    }
    QString introspect(const QString&) const override { return {}; }

private:
    std::mutex mutex_;
    QDBusMessage asked_;
};

} // namespace

// A start is told its file plays here only once the receiver has it; till
// then the calls wait, in the order they came.
TEST(NameClaim, WhatComesBeforeTheReceiverWaitsForItInOrderAndIsAnsweredOnceTaken)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    NameClaim claim(kAppId);
    ASSERT_TRUE(claim.owned());
    auto starts = std::async(std::launch::async, [] {
        int answered = 0;
        for (const char* file : {"/music/a.mid", "/music/b.mid", "/music/c.mid"})
            answered += handToRunningPlayer(kAppId, {file});
        return answered;
    });
    const auto answered = [&] { return starts.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    QTest::qWait(300);
    EXPECT_FALSE(answered()) << "told before anything took the file";

    QStringList taken;
    FileReceiver receiver(
        kAppId, &claim, [&](const QStringList& paths) { taken << paths; }, [&] { taken << "activate"; });
    EXPECT_TRUE(receiver.registered());
    ASSERT_TRUE(QTest::qWaitFor(answered, 10000));
    EXPECT_EQ(starts.get(), 3);
    EXPECT_EQ(taken.join(' ').toStdString(), "/music/a.mid /music/b.mid /music/c.mid");
}

TEST(NameClaim, AHandOverGivesUpWithinSecondsAndALateCallIsNotCarriedOut)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    // A player too busy to answer: the start gives up within a few seconds
    // (and plays the file itself).
    QDBusMessage given;
    {
        QDBusConnection stalled = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "stalled player");
        SilentPlayer silent;
        ASSERT_TRUE(stalled.registerVirtualObject(applicationPath(kAppId), &silent));
        ASSERT_TRUE(stalled.registerService(kAppId));
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_FALSE(handToRunningPlayer(kAppId, {"/music/given-up.mid"}));
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(8));
        EXPECT_TRUE(QTest::qWaitFor([&] { return silent.heard(given); }, 2000));
        stalled.unregisterService(kAppId);
        stalled.unregisterObject(applicationPath(kAppId));
        QDBusConnection::disconnectFromBus("stalled player");
    }
    ASSERT_EQ(given.member(), "Open");

    // That player goes on, and the call the start gave up on reaches it.
    QStringList taken;
    FileReceiver receiver(
        kAppId, nullptr, [&](const QStringList& paths) { taken << paths; }, [&] { taken << "activate"; });
    ASSERT_TRUE(receiver.registered());
    QDBusMessage late
        = QDBusMessage::createMethodCall(kAppId, applicationPath(kAppId), "org.freedesktop.Application", "Open");
    late << given.arguments().value(0).toStringList() << qdbus_cast<QVariantMap>(given.arguments().value(1));
    auto answer
        = std::async(std::launch::async, [&] { return QDBusConnection::sessionBus().call(late, QDBus::Block, 5000); });
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
    EXPECT_EQ(answer.get().type(), QDBusMessage::ErrorMessage);

    ASSERT_TRUE(handOver("/music/in-time.mid"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !taken.isEmpty(); }, 2000));
    EXPECT_EQ(taken.join(' ').toStdString(), "/music/in-time.mid");
}

TEST(NameClaim, ANameTravelsAsTheFileSystemHasIt)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    // Latin-1 gives each byte a character of its own, and back.
    NameClaim claim(kAppId, [](const QByteArray& name) { return QString::fromLatin1(name); });
    QStringList taken;
    FileReceiver receiver(
        kAppId, &claim, [&](const QStringList& paths) { taken << paths; }, [] {});
    testing_support::TempDir dir;
    const std::string name = dir.write("m\xfc sic/%41 \xff.mid", "MThd");
    ASSERT_TRUE(handOver(QByteArray::fromStdString(name)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !taken.isEmpty(); }, 2000));
    const std::string arrived = taken.value(0).toLatin1().toStdString();
    EXPECT_EQ(arrived, name);
    EXPECT_TRUE(std::ifstream(arrived).good()) << "the file opens by the name that came";
}

// From the moment the process begins to end (a quit signal's arrival
// included, before the event loop hears of it) nothing more is taken: what
// waits and what comes is refused, and its start plays the file itself.
TEST(NameClaim, AnEndingClaimLetsGoAndRefusesWhatWaitsAndWhatComes)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    NameClaim claim(kAppId);
    bool signalled = true;
    claim.setEndingProbe([&] { return signalled; });
    EXPECT_FALSE(handOver("/music/after-the-signal.mid"));

    // No receiver yet: the call waits in the claim.
    signalled = false;
    auto waiting = std::async(std::launch::async, [] { return handToRunningPlayer(kAppId, {"/music/waits.mid"}); });
    QTest::qWait(300);
    claim.endTaking();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return waiting.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(registered(kAppId)) << "the next start becomes the player";
    EXPECT_FALSE(handOver("/music/after.mid"));

    // A call that was already on its way to this process.
    QDBusMessage open = QDBusMessage::createMethodCall(
        QDBusConnection::sessionBus().baseService(), applicationPath(kAppId), "org.freedesktop.Application", "Open");
    open << QStringList {"file:///music/on-its-way.mid"} << QVariantMap();
    auto answer
        = std::async(std::launch::async, [&] { return QDBusConnection::sessionBus().call(open, QDBus::Block, 5000); });
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
    EXPECT_EQ(answer.get().type(), QDBusMessage::ErrorMessage);
    QStringList taken;
    FileReceiver receiver(
        kAppId, &claim, [&](const QStringList& paths) { taken << paths; }, [&] { taken << "activate"; });
    QTest::qWait(50);
    EXPECT_TRUE(taken.isEmpty()) << taken.join(' ').toStdString();
}

// A start that loses the name hands over and never waits in line for it: a
// queued claim would make it the player the moment the owner ends, and its
// window would never come.
TEST(NameClaim, AClaimThatLosesIsNotQueuedForTheName)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    QDBusConnection owner = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "running player");
    ASSERT_TRUE(owner.registerService(kAppId));
    NameClaim claim(kAppId);
    EXPECT_FALSE(claim.owned());

    ASSERT_TRUE(owner.unregisterService(kAppId));
    EXPECT_FALSE(registered(kAppId)) << "taken by " << ownerOf(kAppId).toStdString();
    EXPECT_FALSE(claim.owned());
    QDBusConnection::disconnectFromBus("running player");
}
