#pragma once
// Playback as the user knows it, without a widget: the open track and how it
// started, the folder's tracks and the selected one, the 100 ms tick that
// follows the position, seeking, Auto-Advance with its pause after songs,
// and the GM/GS reset before each track from the list. The window's
// controls, the desktop and the tests send it commands and show what its
// signals tell.
#include "playback/media_device.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// What differs between the four ways a track starts; everything else is the
// same for all of them.
struct EntryRules {
    bool autoEnableOnFailure = false; // a refused file hands the buttons back to the device's mode
    bool stopsAutoEnable = false; // the buttons no longer follow the mode
    bool stopsAtSameTrack = false; // the same file again means the list has ended
    bool trimsTitle = false; // the title loses trailing blanks
    bool remembersTrack = false; // the file becomes the current track name
    bool showsInBrowser = false; // the browser moves to the file
    bool matchesSelection = false; // the list selects the entry named like the title
    bool startsTimer = false;
    bool acceptsDropsAfter = false; // drops were held back until the file started
};

inline constexpr EntryRules kListClick {.autoEnableOnFailure = true,
    .stopsAutoEnable = true,
    .trimsTitle = true,
    .remembersTrack = true,
    .startsTimer = true};
inline constexpr EntryRules kAdvance {
    .autoEnableOnFailure = true, .stopsAtSameTrack = true, .trimsTitle = true, .remembersTrack = true};
inline constexpr EntryRules kCommandLine {.matchesSelection = true, .startsTimer = true, .acceptsDropsAfter = true};
inline constexpr EntryRules kDrop {
    .autoEnableOnFailure = true, .showsInBrowser = true, .matchesSelection = true, .startsTimer = true};

enum class ResetChoice { None, GM, GS };

class PlaybackSession : public QObject {
    Q_OBJECT

public:
    explicit PlaybackSession(QObject* parent = nullptr);
    ~PlaybackSession() override;

    MediaDevice& device() { return device_; }
    // The 100 ms tick; it runs while a track is followed.
    QTimer& timer() { return timer_; }

    // --- The tracks: the folder's entries as the browser lists them. ---
    void setTracks(const QString& folder, const QStringList& names);
    // Selects entry INDEX; -1 selects none; an index past the last entry
    // changes nothing.
    void select(int index);
    int selectedIndex() const { return selected_; }
    // Folder + "/" + the selected entry; empty when none is selected.
    QString selectedFile() const;
    int trackCount() const { return int(names_.size()); }

    // --- The four entries. ---
    // Opens and starts FILE_NAME; false when the device refused it or the
    // advance found the same file again.
    bool start(const EntryRules& rules, const QString& fileName);
    // The list's click: the reset, then the selected file.
    void listClick();
    // The file named on the command line, if any, at the window's activation.
    void startFromCommandLine(const QStringList& arguments);
    // A drop whose first item is PATH, EXTENSION the text after the first dot
    // of its name: media files play.
    void startDropped(const QString& path, const QString& extension);

    // --- The tick, seeking and the buttons. ---
    // A pending seek, or the position followed and, at a track's end, the
    // next entry of the list.
    void tick();
    // The seek bar was moved by the user: the next tick seeks to where it shows.
    void seekRequested() { seekPending_ = true; }
    // Where the seek bar stands, in tenths of a second.
    void setShownPosition(int tenths);
    // A media button was pressed: the tick follows the device again.
    void buttonPressed();
    // Play, pause, resume or stop from outside the button bar, as a press does.
    void play();
    void pauseOrResume();
    void stop();
    // Jumps to MS and plays on from there, at once.
    void seekTo(int ms);

    // The list's next (STEP 1) or previous (-1) file plays at once, as the
    // advance at a track's end would start it but without the pause. False
    // when there is no such entry or it was refused.
    bool playNeighbour(int step);

    // --- Auto-Advance and the reset. ---
    bool autoAdvance() const { return autoAdvance_; }
    void setAutoAdvance(bool on);
    ResetChoice reset() const { return reset_; }
    // GM or GS written once into the reset folder when first chosen.
    void chooseReset(ResetChoice choice);
    // Plays the chosen reset sequence, if any.
    void checkReset();

    // The player lets go of the file it holds by opening FILE_NAME instead;
    // a refusal is no error here.
    void openQuietly(const QString& fileName);
    // Stops the device when it holds something; nothing is open after a
    // refused file, and then there is nothing to stop.
    void stopIfOpen();
    void rewindIfOpen();

    // Why FILE_NAME could not play, found without touching the track that
    // plays; empty when nothing stands in its way that reading it can tell.
    QString refusalOf(const QString& fileName) const;

    // The tracks' device types get ready in the background a moment after
    // the list was read, once the window is up.
    void prepareDevicesForTracks();

    // --- The player's own volume, 0 to 1, for this run only: it scales
    // everything the sound card plays. ---
    double volume() const { return volume_; }
    void setVolume(double volume);

    // --- What the views show. ---
    const QString& title() const { return title_; }
    const QString& reason() const { return reason_; }
    bool autoEnable() const { return autoEnable_; }
    void setAutoEnable(bool on);
    const QString& currentTrackName() const { return currentTrackName_; }
    const QString& windowsDirectory() const { return windowsDirectory_; }
    bool seekPending() const { return seekPending_; }
    // Resting after a song before the next track starts.
    bool inMidiPause() const { return midiPause_.isActive(); }
    // Milliseconds of the open track; 0 when nothing is open.
    int lengthMs();
    int positionMs();
    // The open track's own title and words, as its device found them.
    mci::TrackText trackText() { return device_.text(); }

signals:
    void titleChanged(const QString& title);
    void tracksChanged();
    void selectionChanged(int index);
    void lengthShown(int ms);
    // Where the track stands, in the seek bar's tenths of a second.
    void positionShown(int tenths);
    // The device refused the file; REASON says why.
    void refused(const QString& reason);
    // The reason of the last refusal; empty once a new start begins.
    void reasonChanged(const QString& reason);
    // Opened, closed, played, paused, stopped, or ended by itself.
    void modeChanged();
    // The track stopped by itself: at its end, or the user closed the
    // device's window.
    void ended();
    // The position jumped to MS (a seek, a rewind).
    void seeked(int ms);
    void autoAdvanceChanged(bool on);
    void autoEnableChanged(bool on);
    void resetChanged(ResetChoice choice);
    // Drops may be delivered from now on.
    void dropsAccepted();
    // The browser should show PATH's folder with PATH selected.
    void browseTo(const QString& path);
    void volumeChanged(double volume);

private:
    void openFailed(const EntryRules& rules, const QString& reason);
    void trackReady(const QString& refusal);
    void setReason(const QString& reason);
    void showLength();
    void setTitle(const QString& title);
    void matchSelectionToTitle();
    bool atEndOfSelectedTrack();
    void advance();
    void advanceAfterPause();
    // The list's next entry, after its reset: at the last, the same file again.
    void startNextEntry();
    void cancelPendingAdvance();

    MediaDevice device_;
    QTimer timer_;
    QTimer midiPause_;
    QString folder_;
    QStringList names_;
    int selected_ = -1;
    QString title_;
    QString reason_;
    QString currentTrackName_; // last file started from the list or by advance
    QString windowsDirectory_; // holds the reset sequence files once GM or GS was chosen
    int shownTenths_ = 0;
    bool seekPending_ = false; // the seek bar moved; the next tick seeks there
    bool autoAdvance_ = true;
    bool autoEnable_ = false;
    // The user answered the pause after a song with a command of their own:
    // the track's end no longer leads on until it is reached anew.
    bool advanceCancelled_ = false;
    ResetChoice reset_ = ResetChoice::None;
    double volume_ = 1.0;
};
