#pragma once
// Playback as the user knows it, without a widget: the one device and the
// tick that follows it, the folder's tracks and the selected one, the track
// that plays and how it started, Auto-Advance with its rest after songs, and
// the GM/GS reset before each track from the list. The window's controls,
// the desktop and the tests all send it the same commands and show the one
// state and track it announces; nothing else reaches the device.
#include "platform/midi/wave_render.h"
#include "playback/media_device.h"
#include "playback/track.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace memory {
class SongMemory;
}
namespace multimedia {
struct Choices;
}

// What the session takes from the player around it; each may be left out
// (a test's session has no sound card and no stored choices).
struct SessionSetup {
    // The user's multimedia choices as they stand: read at every open, so a
    // choice takes effect from the next track on.
    std::function<multimedia::Choices()> choices {};
    // The gain of everything the player plays, 0 to 1.
    std::function<void(double volume)> setVolume {};
    // Why the sound output is gone for good; empty while it plays or may
    // yet come back. Asked at every tick while a track plays.
    std::function<std::string()> lostOutput {};
    // Where each song's key, tempo and channels are kept by its content;
    // empty: nothing is kept, every song starts as written.
    std::string songMemory {};
};

class PlaybackSession : public QObject {
    Q_OBJECT

public:
    enum class State {
        Empty, // no track yet; the device may be open without a file
        Refused, // the last start failed (track().reason says why): nothing is open, every command but a start fails
        Loading, // the track's file is still read: no length yet, the tick waits
        Stopped, // a track is open and still: stopped, at its end, or let go of
        Playing, // a track sounds and the tick follows its position
        Paused, // a track holds its place; play or pause goes on from there
        Resting, // a song ended: the next entry starts after 1.5 s unless a command comes first
    };
    Q_ENUM(State)

    explicit PlaybackSession(SessionSetup setup = {}, QObject* parent = nullptr);
    ~PlaybackSession() override;

    // --- What the views show. ---
    State state() const { return state_; }
    const Track& track() const { return track_; }
    // Where the open track stands, in milliseconds; 0 when nothing is open.
    int positionMs();
    // Where the open song stands as precisely as its sound, in microseconds
    // of its own time: what its words follow. 0 for other media.
    uint64_t positionMicros();
    // Whether a track is open for the commands that act on it.
    bool hasTrack() const;
    // The tick runs: the position is followed, and a track's end leads on.
    bool following() const { return timer_.isActive(); }
    bool autoAdvance() const { return autoAdvance_; }
    bool autoEnable() const { return autoEnable_; }
    ResetChoice reset() const { return reset_; }
    double volume() const { return volume_; }
    // The last file started from the list or by the advance.
    const QString& currentTrackName() const { return currentTrackName_; }
    // Holds the reset sequence files once GM or GS was chosen.
    const QString& windowsDirectory() const { return windowsDirectory_; }

    // --- The tracks: the folder's entries as the browser lists them. ---
    void setTracks(const QString& folder, const QStringList& names);
    // Selects entry INDEX; -1 selects none; an index past the last entry
    // changes nothing.
    void select(int index);
    int selectedIndex() const { return selected_; }
    // Folder + "/" + the selected entry; empty when none is selected.
    QString selectedFile() const;
    int trackCount() const { return int(names_.size()); }
    // The tracks' device types get ready in the background a moment after
    // the list was read, once the window is up.
    void prepareDevicesForTracks();

    // --- Starts. Each answers a rest after a song: the user's start wins. ---
    // The device of TYPE opens without a file, as the player starts; a
    // refusal leaves it closed and says nothing.
    void openDevice(mci::DeviceType type);
    // The list's entry INDEX, after the reset: what a click on it does.
    void playEntry(int index);
    // The file named on the command line plays, at every activation.
    void setCommandLine(const QStringList& arguments);
    void playCommandLineFile();
    // A drop whose first item is PATH, EXTENSION the text after the first
    // dot of its name: media files play.
    void playDropped(const QString& path, const QString& extension);
    // Files a later start or the desktop hands over: the first plays as if
    // dropped, and is the command-line file from now on.
    void handOver(const QStringList& paths);
    // The list's next (STEP 1) or previous (-1) file plays at once, as the
    // advance would start it but without the rest. False when there is no
    // such entry or it was refused.
    bool playNeighbour(int step);

    // --- The night's queue: songs to come, each with its singer. When a
    // track ends the first one follows, at the track's end or after the
    // rest after a song, whatever Auto-Advance says; once it is empty the
    // folder goes on where it was, as Auto-Advance would. It is kept with
    // the songs' memory, and an empty one changes nothing. ---
    const std::vector<QueuedSong>& queue() const { return queue_; }
    // Adds the media files among FILES at the end (or before entry AT), sung
    // by SINGER; the others are left out. How many were added.
    int enqueue(const QStringList& files, const QString& singer = {}, int at = -1);
    void nameSinger(int index, const QString& singer);
    // Entry FROM moves to be entry TO.
    void moveQueued(int from, int to);
    void removeQueued(int index);
    // Entry INDEX plays now, and leaves the queue.
    void playQueued(int index);
    // The entry of ID; -1 when none is queued.
    int queuedIndex(quint64 id) const;
    // What follows the open track: the queue's first entry, else the
    // folder's next while Auto-Advance is on. Empty when nothing does.
    QueuedSong upNext() const;

    // --- Commands on the open track. Each re-arms the tick; a refusal of
    // the device is told by failed() and answered false. ---
    bool play();
    bool pauseOrResume();
    bool stop();
    bool toStart();
    bool toEnd();
    // Jumps to MS and plays on from there, at once.
    void seekTo(int ms);
    // Jumps to MS as seekTo does, but a paused track stays paused there.
    void seekHolding(int ms);
    // COMMAND at once, or, while the track is still read from its file, once
    // it has been read: what it asks of the length, the position or the mode
    // is then the track's own. It is dropped when the track cannot play
    // after all or another one opens first; once waited, it runs as Quietly.
    void whenRead(std::function<void()> command);
    // The singer's key in semitones and tempo in %, within the device's
    // bounds: in effect at once. Like the channels below, they are kept for
    // the song by its content (a copy, a rename, a move keeps them) and come
    // back when it starts again; another song starts as it was kept, else
    // as written.
    bool setTranspose(int semitones);
    bool setTempo(int percent);
    // A song's channel CHANNEL (0 to 15) muted or soloed; the melody as the
    // GUIDE says. Heard at once; refused for other media.
    bool setMuted(int channel, bool on);
    bool setSoloed(int channel, bool on);
    bool setMelodyGuide(MelodyGuide guide);
    // The key that puts the song's melody inside the voice from LOWEST to
    // HIGHEST (note numbers), or centres it there; refused where no
    // melody was found.
    bool fitKeyToVoice(int lowest, int highest);
    // The song back as written, and nothing kept for it.
    bool forgetSong();
    // The passage from where the song is heard at loopStartHere() to where
    // it is at loopEndHere() plays over and over, kept for the song; a loop
    // end before any start loops from the song's start. Stop and another
    // song end the loop for now, loopOff() for good.
    bool loopStartHere();
    bool loopEndHere();
    bool loopOff();
    // The open song and how a wave file of it sounds as it is heard now:
    // the built-in synthesizer's soundfont, the key, the tempo and the
    // channels. False, with REASON, for other media and without a soundfont.
    bool backingTrack(std::shared_ptr<const midi::Song>& song, midi::WaveRender& render, QString& reason) const;
    // How loud each channel's notes sound now, 0 to 127, while metering is
    // on: it costs nothing while off.
    void setMetering(bool on);
    std::array<uint8_t, 16> levels();

    // While one lives, a refusal of the device is the caller's to answer
    // (lastFailure()) and a line on standard error, not failed(): a command
    // from outside the window opens no box.
    struct Quietly {
        explicit Quietly(PlaybackSession& session) : session(session) { ++session.quiet_; }
        ~Quietly() { --session.quiet_; }
        Quietly(const Quietly&) = delete;
        Quietly& operator=(const Quietly&) = delete;
        PlaybackSession& session;
    };
    // Why the command last attempted was refused; empty when it was not.
    const QString& lastFailure() const { return lastFailure_; }

    // What the 100 ms tick does, now: the position followed, a lost output
    // noticed, and at a track's end the list's next entry.
    void tick();

    // --- Around the track. ---
    void setAutoAdvance(bool on);
    void setAutoEnable(bool on);
    // GM or GS written once into the reset folder when first chosen.
    void chooseReset(ResetChoice choice);
    // Plays the chosen reset sequence, if any.
    void checkReset();
    // For this run only: it scales everything the player plays. 0 to 1.
    void setVolume(double volume);

    // --- The file menu's: the player lets go of a file. ---
    // Opens FILE_NAME instead of what is open; a refusal is no error here.
    void letGoFor(const QString& fileName);
    // Nothing is open after a refused file, and then there is nothing to do.
    void stopIfOpen();
    void rewindIfOpen();

    // Why FILE_NAME could not play, found without touching the track that
    // plays; empty when nothing stands in its way that reading it can tell.
    QString refusalOf(const QString& fileName) const;

signals:
    void stateChanged(PlaybackSession::State state);
    void trackChanged();
    // Where the track stands, announced when its tenth of a second changes.
    void positionChanged(int ms);
    // The position jumped to MS (a seek, a rewind).
    void seeked(int ms);
    // The device refused a command: REASON is its text.
    void failed(const QString& reason);
    void tracksChanged();
    void queueChanged();
    void selectionChanged(int index);
    void autoAdvanceChanged(bool on);
    void autoEnableChanged(bool on);
    void resetChanged(ResetChoice choice);
    void volumeChanged(double volume);
    // Drops may be delivered from now on.
    void dropsAccepted();
    // The browser should show PATH's folder with PATH selected.
    void browseTo(const QString& path);

private:
    bool start(const EntryRules& rules, const QString& fileName);
    bool openTrack(const EntryRules& rules, const QString& fileName);
    void startPlaying(const EntryRules& rules);
    void openFailed(const EntryRules& rules, const QString& reason);
    void trackReady(const QString& refusal);
    void setReason(const QString& reason);
    void readTrack();
    void updateState();
    State derivedState();
    void matchSelectionToTitle();
    bool attempt(const std::function<void()>& command) noexcept;
    void fail(const QString& reason);
    void runWhatWaitedForRead();
    // Within a command the device passes through steps (a reset played, a
    // file opened, then started): the state is announced once, at its end.
    struct Batch {
        explicit Batch(PlaybackSession& session) : session(session) { ++session.batch_; }
        ~Batch()
        {
            if (--session.batch_ == 0)
                session.updateState();
        }
        PlaybackSession& session;
    };
    bool command(void (MediaDevice::*action)());
    bool singerCommand(void (MediaDevice::*set)(int), int value, int Track::*shown);
    bool channelCommand(const std::function<void()>& change);
    bool loopCommand(int begin, int end);
    void takeSong();
    void applySinger(const Track& wanted);
    void keepSong();
    multimedia::Choices choices() const;

    // The advance and the rest (playback_advance.cpp).
    bool outputLost();
    void followPosition(int position);
    bool atEndLeadingOn();
    void takeStoredQueue(const std::optional<std::string>& stored);
    void keepQueue();
    void readStoredQueue();
    QString entryFile(int index) const;
    void advance();
    void advanceAfterPause();
    void startNextEntry();
    void cancelPendingAdvance();

    SessionSetup setup_;
    MediaDevice device_;
    QTimer timer_;
    QTimer midiPause_;
    State state_ = State::Empty;
    int batch_ = 0;
    Track track_;
    QStringList arguments_;
    QString folder_;
    QStringList names_;
    int selected_ = -1;
    QString currentTrackName_;
    QString windowsDirectory_;
    int shownTenths_ = 0;
    int lastPosition_ = 0; // at the last tick or seek: a loop's return goes back from it
    bool autoAdvance_ = true;
    bool autoEnable_ = false;
    // The user answered the rest after a song with a command of their own:
    // the track's end no longer leads on until it is reached anew.
    bool advanceCancelled_ = false;
    ResetChoice reset_ = ResetChoice::None;
    double volume_ = 1.0;
    int quiet_ = 0;
    QString lastFailure_;
    // The commands that wait for the track of WAITING_FILE_ to be read.
    std::vector<std::function<void()>> waitingForRead_;
    QString waitingFile_;
    // A seek while paused: the device stands still at its new place, and
    // the track is paused there as far as the user can tell.
    bool heldPause_ = false;
    std::unique_ptr<memory::SongMemory> memory_;
    bool metering_ = false;
    std::vector<QueuedSong> queue_;
    // The kept queue has been read (or there is none): changes are kept from now on.
    bool queueRead_ = false;
    bool playingQueued_ = false; // the open track came from the queue
    quint64 lastQueueId_ = 0;
    bool folderLeadsOn_ = false; // at the track's end, with or without the queue
};
