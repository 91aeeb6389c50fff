#pragma once
// The player as the desktop reaches it from outside its window: the media
// keys and player applets (MPRIS), the files a later start hands over, and
// the screen kept awake while a video plays. It shows and commands the
// playback session, as the window's controls do, and asks the window only
// what Window offers.
#include "platform/desktop/mpris.h"
#include "platform/desktop/running_player.h"
#include "platform/desktop/screen_saver.h"

#include <QObject>
#include <QString>

class PlaybackSession;

namespace desktop_link {

// The name a running player owns on the session bus, as its AppStream id.
inline constexpr const char* kAppId = "io.github.quorvana.Quorvana";

// What the link asks of the player's window.
class Window {
public:
    virtual ~Window() = default;
    // To the front, with the keyboard: the desktop asked for the player.
    virtual void raiseForUser() = 0;
    // To the front without the keyboard: a file was handed over.
    virtual void comeForward() = 0;
    // Closes it as the user does: the player ends with it.
    virtual void close() = 0;
};

class DesktopLink : public QObject {
    Q_OBJECT

public:
    // Goes before SESSION and WINDOW do. CLAIM, when given, is the start's
    // own claim on the name, whose waiting calls the link takes over.
    DesktopLink(PlaybackSession& session, Window& window, desktop::NameClaim* claim = nullptr);
    ~DesktopLink() override;

    // The window began to close: every end of the player begins so. A file
    // handed over from then on would be taken and lost with the window, so
    // the start that sends it plays it itself.
    void windowClosing();

    const desktop::MprisService& mpris() const { return mpris_; }
    const desktop::FileReceiver& receiver() const { return receiver_; }
    const desktop::ScreenSaverInhibitor& screenSaver() const { return screen_; }

private:
    desktop::MprisHandlers handlers();
    void update();
    void updateNow();
    bool hasNeighbour(int step) const;
    desktop::MprisError playNeighbour(int step);
    desktop::MprisError seekBy(qint64 offsetUs);
    void setPosition(qint64 positionUs);
    desktop::MprisError open(const QString& uri);
    desktop::MprisError playable(const QString& uri, QString& path) const;
    desktop::MprisError addTrack(const QString& uri, const QString& afterTrack, bool setAsCurrent);
    static QString queuedId(quint64 id);
    int queuedIndex(const QString& trackId) const;
    void handOver(const QStringList& paths);

    PlaybackSession& session_;
    Window& window_;
    desktop::MprisService mpris_;
    desktop::FileReceiver receiver_;
    desktop::ScreenSaverInhibitor screen_;
    QString lastFile_;
    unsigned track_ = 0;
    bool updatePending_ = false;
    bool ending_ = false; // the window began to close: nothing more is taken
};

} // namespace desktop_link
