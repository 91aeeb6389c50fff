// The session's singer's commands: the key, the tempo, a song's channels and
// its melody, each kept for the song by its content.
#include "playback/playback_session.h"

#include "platform/memory/song_memory.h"

#include "platform/midi/melody.h"
#include "platform/midi/output.h"
#include "platform/midi/singer_bounds.h"

#include <algorithm>
#include <charconv>
#include <sstream>
#include <string_view>

namespace {

constexpr uint16_t bit(int channel)
{
    return uint16_t(1u << channel);
}

// What a song keeps, as its memory holds it: "key=-2 tempo=90 muted=16
// soloed=0 guide=1". A value out of bounds, from a damaged or a later
// player's memory, is left as the song has it.
std::string kept(const Track& t)
{
    std::ostringstream out;
    out << "key=" << t.transpose << " tempo=" << t.tempo << " muted=" << t.muted << " soloed=" << t.soloed
        << " guide=" << int(t.guide);
    if (t.looping())
        out << " loop=" << t.loopBegin << "-" << t.loopEnd;
    return out.str();
}

// "B-E", two times in ms with the first before the second.
bool takeLoop(std::string_view text, Track& t)
{
    const size_t dash = text.find('-');
    int begin = 0, end = 0;
    const char* last = text.data() + text.size();
    if (dash == std::string_view::npos)
        return false;
    if (auto [at, error] = std::from_chars(text.data(), text.data() + dash, begin);
        error != std::errc() || at != text.data() + dash)
        return false;
    if (auto [at, error] = std::from_chars(text.data() + dash + 1, last, end); error != std::errc() || at != last)
        return false;
    if (begin < 0 || end <= begin)
        return false;
    t.loopBegin = begin;
    t.loopEnd = end;
    return true;
}

void takeKept(const std::string& text, Track& t)
{
    std::istringstream in(text);
    for (std::string field; in >> field;) {
        const size_t equals = field.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string name = field.substr(0, equals);
        if (name == "loop") {
            takeLoop(std::string_view(field).substr(equals + 1), t);
            continue;
        }
        int value = 0;
        const char* first = field.data() + equals + 1;
        const char* last = field.data() + field.size();
        if (auto [end, error] = std::from_chars(first, last, value); error != std::errc() || end != last)
            continue;
        if (name == "key" && midi::keyInBounds(value))
            t.transpose = value;
        else if (name == "tempo" && midi::tempoInBounds(value))
            t.tempo = value;
        else if (name == "muted" && value >= 0 && value <= 0xFFFF)
            t.muted = uint16_t(value);
        else if (name == "soloed" && value >= 0 && value <= 0xFFFF)
            t.soloed = uint16_t(value);
        else if (name == "guide" && value >= 0 && value <= int(MelodyGuide::Off))
            t.guide = MelodyGuide(value);
    }
}

} // namespace

uint16_t Track::silenced() const
{
    uint16_t silent = muted;
    if (soloed != 0)
        silent |= uint16_t(~soloed);
    if (guide == MelodyGuide::Off && song && song->melody >= 0)
        silent |= bit(song->melody);
    return silent;
}

uint16_t Track::quiet() const
{
    return guide == MelodyGuide::Quiet && song && song->melody >= 0 ? bit(song->melody) : 0;
}

bool Track::changed() const
{
    return transpose != 0 || tempo != 100 || muted != 0 || soloed != 0 || guide != MelodyGuide::Full || looping();
}

bool PlaybackSession::setTranspose(int semitones)
{
    return singerCommand(&MediaDevice::setTranspose, semitones, &Track::transpose);
}

bool PlaybackSession::setTempo(int percent)
{
    return singerCommand(&MediaDevice::setTempo, percent, &Track::tempo);
}

// The device takes VALUE, and the track shows it once taken.
bool PlaybackSession::singerCommand(void (MediaDevice::*set)(int), int value, int Track::*shown)
{
    if (!hasTrack() || !attempt([&] { (device_.*set)(value); }))
        return false;
    track_.*shown = value;
    keepSong();
    emit trackChanged();
    return true;
}

bool PlaybackSession::setMuted(int channel, bool on)
{
    return channelCommand([&] {
        if (channel >= 0 && channel < 16)
            track_.muted = on ? track_.muted | bit(channel) : track_.muted & ~bit(channel);
    });
}

bool PlaybackSession::setSoloed(int channel, bool on)
{
    return channelCommand([&] {
        if (channel >= 0 && channel < 16)
            track_.soloed = on ? track_.soloed | bit(channel) : track_.soloed & ~bit(channel);
    });
}

bool PlaybackSession::setMelodyGuide(MelodyGuide guide)
{
    return channelCommand([&] { track_.guide = guide; });
}

// CHANGE made to the track, then the song's channels sound as it says.
bool PlaybackSession::channelCommand(const std::function<void()>& change)
{
    mci::Singer* singer = device_.singer();
    if (!hasTrack() || !singer || !track_.song) {
        fail(QStringLiteral("This track has no channels to change."));
        return false;
    }
    change();
    singer->setChannels(track_.silenced(), track_.quiet());
    keepSong();
    emit trackChanged();
    return true;
}

bool PlaybackSession::loopStartHere()
{
    const int here = int(positionMicros() / 1000);
    return loopCommand(here, track_.loopEnd > here ? track_.loopEnd : -1);
}

bool PlaybackSession::loopEndHere()
{
    const int here = int(positionMicros() / 1000);
    const int begin = std::max(track_.loopBegin, 0);
    if (here <= begin) {
        fail(QStringLiteral("The loop's end must come after its start."));
        return false;
    }
    return loopCommand(begin, here);
}

bool PlaybackSession::loopOff()
{
    return loopCommand(-1, -1);
}

// The loop from BEGIN to END (ms; -1: none), then the song plays it.
bool PlaybackSession::loopCommand(int begin, int end)
{
    mci::Singer* singer = device_.singer();
    if (!hasTrack() || !singer || !track_.song) {
        fail(QStringLiteral("Only a song can loop a passage."));
        return false;
    }
    track_.loopBegin = begin;
    track_.loopEnd = end;
    if (track_.looping())
        singer->setLoop(uint64_t(begin) * 1000, uint64_t(end) * 1000);
    else
        singer->clearLoop();
    keepSong();
    emit trackChanged();
    return true;
}

bool PlaybackSession::fitKeyToVoice(int lowest, int highest)
{
    const mci::SongParts* song = track_.song.get();
    if (!hasTrack() || !song || song->melody < 0) {
        fail(QStringLiteral("No melody was found in this song to fit to a voice."));
        return false;
    }
    for (const midi::ChannelUse& channel : song->channels)
        if (channel.channel == song->melody)
            return setTranspose(midi::keyForVoice(channel.lowest, channel.highest, lowest, highest));
    return false;
}

bool PlaybackSession::forgetSong()
{
    if (!hasTrack() || !track_.song)
        return false;
    const Batch batch(*this);
    Track own = track_;
    own.transpose = 0;
    own.tempo = 100;
    own.muted = own.soloed = 0;
    own.guide = MelodyGuide::Full;
    own.loopBegin = own.loopEnd = -1;
    applySinger(own);
    if (memory_ && !track_.song->digest.empty())
        memory_->forget(track_.song->digest);
    emit trackChanged();
    return true;
}

bool PlaybackSession::backingTrack(
    std::shared_ptr<const midi::Song>& song, midi::WaveRender& render, QString& reason) const
{
    if (!hasTrack() || !track_.song || !track_.song->song) {
        reason = QStringLiteral("Only a song can be saved as a wave file.");
        return false;
    }
    std::string error;
    render = {};
    render.soundfont = midi::synthSoundfont(choices(), error);
    if (render.soundfont.empty()) {
        reason = QString::fromStdString(error);
        return false;
    }
    render.transpose = track_.transpose;
    render.tempo = track_.tempo;
    render.silenced = track_.silenced();
    render.quiet = track_.quiet();
    song = track_.song->song;
    return true;
}

void PlaybackSession::setMetering(bool on)
{
    metering_ = on;
    if (mci::Singer* singer = device_.singer())
        singer->setMetering(on);
}

std::array<uint8_t, 16> PlaybackSession::levels()
{
    mci::Singer* singer = device_.singer();
    return singer ? singer->levels() : std::array<uint8_t, 16> {};
}

// The song's parts, once its device has read them, and what was kept for
// it: set before it sounds, where it is read as it opens.
void PlaybackSession::takeSong()
{
    mci::Singer* singer = device_.singer();
    std::shared_ptr<const mci::SongParts> parts = singer ? singer->parts() : nullptr;
    if (parts == track_.song)
        return;
    track_.song = std::move(parts);
    if (singer && metering_)
        singer->setMetering(true);
    if (!track_.song || track_.song->digest.empty() || !memory_)
        return;
    if (const std::optional<std::string> text = memory_->recall(track_.song->digest)) {
        Track keptTrack = track_;
        takeKept(*text, keptTrack);
        applySinger(keptTrack);
    }
}

// The device takes WANTED's key, tempo and channels; the track shows what
// it took.
void PlaybackSession::applySinger(const Track& wanted)
{
    mci::Singer* singer = device_.singer();
    if (!singer)
        return;
    if (singer->setTranspose(wanted.transpose).ok())
        track_.transpose = wanted.transpose;
    if (singer->setTempo(wanted.tempo).ok())
        track_.tempo = wanted.tempo;
    track_.muted = wanted.muted;
    track_.soloed = wanted.soloed;
    track_.guide = wanted.guide;
    singer->setChannels(track_.silenced(), track_.quiet());
    track_.loopBegin = wanted.loopBegin;
    track_.loopEnd = wanted.loopEnd;
    if (track_.looping())
        singer->setLoop(uint64_t(track_.loopBegin) * 1000, uint64_t(track_.loopEnd) * 1000);
    else
        singer->clearLoop();
}

// Each change is kept for the song at once; a song back to its own is
// forgotten, so that it starts as written anywhere.
void PlaybackSession::keepSong()
{
    if (!memory_ || !track_.song || track_.song->digest.empty())
        return;
    if (track_.changed())
        memory_->remember(track_.song->digest, kept(track_));
    else
        memory_->forget(track_.song->digest);
}
