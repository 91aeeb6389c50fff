#include "fuzz/exercises.h"

#include "platform/profile/profile.h"

#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace fuzzing {

namespace {

std::string_view trimmed(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// What a read gives back for a value written as VALUE.
std::string readBack(std::string_view value)
{
    value = trimmed(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

bool writeRaw(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, data, size) == static_cast<ssize_t>(size);
    ::close(fd);
    return ok;
}

std::string readRaw(const std::string& path)
{
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char buffer[4096];
    for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<size_t>(n));
    if (fd >= 0)
        ::close(fd);
    return out;
}

} // namespace

// The input's first three bytes give the lengths of a section, a key and a
// value taken from what follows; the rest is the file.
std::string exerciseProfile(const std::string& folder, const uint8_t* data, size_t size)
{
    if (size < 3)
        return {};
    const size_t lengths[3] = {data[0] % 16u, data[1] % 16u, data[2] % 48u};
    size_t at = 3;
    std::string parts[3];
    for (int i = 0; i < 3; ++i) {
        const size_t n = std::min(lengths[i], size - at);
        parts[i].assign(reinterpret_cast<const char*>(data + at), n);
        at += n;
    }
    const std::string& section = parts[0];
    const std::string& key = parts[1];
    const std::string& value = parts[2];
    const std::string file = folder + "/fuzz.ini";
    if (!writeRaw(file, data + at, size - at))
        return "cannot write the input file";

    const std::string before = profile::getString(file, section, key, "<none>", 64);
    if (before.size() > 63)
        return "a read returned more than the buffer holds";
    if (!profile::writeString(file, section, key, value))
        return {}; // refused: names or values that would break the file
    const std::string written = readRaw(file);
    const std::string after = profile::getString(file, section, key, "<none>", 4096);
    if (after != readBack(value))
        return "wrote \"" + value + "\" to [" + section + "] " + key + " and read back \"" + after + "\"";
    if (!profile::writeString(file, section, key, value) || readRaw(file) != written)
        return "writing the value it already holds changed the file";
    return {};
}

} // namespace fuzzing
