#pragma once
// The player as the desktop reaches it from outside its window: the media
// keys and player applets (MPRIS), the files a later start hands over, and
// the screen kept awake while a video plays. It shows and commands the
// playback session, as the window's controls do.
#include "platform/desktop/mpris.h"
#include "platform/desktop/running_player.h"
#include "platform/desktop/screen_saver.h"

#include <QObject>
#include <QString>

class TForm1;
class PlaybackSession;

namespace desktop_link {

// The name a running player owns on the session bus, as its AppStream id.
inline constexpr const char* kAppId = "io.github.quorvana.Quorvana";

class DesktopLink : public QObject {
    Q_OBJECT

public:
    // Goes before FORM does.
    explicit DesktopLink(TForm1& form);
    ~DesktopLink() override;

    const desktop::MprisService& mpris() const { return mpris_; }
    const desktop::FileReceiver& receiver() const { return receiver_; }
    const desktop::ScreenSaverInhibitor& screenSaver() const { return screen_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    desktop::MprisHandlers handlers();
    void update();
    void updateNow();
    bool hasNeighbour(int step) const;
    desktop::MprisError playNeighbour(int step);
    desktop::MprisError seekBy(qint64 offsetUs);
    void setPosition(qint64 positionUs);
    desktop::MprisError open(const QString& uri);

    TForm1& form_;
    PlaybackSession& session_;
    desktop::MprisService mpris_;
    desktop::FileReceiver receiver_;
    desktop::ScreenSaverInhibitor screen_;
    QString lastFile_;
    unsigned track_ = 0;
    bool updatePending_ = false;
    bool ending_ = false; // the window began to close: nothing more is taken
};

} // namespace desktop_link
