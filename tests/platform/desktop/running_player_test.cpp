// The claim on the running player's name and the calls it takes, on a bus of
// the test's own; the later start is a thread that calls as one would.
#include "platform/desktop/running_player.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDateTime>
#include <QTest>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <chrono>
#include <future>

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

} // namespace

TEST(NameClaim, WhatComesBeforeTheReceiverWaitsForItInOrder)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    NameClaim claim(kAppId);
    ASSERT_TRUE(claim.owned());
    ASSERT_TRUE(handOver("/music/a.mid"));
    ASSERT_TRUE(handOver("/music/b.mid"));
    ASSERT_TRUE(handOver("/music/c.mid"));

    QStringList taken;
    FileReceiver receiver(
        kAppId, &claim, [&](const QStringList& paths) { taken << paths; }, [&] { taken << "activate"; });
    EXPECT_TRUE(receiver.registered());
    EXPECT_TRUE(QTest::qWaitFor([&] { return taken.size() >= 3; }, 2000));
    EXPECT_EQ(taken.join(' ').toStdString(), "/music/a.mid /music/b.mid /music/c.mid");
}

TEST(NameClaim, ACallThatComesAfterItsSendersDeadlineIsNotCarriedOut)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    QStringList taken;
    FileReceiver receiver(
        kAppId, nullptr, [&](const QStringList& paths) { taken << paths; }, [&] { taken << "activate"; });
    ASSERT_TRUE(receiver.registered());

    // As a player that was stopped gets it when it goes on: the sender gave up.
    QDBusMessage late
        = QDBusMessage::createMethodCall(kAppId, applicationPath(kAppId), "org.freedesktop.Application", "Open");
    late << QStringList {"file:///music/late.mid"}
         << QVariantMap {{"quorvana-deadline", QDateTime::currentMSecsSinceEpoch() - 1}};
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
    NameClaim claim(kAppId, [](const QByteArray& name) { return QString::fromLatin1(name.toHex(' ')); });
    QStringList taken;
    FileReceiver receiver(
        kAppId, &claim, [&](const QStringList& paths) { taken << paths; }, [] {});
    const QByteArray name("/m\xfc sic/%41 \xff.mid");
    ASSERT_TRUE(handOver(name));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !taken.isEmpty(); }, 2000));
    EXPECT_EQ(taken.value(0).toStdString(), name.toHex(' ').toStdString());
}

TEST(NameClaim, AnEndingClaimLetsGoDeliversWhatItTookAndRefusesTheRest)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    NameClaim claim(kAppId);
    ASSERT_TRUE(handOver("/music/taken.mid"));
    QStringList taken;
    FileReceiver receiver(
        kAppId, &claim, [&](const QStringList& paths) { taken << paths; }, [&] { taken << "activate"; });

    // Before the event loop hands it over: the start was told it plays here.
    receiver.endTaking();
    EXPECT_EQ(taken.join(' ').toStdString(), "/music/taken.mid");
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
    QTest::qWait(50);
    EXPECT_EQ(taken.size(), 1);
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
