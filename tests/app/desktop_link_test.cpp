// The player as the desktop's controls reach it over a real session bus:
// the MPRIS interfaces send the session the window's own commands and
// report every change, and a video keeps a stand-in screen saver off while
// it plays. No window takes part: a stand-in hears what the link asks of it.
#include "app/desktop_link.h"
#include "platform/desktop/running_player.h"
#include "tests/support/late_device.h"
#include "tests/support/session_rig.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <future>
#include <limits>

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.quorvana");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

// Another program on the bus: the desktop's applet, or its screen saver.
QDBusConnection otherProgram()
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other program"));
}

// The player answers from this thread's event loop, so the call must not block it.
QDBusMessage call(const QString& interface, const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    message.setArguments(arguments);
    QDBusPendingCall pending = otherProgram().asyncCall(message);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 5000));
    return pending.reply();
}

QVariant property(const QString& name)
{
    const QDBusMessage reply
        = call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"), {kPlayer, name});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

QVariantMap metadata()
{
    return qdbus_cast<QVariantMap>(property(QStringLiteral("Metadata")).value<QDBusArgument>());
}

} // namespace

class ChangeRecorder : public QObject {
    Q_OBJECT

public:
    QStringList statuses;
    QStringList urls;
    QStringList canGoNext;
    QList<double> volumes;
    QList<qlonglong> positions;

    // Listens to the player from another program's connection, as an applet does.
    bool listen()
    {
        return otherProgram().connect(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("PropertiesChanged"), this, SLOT(changed(QString, QVariantMap, QStringList)));
    }

public slots:
    void changed(const QString&, const QVariantMap& properties, const QStringList&)
    {
        if (properties.contains(QStringLiteral("Position")))
            positions << properties.value(QStringLiteral("Position")).toLongLong();
        if (properties.contains(QStringLiteral("Volume")))
            volumes << properties.value(QStringLiteral("Volume")).toDouble();
        if (properties.contains(QStringLiteral("CanGoNext")))
            canGoNext << properties.value(QStringLiteral("CanGoNext")).toString();
        if (properties.contains(QStringLiteral("PlaybackStatus")))
            statuses << properties.value(QStringLiteral("PlaybackStatus")).toString();
        if (properties.contains(QStringLiteral("Metadata")))
            urls << qdbus_cast<QVariantMap>(properties.value(QStringLiteral("Metadata")).value<QDBusArgument>())
                        .value(QStringLiteral("xesam:url"))
                        .toString();
    }
};

class StandInScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QStringList calls;

public slots:
    uint Inhibit(const QString& application, const QString&)
    {
        calls << "inhibit " + application;
        return 7;
    }
    void UnInhibit(uint cookie) { calls << "uninhibit " + QString::number(cookie); }
};

// What the link asks of the window; its close is the start of the end.
struct StandInWindow : desktop_link::Window {
    QStringList calls;
    desktop_link::DesktopLink* link = nullptr;

    void raiseForUser() override { calls << "raise"; }
    void comeForward() override { calls << "forward"; }
    void close() override
    {
        calls << "close";
        if (link)
            link->windowClosing();
    }
};

struct DesktopLinkTest : SessionTest {
    StandInWindow window;
    std::unique_ptr<desktop_link::DesktopLink> link;
    ChangeRecorder recorder;

    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "needs a session bus (under_session_bus.sh)";
    }
    void TearDown() override { link.reset(); }

    // The session on the bus.
    void linked(SessionSetup setup = {})
    {
        build(std::move(setup));
        link = std::make_unique<desktop_link::DesktopLink>(*session, window);
        window.link = link.get();
    }

    // With another program listening to what it announces.
    void linkListened(SessionSetup setup = {})
    {
        linked(std::move(setup));
        ASSERT_TRUE(recorder.listen());
    }
};

TEST_F(DesktopLinkTest, TheDesktopsControlsPressTheWindowsOwnAndHearEveryChange)
{
    addFile("a.wav", 60000);
    addFile("b.wav", 60000);
    linkListened();
    ASSERT_TRUE(link->mpris().registered());
    EXPECT_EQ(property("PlaybackStatus").toString(), "Stopped");

    // The GM reset played before every track is no track of the user's.
    session->chooseReset(ResetChoice::GM);
    media.add(session->windowsDirectory().toStdString() + "/QUORVAGM.MI_", 100);
    click("a.wav");
    EXPECT_EQ(property("PlaybackStatus").toString(), "Playing");
    QVariantMap track = metadata();
    EXPECT_EQ(track.value("xesam:title").toString(), "a.wav");
    EXPECT_EQ(track.value("xesam:url").toString(), "file://" + qpath("a.wav"));
    EXPECT_EQ(track.value("mpris:length").toLongLong(), 60'000'000);

    call(kPlayer, "PlayPause");
    EXPECT_EQ(property("PlaybackStatus").toString(), "Paused");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return recorder.statuses == QStringList {"Playing", "Paused"};
        },
        2000))
        << recorder.statuses.join(", ").toStdString();
    EXPECT_EQ(recorder.urls, QStringList {"file://" + qpath("a.wav")});

    // Next is the list's next file, not the bar's jump to the track's end.
    call(kPlayer, "Next");
    track = metadata();
    EXPECT_EQ(track.value("xesam:title").toString(), "b.wav");
    EXPECT_EQ(property("PlaybackStatus").toString(), "Playing");

    media.clearLog();
    call(kPlayer, "SetPosition",
        {QVariant::fromValue(track.value("mpris:trackid").value<QDBusObjectPath>()), qlonglong(30'000'000)});
    EXPECT_TRUE(QTest::qWaitFor([&] { return media.joinedLog().find("seek 30000") != std::string::npos; }, 2000))
        << media.joinedLog();
}

// Every end of the player closes its window: a file handed over from then on
// would be taken and lost with it, so the start that sends it must play it.
TEST_F(DesktopLinkTest, AFileHandedOverOnceTheWindowClosesIsRefused)
{
    addFile("a.wav", 60000);
    const std::string late = addFile("b.wav", 60000);
    linked();
    ASSERT_TRUE(link->receiver().registered());
    const auto handOver = [](const std::string& file) {
        return std::async(std::launch::async,
            [file] { return desktop::handToRunningPlayer(desktop_link::kAppId, {QByteArray::fromStdString(file)}); });
    };
    auto first = handOver(path("a.wav"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return first.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
    EXPECT_TRUE(first.get());
    EXPECT_EQ(current(), path("a.wav")) << "played as a drop";
    EXPECT_EQ(window.calls, QStringList {"forward"}) << "raised, not activated";
    window.calls.clear();

    auto handed = handOver(late);
    // It reaches the player before the close does, and waits for the window.
    QThread::msleep(300);
    window.close();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return handed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
    EXPECT_FALSE(handed.get());
    EXPECT_FALSE(link->receiver().registered());
    const QString uri = QUrl::fromLocalFile(QString::fromStdString(late)).toString();
    EXPECT_EQ(call(kPlayer, QStringLiteral("OpenUri"), {uri}).type(), QDBusMessage::ErrorMessage)
        << "taken over MPRIS and lost";
    EXPECT_EQ(media.current()->path, path("a.wav"));
    call(QStringLiteral("org.mpris.MediaPlayer2"), "Quit");
    EXPECT_EQ(window.calls, QStringList({"close", "close"})) << "the desktop's Quit closes the window";
}

TEST_F(DesktopLinkTest, EdgesAsTheDesktopsPlayerControlsHaveThem)
{
    addFile("a.wav", 60000);
    addFile("b.mid", 30000);
    std::filesystem::create_directory(dir / "other");
    dir.write("other/broken.wav", "x");
    linkListened();

    click("a.wav");
    EXPECT_FALSE(property("CanGoPrevious").toBool()) << "the first file";
    EXPECT_TRUE(property("CanGoNext").toBool());
    media.setPosition(1234);
    EXPECT_EQ(property("Position").toLongLong(), 1'234'000) << "microseconds";

    // A file that cannot play is refused to the caller; the track plays on.
    for (const QString& uri : {QUrl::fromLocalFile(qpath("missing.wav")).toString(),
             QUrl::fromLocalFile(qpath("other/broken.wav")).toString(),
             QStringLiteral("http://example.invalid/a.wav")}) {
        const QDBusMessage reply = call(kPlayer, "OpenUri", {uri});
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << uri.toStdString();
        EXPECT_EQ(media.current()->path, path("a.wav"));
        EXPECT_EQ(property("PlaybackStatus").toString(), "Playing");
    }

    // After Stop the track keeps its place, and Play goes on from there.
    media.setPosition(12'300);
    call(kPlayer, "Stop");
    EXPECT_EQ(property("Position").toLongLong(), 12'300'000);
    media.clearLog();
    call(kPlayer, "Play");
    EXPECT_EQ(media.joinedLog().find("seek"), std::string::npos) << media.joinedLog();
    EXPECT_EQ(property("Position").toLongLong(), 12'300'000);

    // At or past the end is no place in the track: nothing happens.
    const auto setPosition = [&](qlonglong us) {
        call(kPlayer, "SetPosition",
            {QVariant::fromValue(metadata().value("mpris:trackid").value<QDBusObjectPath>()), us});
    };
    media.clearLog();
    setPosition(60'000'000);
    setPosition(61'000'000);
    EXPECT_EQ(media.joinedLog(), "");
    EXPECT_EQ(property("PlaybackStatus").toString(), "Playing");

    // A seek past the end is the next track, however far it goes; the
    // desktop hears the new track's position with it, not the old one's.
    media.setPosition(59'000);
    recorder.positions.clear();
    call(kPlayer, "Seek", {std::numeric_limits<qlonglong>::max() - 1000});
    EXPECT_EQ(metadata().value("xesam:title").toString(), "b.mid");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.positions.isEmpty(); }, 2000));
    EXPECT_EQ(recorder.positions, QList<qlonglong> {0});
    EXPECT_FALSE(property("CanGoNext").toBool()) << "the last file";
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.canGoNext.endsWith("false"); }, 2000))
        << recorder.canGoNext.join(", ").toStdString();
    EXPECT_TRUE(property("CanGoPrevious").toBool());
    call(kPlayer, "Seek", {qlonglong(30'000'000)});
    EXPECT_EQ(property("PlaybackStatus").toString(), "Stopped") << "no track after the last: stopped";
}

// Next and CanGoNext go by the list as it stands: a file that came or went
// since the last look counts as the list shows it, and Next onto one that
// has gone is what a click on it is.
TEST_F(DesktopLinkTest, NextGoesByTheListAsItStands)
{
    addFile("a.wav", 60000);
    linkListened();
    click("a.wav");
    EXPECT_FALSE(property("CanGoNext").toBool());

    // As the list reads its folder again when a file comes.
    addFile("b.wav", 30000);
    session->setTracks(QString::fromStdString(dir.str()), listed);
    EXPECT_TRUE(property("CanGoNext").toBool());
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.canGoNext.endsWith("true"); }, 2000))
        << recorder.canGoNext.join(", ").toStdString();

    click("a.wav");
    std::filesystem::remove(dir / "b.wav");
    media.refuse(path("b.wav"));
    const QDBusMessage reply = call(kPlayer, "Next");
    EXPECT_EQ(reply.errorName(), "org.freedesktop.DBus.Error.FileNotFound");
    EXPECT_TRUE(reply.errorMessage().endsWith("b.wav: scripted refusal")) << reply.errorMessage().toStdString();
    EXPECT_EQ(refusal, "scripted refusal") << "the window shows it as a click's";
    EXPECT_EQ(property("PlaybackStatus").toString(), "Stopped");
}

// A file from outside the list moves only the selection: Next goes on from
// there, onto the file the list started last too.
TEST_F(DesktopLinkTest, NextAfterAHandOverPlaysTheListsNextEntry)
{
    addFile("1.wav", 60000);
    addFile("2.wav", 60000);
    addFile("3.wav", 60000);
    linked();
    click("2.wav");
    session->stop();
    ASSERT_TRUE(link->receiver().registered());
    auto handed = std::async(std::launch::async, [this] {
        return desktop::handToRunningPlayer(desktop_link::kAppId, {QByteArray::fromStdString(path("1.wav"))});
    });
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return handed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
    ASSERT_TRUE(handed.get());
    EXPECT_EQ(current(), path("1.wav"));

    const QDBusMessage reply = call(kPlayer, "Next");
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(current(), path("2.wav"));
    EXPECT_EQ(media.current()->state, mci::Mode::Playing);
    EXPECT_EQ(metadata().value("xesam:title").toString(), "2.wav");
}

// A media key after a file that could not play: nothing to act on, so the
// call has no effect, is answered at once, and opens no box.
TEST_F(DesktopLinkTest, TheMediaKeysAfterARefusedFileAnswerAtOnceAndOpenNoBox)
{
    addBadFile("bad.mid");
    linked();
    media.refuse(path("bad.mid"));
    startFromCommandLine("bad.mid");
    ASSERT_FALSE(refusal.isEmpty());
    for (const char* key : {"Play", "PlayPause", "Pause", "Stop"}) {
        QElapsedTimer answered;
        answered.start();
        const QDBusMessage reply = call(kPlayer, QString::fromLatin1(key));
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << key;
        EXPECT_LT(answered.elapsed(), 200) << key;
    }
    EXPECT_TRUE(failures.isEmpty()) << failures.join(", ").toStdString();
    EXPECT_FALSE(property("CanPlay").toBool());
}

// While a big song is still read it has no length and no mode: what the
// desktop asks meanwhile is done once it has them, against its real length.
TEST_F(DesktopLinkTest, CommandsDuringAReadAreCarriedOutWhenTheSongIsRead)
{
    addFile("big.mid", 1000);
    addFile("next.mid", 1000);
    linked();
    testing_support::LateSequencers sequencers;
    testing_support::LateDevice*& late = sequencers.late;
    click("big.mid");
    ASSERT_EQ(session->state(), PlaybackSession::State::Loading);
    const QDBusObjectPath trackId = metadata().value("mpris:trackid").value<QDBusObjectPath>();
    call(kPlayer, "Seek", {qlonglong(2'000'000)});
    call(kPlayer, "SetPosition", {QVariant::fromValue(trackId), qlonglong(3'000'000)});
    call(kPlayer, "Pause");
    EXPECT_TRUE(late->seeks.empty());
    EXPECT_EQ(session->track().file, qpath("big.mid")) << "a seek during the read is no Next";

    late->readAs(mci::Result::success());
    QCoreApplication::processEvents();
    EXPECT_EQ(late->seeks, (std::vector<uint32_t> {2000, 3000}));
    EXPECT_EQ(session->state(), PlaybackSession::State::Paused);
    EXPECT_EQ(session->track().file, qpath("big.mid"));
}

// The desktop's seeks keep a pause, as desktop players do; Play goes on
// from the new place.
TEST_F(DesktopLinkTest, ASeekWhilePausedStaysPaused)
{
    addFile("a.wav", 60000);
    linked();
    click("a.wav");
    call(kPlayer, "Pause");
    const QDBusObjectPath trackId = metadata().value("mpris:trackid").value<QDBusObjectPath>();
    media.clearLog();
    call(kPlayer, "SetPosition", {QVariant::fromValue(trackId), qlonglong(30'000'000)});
    call(kPlayer, "Seek", {qlonglong(5'000'000)});
    EXPECT_EQ(property("PlaybackStatus").toString(), "Paused");
    EXPECT_EQ(property("Position").toLongLong(), 35'000'000);
    call(kPlayer, "PlayPause");
    EXPECT_EQ(property("PlaybackStatus").toString(), "Playing");
    EXPECT_EQ(media.joinedLog(), "seek 30000; seek 35000; play");
}

// The applet's slider and the media keys turn the player itself down, and
// every change is announced; the card's gain is what the sound server hears.
TEST_F(DesktopLinkTest, TheDesktopsVolumeIsThePlayersOwn)
{
    addFile("a.wav", 60000);
    double gain = -1;
    linkListened({.setVolume = [&](double volume) { gain = volume; }});
    EXPECT_EQ(property("Volume").toDouble(), 1.0);

    const auto set = [](double volume) {
        call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
            {kPlayer, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(volume))});
    };
    set(0.5);
    EXPECT_EQ(property("Volume").toDouble(), 0.5);
    EXPECT_EQ(gain, 0.5);
    set(1.5); // no louder than the track itself
    EXPECT_EQ(property("Volume").toDouble(), 1.0);
    set(-1.0);
    EXPECT_EQ(property("Volume").toDouble(), 0.0);
    EXPECT_EQ(gain, 0.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.volumes == QList<double> {0.5, 1.0, 0.0}; }, 2000));
}

TEST_F(DesktopLinkTest, OnlyAPlayingVideoKeepsTheScreenAwake)
{
    StandInScreenSaver saver;
    QDBusConnection bus = otherProgram();
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/ScreenSaver", &saver, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.ScreenSaver"));
    addFile("clip.avi", 60000);
    addFile("song.wav", 60000);
    linked();

    click("clip.avi");
    EXPECT_TRUE(QTest::qWaitFor([&] { return saver.calls.size() == 1; }, 3000));
    call(kPlayer, "Pause");
    EXPECT_TRUE(QTest::qWaitFor([&] { return saver.calls.size() == 2; }, 3000));
    click("clip.avi");
    EXPECT_TRUE(QTest::qWaitFor([&] { return saver.calls.size() == 3; }, 3000));
    click("song.wav"); // the video closes: the screen may sleep again
    EXPECT_TRUE(QTest::qWaitFor([&] { return saver.calls.size() == 4; }, 3000));
    call(kPlayer, "Play");
    QTest::qWait(300);
    EXPECT_EQ(saver.calls,
        (QStringList {"inhibit io.github.quorvana.Quorvana", "uninhibit 7", "inhibit io.github.quorvana.Quorvana",
            "uninhibit 7"}));
    bus.unregisterService("org.freedesktop.ScreenSaver");
}

// The desktop's rate is a song's tempo, in its steps; a wave has none.
TEST_F(DesktopLinkTest, TheRateIsTheSongsTempo)
{
    addFile("song.mid", 60000);
    addFile("sound.wav", 60000);
    linked();
    click("song.mid");
    EXPECT_EQ(property("MinimumRate").toDouble(), 0.5);
    EXPECT_EQ(property("MaximumRate").toDouble(), 2.0);
    const auto setRate = [](double rate) {
        call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
            {kPlayer, QStringLiteral("Rate"), QVariant::fromValue(QDBusVariant(rate))});
    };
    setRate(0.82);
    EXPECT_EQ(session->track().tempo, 80);
    EXPECT_EQ(property("Rate").toDouble(), 0.8);
    setRate(5.0);
    EXPECT_EQ(session->track().tempo, 200);
    click("sound.wav");
    EXPECT_EQ(property("Rate").toDouble(), 1.0);
    EXPECT_EQ(property("MaximumRate").toDouble(), 1.0);
    setRate(0.5);
    EXPECT_TRUE(failures.empty()) << "kept to the wave's own rate";
}

TEST_F(DesktopLinkTest, ASongsOwnTitleAndWordsGoToTheDesktop)
{
    media.setText(addFile("karaoke.mid", 30000), {"La Song", "la la\nlo lo\n"});
    addFile("plain.mid", 30000);
    linked();
    click("karaoke.mid");
    QVariantMap track = metadata();
    EXPECT_EQ(track.value("xesam:title").toString(), "La Song");
    EXPECT_EQ(track.value("xesam:asText").toString(), "la la\nlo lo\n");
    click("plain.mid");
    track = metadata();
    EXPECT_EQ(track.value("xesam:title").toString(), "plain.mid");
    EXPECT_FALSE(track.contains("xesam:asText")) << "no words, no field";
}

#include "desktop_link_test.moc"

// A host queues the night from the desktop while a song plays on: over
// MPRIS's track list and from a later start's --queue.
TEST_F(DesktopLinkTest, SongsQueuedOverTheTrackListAndFromALaterStartFollowInOrder)
{
    addFile("a.wav", 60000);
    const std::string hero = addFile("night/Hero.wav", 60000);
    const std::string zamba = addFile("night/Zamba.wav", 60000);
    linked();
    click("a.wav");
    const QString root = QStringLiteral("org.mpris.MediaPlayer2");
    const QString list = QStringLiteral("org.mpris.MediaPlayer2.TrackList");
    const auto get = [&](const QString& interface, const QString& name) {
        return call("org.freedesktop.DBus.Properties", "Get", {interface, name})
            .arguments()
            .value(0)
            .value<QDBusVariant>()
            .variant();
    };
    EXPECT_TRUE(get(root, "HasTrackList").toBool());
    const QDBusObjectPath start("/org/mpris/MediaPlayer2/TrackList/NoTrack");
    const QString heroUri = QUrl::fromLocalFile(QString::fromStdString(hero)).toString();
    EXPECT_EQ(call(list, "AddTrack", {heroUri, QVariant::fromValue(start), false}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(call(list, "AddTrack", {"http://example.com/x.mid", QVariant::fromValue(start), false}).type(),
        QDBusMessage::ErrorMessage);

    auto queued = std::async(std::launch::async,
        [&] { return desktop::handToRunningPlayer(desktop_link::kAppId, {QByteArray::fromStdString(zamba)}, true); });
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return queued.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
    EXPECT_TRUE(queued.get());
    EXPECT_EQ(current(), path("a.wav")) << "the song sung now goes on";
    ASSERT_EQ(session->queue().size(), 2u);
    EXPECT_EQ(session->queue()[1].file.toStdString(), zamba);

    const auto tracks = qdbus_cast<QList<QDBusObjectPath>>(get(list, "Tracks").value<QDBusArgument>());
    ASSERT_EQ(tracks.size(), 3) << "the open track, then the queue";
    const QDBusMessage described = call(list, "GetTracksMetadata", {QVariant::fromValue(tracks.mid(1, 1))});
    const auto metadata = qdbus_cast<QList<QVariantMap>>(described.arguments().value(0).value<QDBusArgument>());
    ASSERT_EQ(metadata.size(), 1);
    EXPECT_EQ(metadata[0].value("xesam:title").toString(), "Hero");

    endTrack();
    EXPECT_EQ(current(), hero);
    call(list, "GoTo", {QVariant::fromValue(tracks[2])});
    EXPECT_EQ(current(), zamba);
    EXPECT_TRUE(session->queue().empty());
}
