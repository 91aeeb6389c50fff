// One running player per session, between real processes on a bus of the
// test's own: a later start hands its file over and ends, the running player
// plays it; "--new-window" starts a player of its own; the desktop's Quit
// ends the player.
#include "platform/desktop/running_player.h"
#include "tests/support/temp_dir.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

const QString kPlayerName = QStringLiteral("org.mpris.MediaPlayer2.quorvana");

// Three seconds of silence: long enough to be still playing when asked.
std::string silentWave()
{
    const auto le = [](uint32_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i)
            s += char((v >> (8 * i)) & 0xff);
        return s;
    };
    const uint32_t data = 8000 * 2 * 3;
    return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(1, 2) + le(8000, 4) + le(16000, 4)
        + le(2, 2) + le(16, 2) + "data" + le(data, 4) + std::string(data, '\0');
}

QString playingUrl(const QString& service)
{
    QDBusMessage get
        = QDBusMessage::createMethodCall(service, "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties", "Get");
    get << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("Metadata");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 2000);
    const QVariant value = reply.arguments().value(0).value<QDBusVariant>().variant();
    return qdbus_cast<QVariantMap>(value.value<QDBusArgument>()).value("xesam:url").toString();
}

bool registered(const QString& service)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(service).value();
}

// The files one player's MPRIS interface has announced, in order.
class AnnouncedUrls : public QObject {
    Q_OBJECT

public:
    explicit AnnouncedUrls(const QString& service)
    {
        QDBusConnection::sessionBus().connect(service, "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
            "PropertiesChanged", this, SLOT(changed(QString, QVariantMap, QStringList)));
    }
    QStringList urls;

public slots:
    void changed(const QString&, const QVariantMap& properties, const QStringList&)
    {
        const QVariantMap metadata = qdbus_cast<QVariantMap>(properties.value("Metadata").value<QDBusArgument>());
        if (metadata.contains("xesam:url"))
            urls << metadata.value("xesam:url").toString();
    }
};

struct Player : QProcess {
    explicit Player(
        const QString& folder, const QStringList& arguments, const QString& program = QStringLiteral(QUORVANA_PLAYER))
    {
        setWorkingDirectory(folder);
        setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start(program, arguments);
    }
    ~Player() override
    {
        if (state() != QProcess::NotRunning) {
            kill();
            waitForFinished(2000);
        }
    }
};

} // namespace

TEST(RunningPlayer, ALaterStartHandsItsFileOverAndEnds)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    testing_support::TempDir dir;
    const std::string first = dir.write("first.wav", silentWave());
    std::filesystem::create_directories(dir / "other");
    const std::string second = dir.write("other/second.wav", silentWave());
    const std::string third = dir.write("other/third.wav", silentWave());
    dir.write("elsewhere/fourth.wav", silentWave());

    Player running(QString::fromStdString(dir.path().string()), {"first.wav"});
    ASSERT_TRUE(QTest::qWaitFor([] { return registered("io.github.quorvana.Quorvana"); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([] { return registered(kPlayerName); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return playingUrl(kPlayerName).endsWith("/first.wav"); }, 10000));

    // From another folder, by an absolute name: the running player takes it.
    Player later("/", {QString::fromStdString(second)});
    ASSERT_TRUE(later.waitForFinished(10000));
    EXPECT_EQ(later.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return playingUrl(kPlayerName).endsWith("/other/second.wav"); }, 5000))
        << playingUrl(kPlayerName).toStdString();

    // By a name relative to the folder it starts in, which is not the
    // running player's (the browser made "other" its current folder).
    Player relative(QString::fromStdString((dir / "elsewhere").string()), {"fourth.wav"});
    ASSERT_TRUE(relative.waitForFinished(10000));
    EXPECT_EQ(relative.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return playingUrl(kPlayerName).endsWith("/elsewhere/fourth.wav"); }, 5000))
        << playingUrl(kPlayerName).toStdString();

    // A player of its own, beside the first on the bus.
    Player separate("/", {"--new-window", QString::fromStdString(third)});
    const QString own = kPlayerName + ".instance" + QString::number(separate.processId());
    EXPECT_TRUE(QTest::qWaitFor([&] { return registered(own) && playingUrl(own).endsWith("/third.wav"); }, 10000));
    EXPECT_EQ(separate.state(), QProcess::Running);

    // The desktop's Quit closes the window, which ends the player.
    QDBusMessage quit
        = QDBusMessage::createMethodCall(kPlayerName, "/org/mpris/MediaPlayer2", "org.mpris.MediaPlayer2", "Quit");
    QDBusConnection::sessionBus().call(quit, QDBus::Block, 2000);
    ASSERT_TRUE(running.waitForFinished(10000));
    EXPECT_EQ(running.exitCode(), 0);
    EXPECT_FALSE(registered("io.github.quorvana.Quorvana"));
}

TEST(RunningPlayer, StartsAtOnceMakeOnePlayerThatTakesTheOthersFiles)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    testing_support::TempDir dir;
    const QString folder = QString::fromStdString(dir.path().string());
    // As a file manager starts one process per selected file.
    std::vector<std::unique_ptr<Player>> starts;
    for (int i = 0; i < 5; ++i) {
        dir.write("song" + std::to_string(i) + ".wav", silentWave());
        starts.push_back(std::make_unique<Player>(folder, QStringList {QStringLiteral("song%1.wav").arg(i)}));
    }
    const auto running = [&] {
        return std::count_if(
            starts.begin(), starts.end(), [](const auto& p) { return p->state() != QProcess::NotRunning; });
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return running() <= 1; }, 10000)) << running() << " players";
    ASSERT_EQ(running(), 1);
    int player = -1;
    for (int i = 0; i < 5; ++i) {
        if (starts[i]->state() != QProcess::NotRunning)
            player = i;
        else
            EXPECT_TRUE(starts[i]->exitStatus() == QProcess::NormalExit && starts[i]->exitCode() == 0) << i;
    }
    ASSERT_TRUE(QTest::qWaitFor([] { return registered(kPlayerName); }, 5000));
    // The files handed over came in while it started: none was lost, the
    // last one plays, as after drops one after another.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QString url = playingUrl(kPlayerName);
            return url.contains("/song") && !url.endsWith(QStringLiteral("/song%1.wav").arg(player));
        },
        5000))
        << playingUrl(kPlayerName).toStdString();
}

// A start whose file meets the running player's quit: the player plays it
// before it goes, or refuses it and the start plays it itself; it is never
// lost.
TEST(RunningPlayer, AHandOverRacingTheQuitIsNeverLost)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    testing_support::TempDir dir;
    const QString folder = QString::fromStdString(dir.path().string());
    dir.write("first.wav", silentWave());
    dir.write("second.wav", silentWave());
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    int refused = 0;
    const int rounds = 20;
    for (int round = 0; round < rounds; ++round) {
        Player running(folder, {"first.wav"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return playingUrl(kPlayerName).endsWith("/first.wav"); }, 10000));
        // By its unique name: a start that plays the file itself may take the
        // well-known one.
        AnnouncedUrls announced(bus->serviceOwner(kPlayerName).value());

        const pid_t player = pid_t(running.processId());
        std::unique_ptr<Player> later;
        if (round % 2 == 0) {
            // The signal first, the start right after it, as a logout that
            // meets a file opened from the file manager.
            ::kill(player, SIGTERM);
            later = std::make_unique<Player>(folder, QStringList {"second.wav"});
        } else {
            // The start first, the signal while its hand-over is on its
            // way, being taken, or done.
            later = std::make_unique<Player>(folder, QStringList {"second.wav"});
            QTest::qWait(round * 12);
            ::kill(player, SIGTERM);
        }
        const QString own = kPlayerName + ".instance" + QString::number(later->processId());
        const auto playsItself = [&] {
            for (const QString& name : {own, kPlayerName})
                if (bus->servicePid(name).value() == later->processId() && playingUrl(name).endsWith("/second.wav"))
                    return true;
            return false;
        };
        ASSERT_TRUE(QTest::qWaitFor([&] { return later->state() == QProcess::NotRunning || playsItself(); }, 15000))
            << "round " << round;
        ASSERT_TRUE(running.state() == QProcess::NotRunning || running.waitForFinished(5000)) << "round " << round;
        if (later->state() != QProcess::NotRunning) {
            ++refused;
            continue;
        }
        EXPECT_EQ(later->exitCode(), 0) << "round " << round;
        // All it said is on its way once it has ended.
        EXPECT_TRUE(QTest::qWaitFor([&] { return announced.urls.join(' ').contains("/second.wav"); }, 2000))
            << "round " << round << ": handed over and lost; " << announced.urls.join(' ').toStdString();
    }
    std::printf("refused and played by the start itself: %d of %d\n", refused, rounds);
}

TEST(RunningPlayer, TermIntAndHupEndThePlayerAsItsCloseDoes)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    testing_support::TempDir dir;
    dir.write("song.wav", silentWave());
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        Player running(QString::fromStdString(dir.path().string()), {"song.wav"});
        ASSERT_TRUE(QTest::qWaitFor([&] { return playingUrl(kPlayerName).endsWith("/song.wav"); }, 10000));
        ::kill(pid_t(running.processId()), signal);
        // Half a second on a quiet machine; the suite's is not always.
        ASSERT_TRUE(running.waitForFinished(3000)) << signal;
        EXPECT_EQ(running.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(running.exitCode(), 0) << signal;
        EXPECT_FALSE(registered(kPlayerName));
    }

    // The Multimedia Properties, once they catch the signal.
    Player panel("/", {"--multimedia"});
    const auto catchesTerm = [&] {
        QFile status(QStringLiteral("/proc/%1/status").arg(panel.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("SigCgt:");
        return at >= 0 && (text.mid(at + 7, 17).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1) & 1);
    };
    ASSERT_TRUE(QTest::qWaitFor(catchesTerm, 10000));
    ::kill(pid_t(panel.processId()), SIGTERM);
    ASSERT_TRUE(panel.waitForFinished(3000));
    EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(panel.exitCode(), 0);
}

#include "running_player_test.moc"
