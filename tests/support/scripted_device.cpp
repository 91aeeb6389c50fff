#include "tests/support/scripted_device.h"

#include <algorithm>

namespace testing_support {

namespace {

const char* typeName(mci::DeviceType type)
{
    switch (type) {
    case mci::DeviceType::Sequencer:
        return "sequencer";
    case mci::DeviceType::WaveAudio:
        return "waveaudio";
    case mci::DeviceType::AviVideo:
        return "avivideo";
    case mci::DeviceType::AutoSelect:
        return "autoselect";
    }
    return "?";
}

const mci::DeviceType kTypes[] = {mci::DeviceType::Sequencer, mci::DeviceType::WaveAudio, mci::DeviceType::AviVideo};

} // namespace

ScriptedMedia::ScriptedMedia()
{
    for (mci::DeviceType type : kTypes) {
        saved_[type] = mci::setFactory(
            type, [this, type](const multimedia::Choices&) { return std::make_unique<ScriptedDevice>(*this, type); });
        savedCheckers_[type] = mci::setChecker(type, [this](const std::string& file) {
            return files_.count(file) ? mci::Result::success()
                                      : mci::Result::failure(mci::ErrInvalidFile, "scripted refusal");
        });
    }
}

ScriptedMedia::~ScriptedMedia()
{
    for (auto& [type, factory] : saved_)
        mci::setFactory(type, factory);
    for (auto& [type, checker] : savedCheckers_)
        mci::setChecker(type, checker);
}

void ScriptedMedia::add(const std::string& path, uint32_t lengthMs)
{
    files_[path] = lengthMs;
}

std::string ScriptedMedia::joinedLog() const
{
    std::string out;
    for (const auto& line : log)
        out += (out.empty() ? "" : "; ") + line;
    return out;
}

void ScriptedMedia::finish()
{
    if (current_) {
        current_->positionMs = current_->lengthMs;
        current_->state = mci::Mode::Stopped;
    }
}

void ScriptedMedia::endByItself()
{
    finish();
    if (current_ && current_->notify_)
        current_->notify_();
}

void ScriptedMedia::setPosition(uint32_t ms)
{
    if (current_)
        current_->positionMs = std::min(ms, current_->lengthMs);
}

ScriptedDevice::ScriptedDevice(ScriptedMedia& media, mci::DeviceType t) : type(t), media_(media)
{
}

ScriptedDevice::~ScriptedDevice()
{
    if (media_.current_ == this)
        media_.current_ = nullptr;
}

mci::Result ScriptedDevice::open(const std::string& file)
{
    media_.log.push_back(std::string("open ") + typeName(type) + (file.empty() ? "" : " " + file));
    if (!file.empty()) {
        const auto it = media_.files_.find(file);
        if (it == media_.files_.end())
            return mci::Result::failure(mci::ErrInvalidFile, "scripted refusal");
        lengthMs = it->second;
    }
    path = file;
    media_.current_ = this;
    return {};
}

void ScriptedDevice::close()
{
    media_.log.push_back("close");
    if (media_.current_ == this)
        media_.current_ = nullptr;
}

std::shared_ptr<const mci::SongParts> ScriptedDevice::parts()
{
    const auto it = media_.parts_.find(path);
    return it == media_.parts_.end() ? nullptr : it->second;
}

void ScriptedDevice::setChannels(uint16_t silenced, uint16_t quiet)
{
    media_.log.push_back("channels " + std::to_string(silenced) + " " + std::to_string(quiet));
}

std::array<uint8_t, 16> ScriptedDevice::levels()
{
    return metering ? media_.levels : std::array<uint8_t, 16> {};
}

mci::Result ScriptedDevice::logged(const char* what, int value)
{
    media_.log.push_back(std::string(what) + " " + std::to_string(value));
    return {};
}

mci::Result ScriptedDevice::play()
{
    media_.log.push_back("play");
    state = mci::Mode::Playing;
    return {};
}

mci::Result ScriptedDevice::pause()
{
    media_.log.push_back("pause");
    if (state == mci::Mode::Playing)
        state = mci::Mode::Paused;
    return {};
}

mci::Result ScriptedDevice::resume()
{
    media_.log.push_back("resume");
    if (state == mci::Mode::Paused)
        state = mci::Mode::Playing;
    return {};
}

mci::Result ScriptedDevice::stop()
{
    media_.log.push_back("stop");
    state = mci::Mode::Stopped;
    return {};
}

mci::Result ScriptedDevice::seek(uint32_t to)
{
    media_.log.push_back("seek " + std::to_string(to));
    positionMs = std::min(to, lengthMs);
    state = mci::Mode::Stopped;
    return {};
}

mci::Result ScriptedDevice::seekToStart()
{
    return seek(0);
}

mci::Result ScriptedDevice::seekToEnd()
{
    return seek(lengthMs);
}

mci::Result ScriptedDevice::setTimeFormat(mci::TimeFormat format)
{
    media_.log.push_back(format == mci::TimeFormat::Milliseconds ? "time ms" : "time other");
    return {};
}

mci::Result ScriptedDevice::length(uint32_t& out)
{
    out = lengthMs;
    return {};
}

mci::Result ScriptedDevice::position(uint32_t& out)
{
    out = positionMs;
    return {};
}

mci::Mode ScriptedDevice::mode()
{
    return state;
}

void ScriptedDevice::setEndNotify(std::function<void()> notify)
{
    notify_ = std::move(notify);
}

mci::TrackText ScriptedDevice::text()
{
    const auto it = media_.texts_.find(path);
    return it == media_.texts_.end() ? mci::TrackText {} : it->second;
}

} // namespace testing_support
