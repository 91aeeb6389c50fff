#pragma once
// The media-player control: a bar of buttons over one media device that holds
// at most one open file.
#include "platform/mci/mci.h"

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QToolButton;


enum class TMPDeviceTypes : int { dtAutoSelect = 0, dtAVIVideo = 1, dtSequencer = 9, dtWaveAudio = 12 };
enum class TMPBtnType { btPlay, btPause, btStop, btNext, btPrev };
enum class TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };
enum class TMPTimeFormats { tfMilliseconds, tfFrames, tfDefault };

class TMediaPlayer : public QWidget {
    Q_OBJECT

public:
    explicit TMediaPlayer(QWidget* parent = nullptr);
    ~TMediaPlayer() override;

    TMPDeviceTypes DeviceType = TMPDeviceTypes::dtAutoSelect;
    QString FileName;
    bool AutoOpen = false;
    bool AutoRewind = true;

    bool AutoEnable() const { return autoEnable_; }
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

    bool IsOpen() const { return device_ != nullptr; }
    // The code of the last refusal the device reported (0 after success).
    uint32_t Error() const { return error_; }

    // The device open now, auto-select resolved; AutoSelect when none is.
    mci::DeviceType OpenType() const { return device_ ? openType_ : mci::DeviceType::AutoSelect; }

    // Runs before a button's own action; clearing DoDefault skips the action.
    std::function<void(QObject* sender, TMPBtnType button, bool& DoDefault)> OnClick;

    QToolButton* Button(TMPBtnType button) const { return buttons_[static_cast<int>(button)]; }

signals:
    // The device opened, closed, or changed its mode (a button, a call, the
    // end of the file).
    void changed();
    // A seek moved the position to POSITION, in the current time format.
    void positionSet(int position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void requireOpen() const;
    void record(const mci::Result& result);
    void buttonClicked(TMPBtnType button);
    void updateButtons();
    void onDeviceEnded(unsigned generation);

    std::unique_ptr<mci::Device> device_;
    mci::DeviceType openType_ = mci::DeviceType::AutoSelect;
    unsigned generation_ = 0; // drops end notices of devices already closed
    uint32_t error_ = 0;
    bool autoEnable_ = false;
    std::array<QToolButton*, 5> buttons_{};
};

