#include "playback/media_device.h"

#include "core/media_kinds.h"
#include "framework/errors.h"
#include "framework/file_names.h"
#include "platform/mci/singer.h"
#include "platform/multimedia/choices.h"

#include <QPointer>

#include <algorithm>

namespace {

const char* const kNotOpen = "Kein MCI-Gerät geöffnet";
const char* const kUnknownError = "Unbekannter Fehlercode";

} // namespace

MediaDevice::MediaDevice(QObject* parent) : QObject(parent)
{
}

MediaDevice::~MediaDevice()
{
    if (device_) {
        device_->setEndNotify({});
        device_->setReadyNotify({});
        device_->close();
    }
}

void MediaDevice::open(mci::DeviceType asked, const QString& fileName, const multimedia::Choices& choices)
{
    close();
    fileName_ = fileName;
    const mci::DeviceType type = media_kinds::resolvedDevice(asked, fileName);
    std::unique_ptr<mci::Device> device;
    const mci::Result result = mci::openDevice(type, ui::encodeFileName(fileName).toStdString(), choices, device);
    error_ = result.code;
    if (!result.ok()) {
        emit changed();
        throw ui::EMCIDeviceError(result.text.empty() ? std::string(kUnknownError) : result.text);
    }
    device_ = std::move(device);
    openType_ = type;
    // A device tells on its own time, maybe from another thread: taken from
    // the event loop, and dropped when the device has closed since.
    const auto later = [self = QPointer<MediaDevice>(this), generation = ++generation_](auto take) {
        return [self, generation, take](auto... args) {
            QMetaObject::invokeMethod(
                self.data(),
                [self, generation, take, args...] {
                    if (self && generation == self->generation_)
                        take(*self, args...);
                },
                Qt::QueuedConnection);
        };
    };
    device_->setEndNotify(later([](MediaDevice& d) { d.onStoppedByItself(); }));
    device_->setReadyNotify(later([](MediaDevice& d, const mci::Result& result) { d.onReady(result); }));
    emit changed();
}

void MediaDevice::close()
{
    if (!device_)
        return;
    ++generation_;
    device_->setEndNotify({});
    device_->setReadyNotify({});
    device_->close();
    device_.reset();
    emit changed();
}

void MediaDevice::requireOpen() const
{
    if (!device_)
        throw ui::EMCIDeviceError(kNotOpen);
}

void MediaDevice::record(const mci::Result& result)
{
    error_ = result.code;
}

void MediaDevice::play()
{
    requireOpen();
    uint32_t pos = 0, len = 0;
    if (device_->position(pos).ok() && device_->length(len).ok() && pos == len)
        record(device_->seekToStart());
    record(device_->play());
    emit changed();
}

void MediaDevice::pause()
{
    requireOpen();
    const mci::Mode mode = device_->mode();
    if (mode == mci::Mode::Playing) {
        record(device_->pause());
    } else if (mode == mci::Mode::Paused) {
        mci::Result r = device_->resume();
        if (!r.ok())
            r = device_->play();
        record(r);
    }
    emit changed();
}

void MediaDevice::resume()
{
    requireOpen();
    record(device_->resume());
    emit changed();
}

void MediaDevice::stop()
{
    requireOpen();
    record(device_->stop());
    emit changed();
}

void MediaDevice::next()
{
    requireOpen();
    record(device_->seekToEnd());
    uint32_t end = 0;
    device_->position(end);
    emit changed();
    emit positionSet(int(end));
}

void MediaDevice::previous()
{
    requireOpen();
    record(device_->seekToStart());
    emit changed();
    emit positionSet(0);
}

void MediaDevice::setTranspose(int semitones)
{
    requireOpen();
    if (!singer())
        throw ui::EMCIDeviceError("This device cannot change the key.");
    raiseRefusal(singer()->setTranspose(semitones));
}

void MediaDevice::setTempo(int percent)
{
    requireOpen();
    if (!singer())
        throw ui::EMCIDeviceError("This device cannot change the tempo.");
    raiseRefusal(singer()->setTempo(percent));
}

void MediaDevice::raiseRefusal(const mci::Result& result)
{
    record(result);
    if (!result.ok())
        throw ui::EMCIDeviceError(result.text.empty() ? std::string(kUnknownError) : result.text);
}

int MediaDevice::position()
{
    if (!device_)
        return 0;
    uint32_t pos = 0;
    const mci::Result r = device_->position(pos);
    record(r);
    return r.ok() ? static_cast<int>(pos) : 0;
}

void MediaDevice::setPosition(int position)
{
    requireOpen();
    record(device_->seek(static_cast<uint32_t>(std::max(position, 0))));
    emit changed();
    emit positionSet(std::max(position, 0));
}

int MediaDevice::length()
{
    requireOpen();
    uint32_t len = 0;
    const mci::Result r = device_->length(len);
    record(r);
    return r.ok() ? static_cast<int>(len) : 0;
}

TMPModes MediaDevice::mode()
{
    if (!device_)
        return TMPModes::mpNotReady;
    switch (device_->mode()) {
    case mci::Mode::NotReady:
        return TMPModes::mpNotReady;
    case mci::Mode::Stopped:
        return TMPModes::mpStopped;
    case mci::Mode::Playing:
        return TMPModes::mpPlaying;
    case mci::Mode::Paused:
        return TMPModes::mpPaused;
    case mci::Mode::Seeking:
        return TMPModes::mpSeeking;
    case mci::Mode::Open:
        return TMPModes::mpOpen;
    }
    return TMPModes::mpNotReady;
}

void MediaDevice::setTimeFormat(TMPTimeFormats format)
{
    if (!device_)
        return;
    mci::TimeFormat f = mci::TimeFormat::Default;
    if (format == TMPTimeFormats::tfMilliseconds)
        f = mci::TimeFormat::Milliseconds;
    else if (format == TMPTimeFormats::tfFrames)
        f = mci::TimeFormat::Frames;
    record(device_->setTimeFormat(f));
}

void MediaDevice::onStoppedByItself()
{
    emit changed();
    emit stoppedByItself();
}

void MediaDevice::onReady(const mci::Result& result)
{
    record(result);
    emit changed();
    emit ready(result.ok() ? QString()
                           : QString::fromStdString(result.text.empty() ? std::string(kUnknownError) : result.text));
}
