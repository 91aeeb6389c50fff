#pragma once
// The one media device of the player: at most one open file, the commands of
// the media-player control, the code of the last refusal. The playback
// session owns it; nothing else works it.
#include "platform/mci/mci.h"

#include <QObject>
#include <QString>

#include <memory>

namespace multimedia {
struct Choices;
}

enum class TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };
enum class TMPTimeFormats { tfMilliseconds, tfFrames, tfDefault };

class MediaDevice : public QObject {
    Q_OBJECT

public:
    explicit MediaDevice(QObject* parent = nullptr);
    ~MediaDevice() override;

    // Closes what is open, then opens FILE_NAME (none: the device alone) on
    // the device of TYPE (AutoSelect: by the file's kind) with CHOICES.
    // Raises EMCIDeviceError with the device's text when refused; the device
    // is then closed.
    void open(mci::DeviceType type, const QString& fileName, const multimedia::Choices& choices);
    // The file last asked for, opened or not.
    const QString& fileName() const { return fileName_; }
    void close();
    // At the end, plays from the start again.
    void play();
    // Pauses a playing device, resumes a paused one.
    void pause();
    void resume();
    void stop();
    void next();
    void previous();

    // The singer's key (semitones) and tempo (%); raise what the device
    // refuses, a value past its bounds among it.
    void setTranspose(int semitones);
    void setTempo(int percent);

    // What the open song offers singers; none for other media.
    mci::Singer* singer() { return device_ ? device_->singer() : nullptr; }

    // Reading never raises; setting seeks and leaves the device stopped.
    int position();
    void setPosition(int position);
    int length();
    TMPModes mode();
    void setTimeFormat(TMPTimeFormats format);
    // The title and words the device found in the file; empty when none is open.
    mci::TrackText text() { return device_ ? device_->text() : mci::TrackText {}; }

    bool isOpen() const { return device_ != nullptr; }
    // The code of the last refusal the device reported (0 after success).
    uint32_t error() const { return error_; }
    // The device open now, auto-select resolved; AutoSelect when none is.
    mci::DeviceType openType() const { return device_ ? openType_ : mci::DeviceType::AutoSelect; }

signals:
    // The device opened, closed, or changed its mode (a command, the end of
    // the file, the user closing the device's window).
    void changed();
    // The device stopped by itself: at the end of the file, or because the
    // user closed its window.
    void stoppedByItself();
    // A seek or a move to the start or the end put the position at POSITION,
    // in the current time format.
    void positionSet(int position);
    // A device that took its file at once and read it afterwards is ready:
    // REFUSAL says why it cannot play after all, empty when it can.
    void ready(const QString& refusal);

private:
    void requireOpen() const;
    void record(const mci::Result& result);
    void raiseRefusal(const mci::Result& result);
    void onStoppedByItself();
    void onReady(const mci::Result& result);

    std::unique_ptr<mci::Device> device_;
    QString fileName_;
    mci::DeviceType openType_ = mci::DeviceType::AutoSelect;
    unsigned generation_ = 0; // drops notices of devices already closed
    uint32_t error_ = 0;
};
