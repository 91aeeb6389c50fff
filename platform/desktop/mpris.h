#pragma once
// A media player as the desktop's player controls see it (media keys, the
// panel's applet, the lock screen, a phone remote): the MPRIS interfaces on
// the session bus. The service presses nothing itself; it calls the
// handlers it is given, and is told every change, which it passes on as the
// interfaces' change signals.
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace desktop {

// A D-Bus error a handler answers with; an empty name: no error.
struct MprisError {
    QString name; // "org.freedesktop.DBus.Error.FileNotFound"
    QString message;
};

// A track of the track list after the open one.
struct MprisTrack {
    QString id; // an object path
    QString title;
    QString url;
    bool operator==(const MprisTrack&) const = default;
};

struct MprisHandlers {
    std::function<void()> play, pause, playPause, stop, raise, quit;
    // A track that cannot play is the caller's error, answered as one.
    std::function<MprisError()> next, previous;
    std::function<MprisError(qint64 offsetUs)> seek;
    std::function<void(qint64 positionUs)> setPosition;
    // Read when asked, never polled; without them the state's flags answer.
    std::function<qint64()> positionUs;
    std::function<bool()> canGoNext, canGoPrevious;
    std::function<MprisError(const QString& uri)> openUri;
    // The player's own volume, 0 to 1.
    std::function<double()> volume;
    std::function<void(double volume)> setVolume;
    // The rate asked for, within the state's minimum and maximum.
    std::function<void(double rate)> setRate;
    // The track list: with these the player has one, the open track and
    // those that follow it. AFTER_TRACK is a track's id, or the list's
    // NoTrack for its start.
    std::function<MprisError(const QString& uri, const QString& afterTrack, bool setAsCurrent)> addTrack;
    std::function<void(const QString&trackId)> removeTrack, goTo;
};

struct MprisState {
    enum class Status { Stopped, Playing, Paused };
    Status status = Status::Stopped;
    QString trackId; // an object path; empty: no track
    QString title;
    QString url;
    QString asText; // the track's words; empty: none
    qint64 lengthUs = 0;
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canPause = false;
    bool canSeek = false;
    double volume = 1.0;
    double rate = 1.0; // how fast the track's own time runs
    double minimumRate = 1.0;
    double maximumRate = 1.0;
    QList<MprisTrack> following; // the track list's after the open track

    bool operator==(const MprisState&) const = default;
};

struct MprisIdentity {
    QString busName; // "quorvana": org.mpris.MediaPlayer2.quorvana
    QString identity; // "Quorvana"
    QString desktopEntry; // "quorvana"
    QStringList mimeTypes;
};

class MprisService : public QObject {
    Q_OBJECT

public:
    // Registers on the session bus; without one the service stays silent.
    // When another player holds the name, this one takes
    // org.mpris.MediaPlayer2.NAME.instancePID, as the interface asks.
    MprisService(const MprisIdentity& identity, MprisHandlers handlers, QObject* parent = nullptr);
    ~MprisService() override;

    bool registered() const { return !serviceName_.isEmpty(); }
    const QString& serviceName() const { return serviceName_; }

    // Sends the properties that differ from the last state.
    void update(const MprisState& state);
    // The position jumped (a seek, a rewind): the desktop's clock restarts there.
    void seeked(qint64 positionUs);

    // For the adaptors.
    const MprisState& state() const { return state_; }
    const MprisIdentity& identity() const { return identity_; }
    const MprisHandlers& handlers() const { return handlers_; }
    QVariantMap metadata() const;
    // The track list's ids, the open track's first.
    QList<QDBusObjectPath> trackIds() const;
    QVariantMap metadataOf(const QString& trackId) const;
    static QString statusText(MprisState::Status status);

private:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated = {});

    MprisIdentity identity_;
    MprisHandlers handlers_;
    MprisState state_;
    QString serviceName_;
};

} // namespace desktop
