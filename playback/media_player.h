#pragma once
// The media-player control: a bar of buttons over the playback session's
// media device. It keeps the control's own face (its properties, methods
// and click event) and holds no state of its own: every call goes to the
// device, and the buttons follow what the device and the session report.
#include "playback/media_device.h"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QToolButton;
class PlaybackSession;

enum class TMPDeviceTypes : int { dtAutoSelect = 0, dtAVIVideo = 1, dtSequencer = 9, dtWaveAudio = 12 };
enum class TMPBtnType { btPlay, btPause, btStop, btNext, btPrev };

class TMediaPlayer : public QWidget {
    Q_OBJECT

public:
    TMediaPlayer(PlaybackSession& session, QWidget* parent = nullptr);
    ~TMediaPlayer() override;

    TMPDeviceTypes DeviceType() const;
    void SetDeviceType(TMPDeviceTypes type);
    QString FileName() const;
    void SetFileName(const QString& fileName);
    bool AutoOpen = false;
    bool AutoRewind() const;
    void SetAutoRewind(bool on);

    bool AutoEnable() const;
    void SetAutoEnable(bool on);

    // The window is built: with AutoOpen on the device opens now.
    void Loaded();

    // Closes what is open, then opens FileName (none: the device alone).
    // Raises EMCIDeviceError with the device's text when refused; the
    // device is then closed.
    void Open();
    void Close();
    void Play();
    void Pause();
    void Resume();
    void Stop();
    void Next();
    void Previous();
    void Rewind();

    // Reading never raises; setting seeks and leaves the device stopped.
    int Position();
    void SetPosition(int position);
    int Length();
    TMPModes Mode();
    void SetTimeFormat(TMPTimeFormats format);

    bool IsOpen() const;
    // The code of the last refusal the device reported (0 after success).
    uint32_t Error() const;

    // Runs before a button's own action; clearing DoDefault skips the action.
    std::function<void(QObject* sender, TMPBtnType button, bool& DoDefault)> OnClick;

    QToolButton* Button(TMPBtnType button) const { return buttons_[static_cast<int>(button)]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buttonClicked(TMPBtnType button);
    void updateButtons();

    PlaybackSession& session_;
    MediaDevice& device_;
    std::array<QToolButton*, 5> buttons_{};
};
