#include "platform/midi/smf.h"

#include "tests/support/fifo.h"
#include "tests/support/smf_builder.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <random>

using namespace smf_builder;

namespace {

midi::Song parse(const std::string& file)
{
    midi::Song song;
    std::string error;
    const bool ok = midi::parseSong({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, song, error);
    EXPECT_TRUE(ok) << error;
    return song;
}

std::string refusal(const std::string& file)
{
    midi::Song song;
    std::string error;
    const bool ok = midi::parseSong({reinterpret_cast<const uint8_t*>(file.data()), file.size()}, song, error);
    EXPECT_FALSE(ok);
    return error;
}

std::vector<uint32_t> words(const midi::Song& song, size_t track = 0)
{
    std::vector<uint32_t> out;
    const midi::Track& t = song.tracks.at(track);
    for (uint32_t i = 0; i < t.count; ++i)
        out.push_back(song.events[t.first + i].word);
    return out;
}

Track notes(uint32_t length)
{
    return std::move(Track().ev(0, {0x90, 60, 100}).ev(length, {0x80, 60, 0}).end());
}

} // namespace

TEST(SmfLength, FollowsTempoChangesFromAnyTrack)
{
    // 2 quarters at 500 ms, then 2 at 250 ms.
    EXPECT_EQ(parse(file(0, 96, {Track().ev(0, {0x90, 60, 100}).tempo(192, 250000).ev(192, {0x80, 60, 0}).end()}))
                  .lengthMs(),
              1500u);
    // The tempo track ends early; a tempo change in the last track still counts
    // for all of them, and the longest track gives the length.
    const midi::Song song = parse(file(1, 96,
                                       {Track().tempo(0, 600000).end(96), notes(96),
                                        Track().tempo(192, 300000).ev(0, {0x91, 64, 1}).ev(192, {0x81, 64, 0}).end()}));
    EXPECT_EQ(song.tracks.size(), 3u);
    EXPECT_EQ(song.endTick, 384u);
    EXPECT_EQ(song.lengthMs(), 2 * 600 + 2 * 300u);
}

TEST(SmfLength, CountsTheEndOfTrackAndIsExact)
{
    // The end of track's own delta counts.
    EXPECT_EQ(parse(file(0, 96, {Track().ev(0, {0x90, 60, 100}).ev(96, {0x80, 60, 0}).end(96)})).lengthMs(), 1000u);

    // A third of a microsecond per tick, and a tempo change on every tick:
    // nothing may be rounded on the way.
    Track t;
    for (int i = 0; i < 3000; ++i)
        t.tempo(i == 0 ? 0 : 1, 1000);
    const midi::Song song = parse(file(0, 3, {t.end(1)}));
    EXPECT_EQ(song.lengthMicros, 1000000u);
    EXPECT_EQ(song.tempo.micros(1), 333u);
    EXPECT_EQ(song.tempo.micros(2), 666u);
}

TEST(SmfLength, SmpteDivisionIgnoresTempo)
{
    // 25 frames of 40 ticks: a millisecond per tick.
    EXPECT_EQ(parse(file(0, 0xE728, {Track().tempo(0, 250000).ev(0, {0x90, 60, 1}).end(2500)})).lengthMs(), 2500u);
    // 30-frame drop-frame runs at 29.97 frames a second.
    EXPECT_EQ(parse(file(0, 0xE364, {Track().end(30000)})).lengthMicros, 10010000u);
}

TEST(SmfTempoMap, TickForTimeIsTheInverseOfTimeForTick)
{
    const midi::Song song = parse(file(
        0, 480, {Track().tempo(0, 500000).tempo(700, 123457).tempo(1, 999999).tempo(5000, 60000).end(100000)}));
    std::mt19937 rng(7);
    std::uniform_int_distribution<uint32_t> ticks(0, 110000);
    for (int i = 0; i < 2000; ++i) {
        const uint32_t tick = ticks(rng);
        const uint64_t us = song.tempo.micros(tick);
        const uint32_t first = song.tempo.firstTickAtOrAfter(us);
        ASSERT_LE(first, tick);
        ASSERT_EQ(song.tempo.micros(first), us) << tick;
        if (first > 0) {
            ASSERT_LT(song.tempo.micros(first - 1), us);
        }
    }
}

TEST(SmfEvents, RunningStatusAlsoAcrossMetaEvents)
{
    const midi::Song song = parse(file(0, 96,
                                       {Track()
                                            .ev(0, {0x90, 60, 100})
                                            .ev(10, {62, 90})         // running note-on
                                            .ev(0, {0xFF, 0x01, 0x01, 'x'})
                                            .ev(10, {60, 0})          // still note-on, after a text event
                                            .ev(0, {0xC3, 5})
                                            .ev(0, {7})               // running program change: one data byte
                                            .ev(0, {0xE1, 0x00, 0x40})
                                            .end()}));
    EXPECT_EQ(words(song), (std::vector<uint32_t>{0x643C90, 0x5A3E90, 0x003C90, 0x05C3, 0x07C3, 0x4000E1}));
    EXPECT_EQ(song.events[2].tick, 20u);
}

TEST(SmfEvents, SysexPacketsKeptInOrderAsSent)
{
    const midi::Song song = parse(file(0, 96,
                                       {Track()
                                            .sysex(0, 0xF0, bytes({0x43, 0x12, 0x00}))           // first piece
                                            .sysex(5, 0xF7, bytes({0x43, 0x12, 0x00, 0xF7}))     // continuation
                                            .sysex(0, 0xF7, bytes({0x90, 0x40, 0x10}))           // escaped message
                                            .sysex(0, 0xF0, bytes({0x7E, 0x7F, 0x09, 0x01, 0xF7}))
                                            .sysex(0, 0xF7, "")                                  // empty: dropped
                                            .end()}));
    ASSERT_EQ(song.events.size(), 4u);
    std::vector<std::string> packets;
    for (const midi::Event& e : song.events) {
        ASSERT_TRUE(e.isSysex());
        const auto p = song.sysex(e.sysexIndex());
        packets.emplace_back(p.begin(), p.end());
    }
    EXPECT_EQ(packets, (std::vector<std::string>{bytes({0xF0, 0x43, 0x12, 0x00}), bytes({0x43, 0x12, 0x00, 0xF7}),
                                                 bytes({0x90, 0x40, 0x10}), bytes({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7})}));
    EXPECT_EQ(song.events[1].tick, 5u);
}

TEST(SmfRmi, UnwrapsTheDataChunk)
{
    const std::string smf = file(1, 96, {notes(96), notes(192)});
    const midi::Song plain = parse(smf);
    // An odd-sized chunk before the data, padded; the RIFF size is wrong.
    std::string rmi = riff({{"LIST", "INFOabc"}, {"data", smf}, {"DISP", "xy"}});
    rmi.replace(4, 4, le32(3));
    const midi::Song wrapped = parse(rmi);
    EXPECT_EQ(wrapped.lengthMs(), plain.lengthMs());
    EXPECT_EQ(words(wrapped, 1), words(plain, 1));

    // The pad byte left out.
    std::string unpadded = "RIFF" + le32(0) + "RMID" + "LIST" + le32(3) + "abc" + "data" + le32(uint32_t(smf.size())) + smf;
    EXPECT_EQ(parse(unpadded).lengthMs(), plain.lengthMs());
    // A data chunk cut short by the end of the file gives what is there.
    std::string cut = riff({{"data", smf}});
    cut.resize(cut.size() - 4); // the second track loses its end of track
    EXPECT_EQ(parse(cut).tracks.size(), 2u);

    EXPECT_NE(refusal(riff({{"LIST", "INFO"}})).find("no MIDI data"), std::string::npos);
    EXPECT_NE(refusal("RIFF" + le32(4) + "WAVEfmt ").find("RIFF"), std::string::npos);
}

TEST(SmfBroken, WrongTrackLengthsAreRepaired)
{
    const Track a = notes(96);
    const Track b = Track().ev(0, {0x91, 50, 1}).ev(480, {0x81, 50, 0}).end();
    const std::string head = header(1, 2, 96);

    // Too long, past the end of the file.
    EXPECT_EQ(parse(head + a.chunk() + b.chunk(1000)).lengthMs(), 2500u);
    // Too long, running into the next track.
    midi::Song song = parse(head + a.chunk(int64_t(a.data().size()) + 6) + b.chunk());
    ASSERT_EQ(song.tracks.size(), 2u);
    EXPECT_EQ(song.lengthMs(), 2500u);
    EXPECT_EQ(words(song, 0), words(parse(file(0, 96, {a})), 0));
    // Too short: the track goes on to its end of track.
    song = parse(head + a.chunk(3) + b.chunk());
    ASSERT_EQ(song.tracks.size(), 2u);
    EXPECT_EQ(song.tracks[0].count, 2u);
    EXPECT_EQ(song.lengthMs(), 2500u);
}

TEST(SmfBroken, MissingEndsTrailingBytesAndExtraTracks)
{
    // No end of track: the last event ends the track.
    EXPECT_EQ(parse(file(0, 96, {Track().ev(0, {0x90, 60, 1}).ev(192, {0x80, 60, 0})})).lengthMs(), 1000u);
    // No end of track and stray bytes after it: they are not read as events.
    midi::Song song = parse(file(0, 96, {Track().ev(0, {0x90, 60, 1}).ev(192, {0x80, 60, 0})}) + bytes({0, 0, 0x40}));
    EXPECT_EQ(song.events.size(), 2u);
    EXPECT_EQ(song.lengthMs(), 1000u);
    // Trailing bytes after a complete file.
    EXPECT_EQ(parse(file(0, 96, {notes(96)}) + std::string(5, '\0') + "garbage").events.size(), 2u);
    // More track chunks than the header counts, and a chunk of another kind.
    song = parse(header(0, 1, 96) + notes(96).chunk() + "XFIH" + be32(2) + "ab" + notes(960).chunk());
    EXPECT_EQ(song.tracks.size(), 2u);
    EXPECT_EQ(song.lengthMs(), 5000u);
    // A header longer than six bytes.
    std::string longHeader = "MThd" + be32(8) + bytes({0, 0, 0, 1, 0, 96, 0xAA, 0xBB}) + notes(96).chunk();
    EXPECT_EQ(parse(longHeader).lengthMs(), 500u);
    // An event cut off: what came before stays.
    song = parse(header(0, 1, 96) + Track().ev(0, {0x90, 60, 1}).ev(96, {0x80, 60, 0}).ev(0, {0x90, 61}).chunk());
    EXPECT_EQ(song.events.size(), 2u);
    // Fewer tracks than the header says.
    EXPECT_EQ(parse(header(1, 5, 96) + notes(96).chunk()).tracks.size(), 1u);
}

TEST(SmfRefusals, ClearTexts)
{
    EXPECT_NE(refusal("").find("not a MIDI file"), std::string::npos);
    EXPECT_NE(refusal("MTrk" + be32(0)).find("not a MIDI file"), std::string::npos);
    EXPECT_NE(refusal("MThd" + be32(6) + bytes({0, 0})).find("cut short"), std::string::npos);
    EXPECT_NE(refusal("MThd" + be32(2) + bytes({0, 0, 0, 1, 0, 96}) + notes(1).chunk()).find("cut short"),
              std::string::npos);
    EXPECT_NE(refusal(header(0, 1, 96)).find("no track"), std::string::npos);
    EXPECT_NE(refusal(header(0, 1, 96) + "JUNK" + be32(2) + "ab").find("no track"), std::string::npos);
    EXPECT_NE(refusal(file(2, 96, {notes(1)})).find("format 2"), std::string::npos);
    EXPECT_NE(refusal(file(7, 96, {notes(1)})).find("unknown format"), std::string::npos);
    EXPECT_NE(refusal(file(0, 0, {notes(1)})).find("time division"), std::string::npos);
    EXPECT_NE(refusal(file(0, 0xE700, {notes(1)})).find("time division"), std::string::npos);
}

TEST(SmfRefusals, StatedSizesDoNotDriveAllocations)
{
    // Four gigabytes of track and 65535 tracks promised, a few bytes given.
    const std::string f = header(1, 0xFFFF, 96) + "MTrk" + be32(0xFFFFFFFF) + bytes({0, 0xF0, 0x8F, 0xFF, 0xFF, 0x7F});
    midi::Song song;
    std::string error;
    midi::parseSong({reinterpret_cast<const uint8_t*>(f.data()), f.size()}, song, error);
    EXPECT_LT(song.memoryBytes(), 1024u);
    EXPECT_LE(song.tracks.size(), 1u);
}

TEST(SmfLoad, FileErrors)
{
    testing_support::TempDir dir;
    midi::Song song;
    std::string error;
    EXPECT_EQ(midi::loadSong((dir / "missing.mid").string(), song, error), midi::LoadError::NotFound);
    EXPECT_NE(error.find("missing.mid"), std::string::npos);
    EXPECT_EQ(midi::loadSong(dir.str(), song, error), midi::LoadError::Unreadable);
    const auto fifo = testing_support::makeFifo((dir / "pipe.mid").string());
    EXPECT_TRUE(testing_support::returnsWithoutWaitingOn(fifo, [&] {
        EXPECT_EQ(midi::loadSong(fifo, song, error), midi::LoadError::Unreadable);
    }));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_EQ(midi::loadSong(dir.write("bad.mid", "hello"), song, error), midi::LoadError::Invalid);
    EXPECT_EQ(midi::loadSong(dir.write("gs.mid", gsResetFile()), song, error), midi::LoadError::None);
    EXPECT_EQ(song.lengthMs(), 0u);
    ASSERT_EQ(song.events.size(), 1u);
    EXPECT_EQ(song.sysex(0).size(), 11u);
}
