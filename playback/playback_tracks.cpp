// The session's tracks: the folder's entries as the browser lists them, the
// selected one, and the devices they need made ready ahead.
#include "playback/playback_session.h"

#include "core/media_kinds.h"
#include "platform/multimedia/choices.h"

#include <set>

namespace {

// Long enough for the window to be drawn before a device's preparation
// competes with it for the processor.
const int kPrepareDelay = 300;

QString joined(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

void PlaybackSession::setTracks(const QString& folder, const QStringList& names)
{
    folder_ = folder;
    names_ = names;
    if (selected_ >= names_.size())
        selected_ = -1;
    emit tracksChanged();
}

void PlaybackSession::select(int index)
{
    if (index < 0)
        index = -1;
    if (index == selected_ || index >= names_.size())
        return;
    selected_ = index;
    emit selectionChanged(selected_);
}

QString PlaybackSession::selectedFile() const
{
    return entryFile(selected_);
}

QString PlaybackSession::entryFile(int index) const
{
    return index < 0 || index >= names_.size() ? QString() : joined(folder_, names_.at(index));
}

void PlaybackSession::prepareDevicesForTracks()
{
    // Only a folder that holds songs loads the synthesizer: a player that
    // never plays one does not carry its soundfont.
    std::set<mci::DeviceType> types;
    for (const QString& name : names_)
        if (const media_kinds::Kind* kind = media_kinds::kindOf(name))
            types.insert(media_kinds::resolvedDevice(media_kinds::askedDevice(kind), name));
    if (!types.empty())
        QTimer::singleShot(kPrepareDelay, this, [this, types] {
            const multimedia::Choices chosen = choices();
            for (mci::DeviceType type : types)
                mci::prepareDevice(type, chosen);
        });
}

void PlaybackSession::matchSelectionToTitle()
{
    for (int i = 0; i < names_.size(); ++i)
        if (names_.at(i) == track_.title)
            select(i);
}
