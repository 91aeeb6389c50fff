#include "app/desktop_link.h"

#include "core/media_kinds.h"
#include "framework/file_names.h"
#include "platform/midi/singer_bounds.h"
#include "playback/playback_session.h"

#include <QEvent>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <cstdio>
#include <limits>

namespace desktop_link {

namespace {

QStringList playedTypes()
{
    QStringList types;
    for (const media_kinds::Kind& kind : media_kinds::all())
        if (*kind.mimeType && !types.contains(QString::fromLatin1(kind.mimeType)))
            types << QString::fromLatin1(kind.mimeType);
    return types;
}

// The file's own bytes, percent-encoded: a name that is no valid UTF-8 still
// names the file it is.
QString fileUrl(const QString& path)
{
    return desktop::fileUri(QByteArray::fromStdString(ui::fileNameBytes(QFileInfo(path).absoluteFilePath())));
}

desktop::MprisError error(const char* name, const QString& message)
{
    return {QStringLiteral("org.freedesktop.DBus.Error.") + QLatin1String(name), message};
}

// FN as the bus calls it: nothing thrown goes back through the bus. The
// session's commands throw nothing; what throws is the link's own fault.
template <class Fn> auto answered(Fn fn)
{
    return [fn = std::move(fn)](auto... arguments) noexcept {
        try {
            return fn(arguments...);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "quorvana: %s\n", e.what());
        }
        return decltype(fn(arguments...))();
    };
}

// A desktop's offset may be anything a 64-bit number holds.
qint64 saturatedSum(qint64 a, qint64 b)
{
    qint64 sum = 0;
    if (!__builtin_add_overflow(a, b, &sum))
        return sum;
    return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

} // namespace

DesktopLink::DesktopLink(PlaybackSession& session, Window& window, desktop::NameClaim* claim)
    : session_(session), window_(window),
      mpris_({QStringLiteral("quorvana"), QStringLiteral("Quorvana"), QStringLiteral("quorvana"), playedTypes()},
          handlers()),
      receiver_(QString::fromLatin1(kAppId), claim, answered([this](const QStringList& paths) { handOver(paths); }),
          answered([this] { window_.raiseForUser(); })),
      screen_(QString::fromLatin1(kAppId), QStringLiteral("Playing a video"))
{
    const auto follow = [this](auto signal) { connect(&session_, signal, this, [this] { update(); }); };
    follow(&PlaybackSession::stateChanged);
    follow(&PlaybackSession::trackChanged);
    follow(&PlaybackSession::tracksChanged);
    follow(&PlaybackSession::selectionChanged);
    follow(&PlaybackSession::volumeChanged);
    connect(&session_, &PlaybackSession::seeked, this, [this](int ms) { mpris_.seeked(qint64(ms) * 1000); });
    follow(&PlaybackSession::queueChanged);
    receiver_.setQueue(answered([this](const QStringList& paths) { session_.enqueue(paths); }));
    updateNow();
}

DesktopLink::~DesktopLink() = default;

void DesktopLink::windowClosing()
{
    ending_ = true;
    receiver_.endTaking();
}

void DesktopLink::handOver(const QStringList& paths)
{
    window_.comeForward();
    session_.handOver(paths);
}

// The desktop's calls are answered at once and open no box: a command that
// cannot act has no effect, and a refusal is the call's answer. What needs
// the track's length or mode waits until its file has been read.
desktop::MprisHandlers DesktopLink::handlers()
{
    const auto playing = [this] { return session_.state() == PlaybackSession::State::Playing; };
    const auto quietly = [this](auto fn) {
        return answered([this, fn](auto... arguments) {
            const PlaybackSession::Quietly quiet(session_);
            return fn(arguments...);
        });
    };
    desktop::MprisHandlers h;
    h.play = quietly([this] {
        if (session_.hasTrack())
            session_.play();
    });
    h.stop = quietly([this] {
        if (session_.hasTrack())
            session_.stop();
    });
    h.pause = quietly([this, playing] {
        session_.whenRead([this, playing] {
            if (playing())
                session_.pauseOrResume();
        });
    });
    h.playPause = quietly([this, playing] {
        session_.whenRead([this, playing] {
            if (playing())
                session_.pauseOrResume();
            else if (session_.hasTrack())
                session_.play();
        });
    });
    // The bar's Next and Prev jump within the track; the desktop means the
    // neighbouring file of the list as it stands when asked.
    h.next = quietly([this] { return playNeighbour(1); });
    h.previous = quietly([this] { return playNeighbour(-1); });
    h.canGoNext = [this] { return hasNeighbour(1); };
    h.canGoPrevious = [this] { return hasNeighbour(-1); };
    h.raise = answered([this] { window_.raiseForUser(); });
    h.quit = answered([this] { window_.close(); });
    h.seek = quietly([this](qint64 offsetUs) {
        if (session_.state() != PlaybackSession::State::Loading)
            return seekBy(offsetUs);
        session_.whenRead([this, offsetUs] { seekBy(offsetUs); });
        return desktop::MprisError {};
    });
    h.setPosition
        = quietly([this](qint64 positionUs) { session_.whenRead([this, positionUs] { setPosition(positionUs); }); });
    // Where Play goes on from: a stopped track keeps its place.
    h.positionUs = [this] { return qint64(session_.positionMs()) * 1000; };
    h.openUri = answered([this](const QString& uri) { return open(uri); });
    h.volume = [this] { return session_.volume(); };
    h.setVolume = answered([this](double volume) { session_.setVolume(volume); });
    // The track list is the night's queue after the open track.
    h.addTrack = answered([this](const QString& uri, const QString& afterTrack, bool setAsCurrent) {
        return addTrack(uri, afterTrack, setAsCurrent);
    });
    h.removeTrack = answered([this](const QString& id) { session_.removeQueued(queuedIndex(id)); });
    h.goTo = quietly([this](const QString& id) { session_.playQueued(queuedIndex(id)); });
    // The rate is the song's tempo, in its steps; the bus keeps it within bounds.
    h.setRate = quietly([this](double rate) {
        const int percent = int(std::lround(rate * 100 / midi::kPercentStep)) * midi::kPercentStep;
        if (percent != session_.track().tempo)
            session_.setTempo(percent);
    });
    return h;
}

bool DesktopLink::hasNeighbour(int step) const
{
    const int index = session_.selectedIndex() + step;
    return index >= 0 && index < session_.trackCount();
}

desktop::MprisError DesktopLink::playNeighbour(int step)
{
    if (!hasNeighbour(step) || session_.playNeighbour(step))
        return {};
    // As a click on it: the window shows "Error" and why; the caller hears it.
    const QString file = session_.selectedFile();
    QString reason = session_.track().reason;
    if (reason.isEmpty())
        reason = session_.lastFailure();
    if (reason.isEmpty())
        reason = QStringLiteral("It did not start.");
    return error(QFileInfo::exists(file) ? "Failed" : "FileNotFound", QStringLiteral("%1: %2").arg(file, reason));
}

desktop::MprisError DesktopLink::seekBy(qint64 offsetUs)
{
    if (!session_.hasTrack())
        return {};
    const qint64 positionUs = saturatedSum(qint64(session_.positionMs()) * 1000, offsetUs);
    // Past the end is the next track, as the desktop's player controls have
    // it; after the last one the player stops.
    if (positionUs >= qint64(session_.track().lengthMs) * 1000) {
        if (hasNeighbour(1))
            return playNeighbour(1);
        session_.stop();
        return {};
    }
    session_.seekHolding(int(std::max<qint64>(positionUs, 0) / 1000));
    return {};
}

void DesktopLink::setPosition(qint64 positionUs)
{
    // A place at or past the end is none of the track's: nothing happens.
    if (session_.hasTrack() && positionUs >= 0 && positionUs < qint64(session_.track().lengthMs) * 1000)
        session_.seekHolding(int(positionUs / 1000));
}

desktop::MprisError DesktopLink::open(const QString& uri)
{
    QString path;
    if (desktop::MprisError refused = playable(uri, path); !refused.name.isEmpty())
        return refused;
    handOver({path});
    return {};
}

// A queued entry's track id: the queue's "/queue/ID".
const QString kQueuedTrack = QStringLiteral("/io/github/quorvana/Quorvana/queue/");

QString DesktopLink::queuedId(quint64 id)
{
    return kQueuedTrack + QString::number(id);
}

int DesktopLink::queuedIndex(const QString& trackId) const
{
    bool ok = false;
    const quint64 id = trackId.startsWith(kQueuedTrack) ? trackId.mid(kQueuedTrack.size()).toULongLong(&ok) : 0;
    return ok ? session_.queuedIndex(id) : -1;
}

// After the open track, or the list's start, is the queue's start; after an
// entry, the place behind it; after a track no longer there, the end.
desktop::MprisError DesktopLink::addTrack(const QString& uri, const QString& afterTrack, bool setAsCurrent)
{
    QString path;
    if (desktop::MprisError refused = playable(uri, path); !refused.name.isEmpty())
        return refused;
    const int after = queuedIndex(afterTrack);
    const bool atStart = after < 0 && (afterTrack == mpris_.state().trackId || afterTrack.endsWith("/NoTrack"));
    const int at = after >= 0 ? after + 1 : atStart ? 0 : int(session_.queue().size());
    session_.enqueue({path}, {}, at);
    if (setAsCurrent) {
        const PlaybackSession::Quietly quiet(session_);
        session_.playQueued(at);
    }
    return {};
}

desktop::MprisError DesktopLink::playable(const QString& uri, QString& path) const
{
    if (ending_ || receiver_.ending())
        return error("Failed", QStringLiteral("The player is ending: %1").arg(uri));
    const QStringList paths
        = desktop::localPaths({uri}, [](const QByteArray& name) { return ui::decodeFileName(name); });
    if (paths.isEmpty())
        return error("NotSupported", QStringLiteral("Only local files play: %1").arg(uri));
    path = paths.first();
    const QFileInfo info(path);
    if (!info.isFile())
        return error("FileNotFound", QStringLiteral("No such file: %1").arg(path));
    if (!info.isReadable())
        return error("AccessDenied", QStringLiteral("The file cannot be read: %1").arg(path));
    if (!media_kinds::kindOf(path))
        return error("NotSupported", QStringLiteral("Not a media file the player plays: %1").arg(path));
    if (const QString reason = session_.refusalOf(path); !reason.isEmpty())
        return error("NotSupported", QStringLiteral("%1: %2").arg(path, reason));
    return {};
}

void DesktopLink::update()
{
    // A start sends the reset, opens the file, plays it and then names the
    // track: the desktop hears the outcome once, not each step of it.
    if (updatePending_)
        return;
    updatePending_ = true;
    QTimer::singleShot(0, this, [this] {
        updatePending_ = false;
        updateNow();
    });
}

void DesktopLink::updateNow()
{
    using State = PlaybackSession::State;
    const State state = session_.state();
    const Track& track = session_.track();
    desktop::MprisState s;
    s.status = state == State::Playing ? desktop::MprisState::Status::Playing
        : state == State::Paused       ? desktop::MprisState::Status::Paused
                                       : desktop::MprisState::Status::Stopped;
    if (session_.hasTrack()) {
        if (track.file != lastFile_) {
            lastFile_ = track.file;
            ++track_;
        }
        s.trackId = QStringLiteral("/io/github/quorvana/Quorvana/track/%1").arg(track_);
        // A song's own title names it better than its file.
        s.title = track.text.title.empty() ? track.title : QString::fromStdString(track.text.title);
        s.asText = QString::fromStdString(track.text.words);
        s.url = fileUrl(track.file);
        s.lengthUs = qint64(track.lengthMs) * 1000;
        s.canPlay = s.canPause = s.canSeek = true;
        s.rate = track.tempo / 100.0;
        // A song's tempo can change; a wave or a video plays at its own.
        if (track.device == mci::DeviceType::Sequencer) {
            s.minimumRate = midi::kSlowestPercent / 100.0;
            s.maximumRate = midi::kFastestPercent / 100.0;
        }
    }
    for (const QueuedSong& song : session_.queue())
        s.following << desktop::MprisTrack {queuedId(song.id), song.announced(), fileUrl(song.file)};
    s.canGoNext = hasNeighbour(1);
    s.canGoPrevious = hasNeighbour(-1);
    s.volume = session_.volume();
    mpris_.update(s);
    screen_.hold(state == State::Playing && track.device == mci::DeviceType::AviVideo);
}

} // namespace desktop_link
