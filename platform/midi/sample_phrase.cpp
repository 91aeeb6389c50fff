#include "platform/midi/sample_phrase.h"

#include "platform/midi/player.h"

#include <string>

namespace midi {

namespace {

void putVarLen(std::string& out, uint32_t value)
{
    std::string bytes(1, char(value & 0x7F));
    while (value >>= 7)
        bytes.insert(bytes.begin(), char(0x80 | (value & 0x7F)));
    out += bytes;
}

void event(std::string& track, uint32_t delta, std::initializer_list<int> bytes)
{
    putVarLen(track, delta);
    for (int b : bytes)
        track += char(b);
}

std::string be32(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

} // namespace

std::shared_ptr<const Song> samplePhrase()
{
    constexpr uint32_t beat = 96; // ticks per quarter at the default 120 bpm: 500 ms
    std::string track;
    event(track, 0, {0xB0, 121, 0});  // controllers to their defaults
    event(track, 0, {0xB0, 7, 100});  // a volume that is heard but does not startle
    event(track, 0, {0xC0, 0});       // acoustic grand piano
    const int notes[] = {60, 64, 67, 72};
    for (int note : notes) {
        event(track, 0, {0x90, note, 90});
        event(track, beat / 2, {0x80, note, 0});
    }
    for (int note : notes)
        event(track, 0, {0x90, note, 80});
    event(track, beat * 2, {0x80, notes[0], 0});
    for (int i = 1; i < 4; ++i)
        event(track, 0, {0x80, notes[i], 0});
    event(track, beat / 4, {0xFF, 0x2F, 0});

    std::string file = "MThd" + be32(6) + std::string{0, 0, 0, 1, 0, char(beat)};
    file += "MTrk" + be32(uint32_t(track.size())) + track;
    auto song = std::make_shared<Song>();
    std::string ignored; // the bytes above always parse
    parseSong({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, *song, ignored);
    return song;
}

std::shared_ptr<Player> playSamplePhrase(std::shared_ptr<Output> output)
{
    auto player = std::make_shared<Player>(samplePhrase(), std::move(output));
    player->play();
    return player;
}

} // namespace midi
