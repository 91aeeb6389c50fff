#include "platform/mci/mci.h"

#include <map>
#include <mutex>

namespace mci {

namespace {

std::mutex& tableMutex()
{
    static std::mutex m;
    return m;
}

std::map<DeviceType, Factory>& table()
{
    static std::map<DeviceType, Factory> t;
    return t;
}

std::map<DeviceType, Preparer>& preparers()
{
    static std::map<DeviceType, Preparer> t;
    return t;
}

std::map<DeviceType, Checker>& checkers()
{
    static std::map<DeviceType, Checker> t;
    return t;
}

Result noDeviceFor(const std::string& file)
{
    if (file.empty())
        return Result::failure(ErrInvalidDeviceName, errorText(ErrInvalidDeviceName));
    return Result::failure(ErrInvalidFile, "No media device plays files of this kind.");
}

} // namespace

std::string errorText(uint32_t code)
{
    switch (code) {
    case Ok: return {};
    case ErrInvalidDeviceId: return "Invalid device ID.";
    case ErrHardware: return "The device is not working.";
    case ErrInvalidDeviceName: return "The specified device is not open or is not recognized.";
    case ErrOutOfMemory: return "Not enough memory for the device.";
    case ErrCannotLoadDriver: return "The device driver could not be loaded.";
    case ErrUnsupportedFunction: return "The device does not support this command.";
    case ErrFileNotFound: return "Cannot find the specified file.";
    case ErrDeviceNotReady: return "The device is not ready.";
    case ErrInternal: return "An internal error occurred in the device.";
    case ErrOutOfRange: return "The specified value is out of range.";
    case ErrInvalidFile: return "The file is not in a format the device can play.";
    case ErrNoAudioDevice: return "No audio output device is available.";
    case ErrUnsupportedFormat: return "The device does not support this data format.";
    case ErrFileRead: return "The file could not be read.";
    default: return {};
    }
}

Factory setFactory(DeviceType type, Factory factory)
{
    std::lock_guard lock(tableMutex());
    Factory old = table()[type];
    table()[type] = std::move(factory);
    return old;
}

void setPreparer(DeviceType type, Preparer preparer)
{
    std::lock_guard lock(tableMutex());
    preparers()[type] = std::move(preparer);
}

void prepareDevice(DeviceType type, const multimedia::Choices& choices)
{
    Preparer prepare;
    {
        std::lock_guard lock(tableMutex());
        if (auto it = preparers().find(type); it != preparers().end())
            prepare = it->second;
    }
    if (prepare)
        prepare(choices);
}

Checker setChecker(DeviceType type, Checker checker)
{
    std::lock_guard lock(tableMutex());
    Checker old = checkers()[type];
    checkers()[type] = std::move(checker);
    return old;
}

Result checkFile(DeviceType type, const std::string& file)
{
    if (type == DeviceType::AutoSelect)
        return noDeviceFor(file);
    Checker check;
    {
        std::lock_guard lock(tableMutex());
        if (auto it = checkers().find(type); it != checkers().end())
            check = it->second;
    }
    if (!check)
        return Result::success();
    Result r = check(file);
    if (!r.ok() && r.text.empty())
        r.text = errorText(r.code);
    return r;
}

Result openDevice(
    DeviceType type, const std::string& file, const multimedia::Choices& choices, std::unique_ptr<Device>& out)
{
    out.reset();
    if (type == DeviceType::AutoSelect)
        return noDeviceFor(file);
    Factory make;
    {
        std::lock_guard lock(tableMutex());
        make = table()[type];
    }
    if (!make)
        return Result::failure(ErrCannotLoadDriver, errorText(ErrCannotLoadDriver));
    std::unique_ptr<Device> device = make(choices);
    if (!device)
        return Result::failure(ErrCannotLoadDriver, errorText(ErrCannotLoadDriver));
    Result r = device->open(file);
    if (!r.ok()) {
        if (r.text.empty())
            r.text = errorText(r.code);
        return r;
    }
    out = std::move(device);
    return r;
}

} // namespace mci
