#include "platform/midi/soundfonts.h"

#include "platform/base/riff.h"

#include "platform/base/ascii.h"
#include "platform/base/xdg.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace midi {

namespace {

// Below the system's share folder. The alternatives link follows the
// administrator's choice among the General MIDI soundfonts installed; the
// files behind it serve where the link is missing.
constexpr const char* debianSoundfonts[] = {
    "sounds/sf2/default-GM.sf2",
    "sounds/sf2/FluidR3_GM.sf2",
    "sounds/sf2/TimGM6mb.sf2",
    "soundfonts/default.sf2",
};

// Deep enough for a collection sorted into folders, shallow enough that a
// folder of links pointing back up cannot keep the dialog waiting.
constexpr int maxDepth = 4;

bool readable(const std::string& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool soundfontExtension(const fs::path& path)
{
    const std::string ext = base::ascii::toLower(path.extension().string());
    return ext == ".sf2" || ext == ".sf3";
}

// The bank's name from the INFO list at the head of the file; the list is
// small, so only its first kilobytes are read.
std::string infoName(const char* text, size_t size)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    constexpr size_t at = 12;
    if (size < at + 12 || !base::riff::idIs(bytes + at, "LIST") || !base::riff::idIs(bytes + at + 8, "INFO"))
        return {};
    const size_t end = std::min(size, at + 8 + size_t(base::riff::le32(bytes + at + 4)));
    std::string name;
    base::riff::walk(base::riff::inMemory({bytes, size}), at + 12, end, {}, [&](base::riff::Chunk& chunk) {
        if (!chunk.is("INAM"))
            return true;
        name.assign(text + chunk.body, size_t(std::min<uint64_t>(chunk.size, end - chunk.body)));
        name = name.substr(0, name.find('\0'));
        std::replace_if(
            name.begin(), name.end(), [](char c) { return uint8_t(c) < 0x20; }, ' ');
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        return false;
    });
    return name;
}

struct Candidate {
    fs::path path;
    fs::path real; // the file it is, through every link
};

// The files in FOLDER and below that are named as soundfonts, in name order.
std::vector<Candidate> candidatesIn(const std::string& folder)
{
    std::error_code ec;
    std::vector<Candidate> candidates;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it.depth() >= maxDepth)
            it.disable_recursion_pending();
        std::error_code fileError;
        if (soundfontExtension(it->path()) && it->is_regular_file(fileError)) {
            fs::path real = fs::canonical(it->path(), fileError);
            if (!fileError)
                candidates.push_back({it->path(), std::move(real)});
        }
    }
    std::sort(
        candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) { return a.path < b.path; });
    return candidates;
}

// Which of CANDIDATES are listed: each file not SEEN before, once.
std::vector<bool> firstSeen(const std::vector<Candidate>& candidates, std::set<fs::path>& seen)
{
    // A file reached both as itself and through a link (default-GM.sf2)
    // is listed under its own name, which says which soundfont it is.
    std::vector<bool> listed(candidates.size());
    for (const bool links : {false, true}) {
        for (size_t i = 0; i < candidates.size(); ++i) {
            if ((candidates[i].path != candidates[i].real) == links)
                listed[i] = seen.insert(candidates[i].real).second;
        }
    }
    return listed;
}

} // namespace

std::vector<std::string> soundfontFolders()
{
    return {"/usr/share/sounds/sf2", "/usr/share/sounds/sf3", "/usr/share/soundfonts",
            base::xdg::dataHome() + "/soundfonts"};
}

std::string soundfontName(const std::string& path)
{
    // Non-blocking and regular files only: a FIFO dressed as a soundfont
    // must not hang the list.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st;
    char head[8192];
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        got = ::read(fd, head, sizeof head);
    ::close(fd);
    if (got < 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "sfbk", 4) != 0)
        return {};
    const std::string name = infoName(head, size_t(got));
    return name.empty() ? fs::path(path).filename().string() : name;
}

std::vector<SoundfontFile> findSoundfonts(const std::vector<std::string>& folders, const std::string& shownApart)
{
    std::vector<SoundfontFile> found;
    std::set<fs::path> seen;
    if (!shownApart.empty()) {
        std::error_code ec;
        if (fs::path real = fs::canonical(shownApart, ec); !ec)
            seen.insert(std::move(real));
    }
    for (const std::string& folder : folders) {
        const std::vector<Candidate> candidates = candidatesIn(folder);
        const std::vector<bool> listed = firstSeen(candidates, seen);
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (!listed[i])
                continue;
            if (std::string name = soundfontName(candidates[i].path.string()); !name.empty())
                found.push_back({candidates[i].path.string(), std::move(name)});
        }
    }
    return found;
}

std::string systemSoundfont(const std::string& share)
{
    for (const char* relative : debianSoundfonts)
        if (const std::string path = share + "/" + relative; readable(path))
            return path;
    return {};
}

std::string findSoundfont(const multimedia::Choices& choices, std::string& error)
{
    if (const std::string& named = choices.overrides.soundfont; !named.empty()) {
        if (readable(named))
            return named;
        error = "The soundfont " + named + " (" + multimedia::kSoundfontVariable + ") cannot be found.";
        return {};
    }
    if (const std::string& chosen = choices.soundfont; !chosen.empty()) {
        if (readable(chosen))
            return chosen;
        error = "The soundfont " + chosen + " cannot be found.";
        return {};
    }
    if (std::string path = systemSoundfont(); !path.empty())
        return path;
    error = "No soundfont for the MIDI synthesizer was found: install fluid-soundfont-gm (or another "
            "General MIDI soundfont) or choose one in the Multimedia Properties.";
    return {};
}

} // namespace midi
