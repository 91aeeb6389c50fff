#pragma once
// The media-player control: a bar of buttons that send the playback
// session its commands and follow its state. It holds no state of its own.

#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QToolButton;
class PlaybackSession;

enum class TMPBtnType { btPlay, btPause, btStop, btNext, btPrev };

class TMediaPlayer : public QWidget {
    Q_OBJECT

public:
    TMediaPlayer(PlaybackSession& session, QWidget* parent = nullptr);
    ~TMediaPlayer() override;

    // Off: every button can be pressed. On: the buttons follow the session's
    // state, and only those that can act are enabled.
    bool AutoEnable() const;
    void SetAutoEnable(bool on);

    // Runs before a button's own command; clearing DoDefault skips it.
    std::function<void(QObject* sender, TMPBtnType button, bool& DoDefault)> OnClick;

    QToolButton* Button(TMPBtnType button) const { return buttons_[static_cast<int>(button)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buttonClicked(TMPBtnType button);
    void updateButtons();

    PlaybackSession& session_;
    std::array<QToolButton*, 5> buttons_{};
};
