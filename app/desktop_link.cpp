#include "app/desktop_link.h"

#include "app/main_window.h"
#include "core/media_kinds.h"
#include "framework/file_names.h"
#include "framework/guard.h"
#include "playback/playback_session.h"

#include <QEvent>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

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

// FN runs as the windows' slots do, and its refusal goes back to the bus.
template <class Fn> auto answering(Fn fn)
{
    return [fn = std::move(fn)](auto... arguments) {
        desktop::MprisError refusal;
        ui::guard([&] { refusal = fn(arguments...); });
        return refusal;
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

DesktopLink::DesktopLink(TForm1& form)
    : form_(form), session_(form.session()),
      mpris_({QStringLiteral("quorvana"), QStringLiteral("Quorvana"), QStringLiteral("quorvana"), playedTypes()},
          handlers()),
      receiver_(QString::fromLatin1(kAppId), ui::guarded([this](const QStringList& paths) { form_.handOver(paths); }),
          ui::guarded([this] { form_.raiseForUser(); })),
      screen_(QString::fromLatin1(kAppId), QStringLiteral("Playing a video"))
{
    for (auto signal : {&PlaybackSession::modeChanged, &PlaybackSession::tracksChanged})
        connect(&session_, signal, this, ui::guarded([this] { update(); }));
    connect(&session_, &PlaybackSession::titleChanged, this, ui::guarded([this] { update(); }));
    connect(&session_, &PlaybackSession::lengthShown, this, ui::guarded([this] { update(); }));
    connect(&session_, &PlaybackSession::selectionChanged, this, ui::guarded([this] { update(); }));
    connect(&session_, &PlaybackSession::volumeChanged, this, ui::guarded([this] { update(); }));
    connect(
        &session_, &PlaybackSession::seeked, this, ui::guarded([this](int ms) { mpris_.seeked(qint64(ms) * 1000); }));
    form_.installEventFilter(this);
    updateNow();
}

DesktopLink::~DesktopLink() = default;

bool DesktopLink::eventFilter(QObject* watched, QEvent* event)
{
    // Every end of the player begins with a close of its window (a quit
    // signal, the desktop's Quit, the user's own), which may slide first but
    // is never turned down: a file handed over from then on would be taken
    // and lost with it, so the start that sends it plays it itself.
    if (watched == &form_ && event->type() == QEvent::Close) {
        ending_ = true;
        ui::guard([this] { receiver_.endTaking(); });
    }
    return QObject::eventFilter(watched, event);
}

// Every handler runs as the windows' slots do: a refusal the bus asked for
// shows its box, and the bus still gets its answer.
desktop::MprisHandlers DesktopLink::handlers()
{
    using ui::guarded;
    const auto playing = [this] { return session_.device().mode() == TMPModes::mpPlaying; };
    desktop::MprisHandlers h;
    h.play = guarded([this] { session_.play(); });
    h.stop = guarded([this] { session_.stop(); });
    h.pause = guarded([this, playing] {
        if (playing())
            session_.pauseOrResume();
    });
    h.playPause = guarded([this, playing] {
        if (playing())
            session_.pauseOrResume();
        else
            session_.play();
    });
    // The bar's Next and Prev jump within the track; the desktop means the
    // neighbouring file of the list as it stands when asked.
    h.next = answering([this] { return playNeighbour(1); });
    h.previous = answering([this] { return playNeighbour(-1); });
    h.canGoNext = [this] { return hasNeighbour(1); };
    h.canGoPrevious = [this] { return hasNeighbour(-1); };
    h.raise = guarded([this] { form_.raiseForUser(); });
    h.quit = guarded([this] { form_.close(); });
    h.seek = answering([this](qint64 offsetUs) { return seekBy(offsetUs); });
    h.setPosition = guarded([this](qint64 positionUs) { setPosition(positionUs); });
    // Where Play goes on from: a stopped track keeps its place.
    h.positionUs = [this] { return qint64(session_.positionMs()) * 1000; };
    h.openUri = answering([this](const QString& uri) { return open(uri); });
    h.volume = [this] { return session_.volume(); };
    h.setVolume = guarded([this](double volume) { session_.setVolume(volume); });
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
    return error(
        QFileInfo::exists(file) ? "Failed" : "FileNotFound", QStringLiteral("%1: %2").arg(file, session_.reason()));
}

desktop::MprisError DesktopLink::seekBy(qint64 offsetUs)
{
    if (!session_.device().isOpen())
        return {};
    const qint64 positionUs = saturatedSum(qint64(session_.positionMs()) * 1000, offsetUs);
    // Past the end is the next track, as the desktop's player controls have
    // it; after the last one the player stops.
    if (positionUs >= qint64(session_.lengthMs()) * 1000) {
        if (hasNeighbour(1))
            return playNeighbour(1);
        session_.stop();
        return {};
    }
    session_.seekTo(int(std::max<qint64>(positionUs, 0) / 1000));
    return {};
}

void DesktopLink::setPosition(qint64 positionUs)
{
    // A place at or past the end is none of the track's: nothing happens.
    if (session_.device().isOpen() && positionUs >= 0 && positionUs < qint64(session_.lengthMs()) * 1000)
        session_.seekTo(int(positionUs / 1000));
}

desktop::MprisError DesktopLink::open(const QString& uri)
{
    if (ending_)
        return error("Failed", QStringLiteral("The player is ending: %1").arg(uri));
    const QStringList paths
        = desktop::localPaths({uri}, [](const QByteArray& name) { return ui::decodeFileName(name); });
    if (paths.isEmpty())
        return error("NotSupported", QStringLiteral("Only local files play: %1").arg(uri));
    const QString& path = paths.first();
    const QFileInfo info(path);
    if (!info.isFile())
        return error("FileNotFound", QStringLiteral("No such file: %1").arg(path));
    if (!info.isReadable())
        return error("AccessDenied", QStringLiteral("The file cannot be read: %1").arg(path));
    if (!media_kinds::kindOf(path))
        return error("NotSupported", QStringLiteral("Not a media file the player plays: %1").arg(path));
    if (const QString reason = session_.refusalOf(path); !reason.isEmpty())
        return error("NotSupported", QStringLiteral("%1: %2").arg(path, reason));
    form_.handOver(paths);
    return {};
}

void DesktopLink::update()
{
    // A start sends the reset, opens the file, plays it and then names the
    // track: the desktop hears the outcome once, not each step of it.
    if (updatePending_)
        return;
    updatePending_ = true;
    QTimer::singleShot(0, this, ui::guarded([this] {
        updatePending_ = false;
        updateNow();
    }));
}

void DesktopLink::updateNow()
{
    MediaDevice& device = session_.device();
    desktop::MprisState s;
    const bool open = device.isOpen() && !device.fileName.isEmpty();
    const TMPModes mode = open ? device.mode() : TMPModes::mpNotReady;
    s.status = mode == TMPModes::mpPlaying ? desktop::MprisState::Status::Playing
        : mode == TMPModes::mpPaused       ? desktop::MprisState::Status::Paused
                                           : desktop::MprisState::Status::Stopped;
    if (open) {
        if (device.fileName != lastFile_) {
            lastFile_ = device.fileName;
            ++track_;
        }
        s.trackId = QStringLiteral("/io/github/quorvana/Quorvana/track/%1").arg(track_);
        // A song's own title names it better than its file.
        const mci::TrackText text = session_.trackText();
        s.title = text.title.empty() ? session_.title() : QString::fromStdString(text.title);
        s.asText = QString::fromStdString(text.words);
        s.url = fileUrl(device.fileName);
        s.lengthUs = qint64(session_.lengthMs()) * 1000;
        s.canPlay = s.canPause = s.canSeek = true;
    }
    s.canGoNext = hasNeighbour(1);
    s.canGoPrevious = hasNeighbour(-1);
    s.volume = session_.volume();
    mpris_.update(s);
    screen_.hold(open && mode == TMPModes::mpPlaying && device.openType() == mci::DeviceType::AviVideo);
}

} // namespace desktop_link
