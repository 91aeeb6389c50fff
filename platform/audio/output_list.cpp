#include "platform/audio/output_list.h"

#include <algorithm>

namespace audio {

void OutputList::follow(std::function<void()> added)
{
    added_ = std::move(added);
    // Nothing reads SDL's event queue (the windows are Qt's): the filter
    // takes what it needs and queues nothing.
    SDL_SetEventFilter(&OutputList::filter, this);
}

// On SDL's thread, inside SDL's own lock of its lists; SDL's locks are
// recursive, so counting the list here is safe.
int SDLCALL OutputList::filter(void* self, SDL_Event* event)
{
    auto* list = static_cast<OutputList*>(self);
    if (event->type == SDL_AUDIODEVICEREMOVED && !event->adevice.iscapture) {
        // Never waits for a reader: that one drops the leftover itself.
        if (std::unique_lock reading(list->reading_, std::try_to_lock); reading.owns_lock())
            SDL_GetNumAudioDevices(0);
        else
            list->leftovers_ = true;
    } else if (event->type == SDL_AUDIODEVICEADDED && !event->adevice.iscapture && list->added_) {
        list->added_();
    }
    return 0;
}

void OutputList::dropLeftovers()
{
    if (leftovers_.exchange(false))
        SDL_GetNumAudioDevices(0);
}
std::vector<std::string> OutputList::names()
{
    std::lock_guard reading(reading_);
    std::vector<std::string> names;
    do {
        dropLeftovers();
        names.clear();
        const int count = SDL_GetNumAudioDevices(0);
        for (int i = 0; i < count; ++i)
            if (const char* name = SDL_GetAudioDeviceName(i, 0); name && *name)
                names.emplace_back(name);
    } while (leftovers_.load()); // read again without the one that went
    return names;
}

std::string OutputList::sdlName(const std::string& name)
{
    if (name.empty())
        return {};
    const std::vector<std::string> all = names();
    if (std::find(all.begin(), all.end(), name) != all.end())
        return name;
    // SDL numbers a namesake " (2)", " (3)"... after the name it still holds.
    const std::string prefix = name + " (";
    for (const std::string& listed : all)
        if (listed.size() > prefix.size() + 1 && listed.compare(0, prefix.size(), prefix) == 0 && listed.back() == ')'
            && std::all_of(
                listed.begin() + long(prefix.size()), listed.end() - 1, [](char c) { return c >= '0' && c <= '9'; }))
            return listed;
    return {};
}

} // namespace audio
