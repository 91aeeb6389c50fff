#pragma once
// The track as the views show it, and the rules of the four ways one starts.
#include "platform/mci/singer.h"

#include <QString>

#include <memory>

// How the melody channel of a song with words sounds: as written, about
// 12 dB quieter, or not at all.
enum class MelodyGuide { Full, Quiet, Off };

// The open track: what the views show of it.
struct Track {
    QString file; // empty: none was ever started
    mci::DeviceType device = mci::DeviceType::AutoSelect; // the device it opened on
    QString title; // the window's: the file's name of the last track that started
    int lengthMs = 0;
    mci::TrackText text; // the song's own title and words, as its device found them
    // A song's words with their times, its channels and its melody, for the
    // singer's views; none for other media.
    std::shared_ptr<const mci::SongParts> song;
    bool showWords = true; // the user's choice when the track opened
    QString reason; // why the last start was refused; empty while it plays
    // The singer's: semitones the notes are moved by, and the tempo in % of
    // the song's own; a track starts as its song was kept, else at 0 and
    // 100. The length and the position stay in the song's own time at any
    // tempo.
    int transpose = 0;
    int tempo = 100;
    // A song's channels the user muted or soloed (bit C: channel C), and how
    // its melody sounds. A song kept none of these for starts at its own.
    uint16_t muted = 0;
    uint16_t soloed = 0;
    MelodyGuide guide = MelodyGuide::Full;
    // A passage the song plays over and over, in ms of the song's own time:
    // it loops once both are set (-1: not).
    int loopBegin = -1;
    int loopEnd = -1;

    // The channels that sound not at all, and those about 12 dB down.
    uint16_t silenced() const;
    uint16_t quiet() const;
    bool looping() const { return loopBegin >= 0 && loopEnd > loopBegin; }
    // Whether anything differs from the song as written.
    bool changed() const;
};

// A song of the night's queue, with the name of who sings it (may be empty).
struct QueuedSong {
    QString file;
    QString singer;
    quint64 id = 0; // the same for as long as it is queued, in this run
    bool operator==(const QueuedSong&) const = default;

    // The song by its file's name, without the extension.
    QString song() const;
    // "Anna – Hero", or the song alone when nobody is named.
    QString announced() const;
};

// What differs between the four ways a track starts; everything else is the
// same for all of them.
struct EntryRules {
    bool autoEnableOnFailure = false; // a refused file hands the buttons back to the device's state
    bool stopsAutoEnable = false; // the buttons no longer follow the state
    bool trimsTitle = false; // the title loses trailing blanks
    bool remembersTrack = false; // the file becomes the current track name
    bool showsInBrowser = false; // the browser moves to the file
    bool matchesSelection = false; // the list selects the entry named like the title
    bool startsTimer = false;
    bool acceptsDropsAfter = false; // drops were held back until the file started
    bool fromQueue = false; // at its end the folder goes on where it was
};

inline constexpr EntryRules kListClick {.autoEnableOnFailure = true,
    .stopsAutoEnable = true,
    .trimsTitle = true,
    .remembersTrack = true,
    .startsTimer = true};
inline constexpr EntryRules kAdvance {.autoEnableOnFailure = true, .trimsTitle = true, .remembersTrack = true};
inline constexpr EntryRules kCommandLine {.matchesSelection = true, .startsTimer = true, .acceptsDropsAfter = true};
inline constexpr EntryRules kQueued {.autoEnableOnFailure = true, .trimsTitle = true, .fromQueue = true};
inline constexpr EntryRules kDrop {
    .autoEnableOnFailure = true, .showsInBrowser = true, .matchesSelection = true, .startsTimer = true};

enum class ResetChoice { None, GM, GS };
