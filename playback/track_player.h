#pragma once
// The player's logic between a file name and the controls that show it:
// opening and starting a track by one of its four entries, the 100 ms tick
// that follows it, seeking, auto-advance and the GM/GS reset before each
// track from the list. It knows the controls it drives, not the window.
#include "playback/media_player.h"

#include <QString>
#include <QStringList>

#include <functional>

class QCheckBox;
class QLineEdit;
class QRadioButton;
class QTimer;
class QWidget;

namespace ui {
class FileListBox;
class ScrollBar;
} // namespace ui

struct PlayerControls {
    TMediaPlayer& mediaPlayer;
    ui::ScrollBar& seekBar;
    QLineEdit& lengthReadout;
    QLineEdit& positionReadout;
    QTimer& timer;
    ui::FileListBox& fileList;
    QCheckBox& autoAdvance;
    QRadioButton& gmReset;
    QRadioButton& gsReset;
    QWidget& window;                                // its title names the track
    std::function<void()> acceptDrops;              // the window starts taking dropped files
    std::function<void(const QString&)> showInBrowser; // the browser moves to a dropped file
};

// What differs between the four ways a track starts; everything else is the
// same for all of them.
struct EntryRules {
    bool autoEnableOnFailure = false; // a refused file hands the buttons back to the device's mode
    bool stopsAutoEnable = false;     // the buttons no longer follow the mode
    bool stopsAtSameTrack = false;    // the same file again means the list has ended
    bool trimsTitle = false;          // the title loses trailing blanks
    bool remembersTrack = false;      // the file becomes the current track name
    bool showsInBrowser = false;      // the browser moves to the file
    bool matchesSelection = false;    // the list selects the entry named like the title
    bool startsTimer = false;
    bool acceptsDropsAfter = false;   // drops were held back until the file started
};

inline constexpr EntryRules kListClick{.autoEnableOnFailure = true, .stopsAutoEnable = true, .trimsTitle = true,
                                       .remembersTrack = true, .startsTimer = true};
inline constexpr EntryRules kAdvance{.autoEnableOnFailure = true, .stopsAtSameTrack = true, .trimsTitle = true,
                                     .remembersTrack = true};
inline constexpr EntryRules kCommandLine{.matchesSelection = true, .startsTimer = true, .acceptsDropsAfter = true};
inline constexpr EntryRules kDrop{.autoEnableOnFailure = true, .showsInBrowser = true, .matchesSelection = true,
                                  .startsTimer = true};

class TrackPlayer {
public:
    explicit TrackPlayer(PlayerControls controls);

    // Opens and starts FILE_NAME; false when the device refused it or the
    // advance found the same file again.
    bool start(const EntryRules& rules, const QString& fileName);

    // The file list's click: the reset, then the selected file.
    void listClick();
    // The window's activation: the file named on the command line, if any.
    void startFromCommandLine(const QStringList& arguments);
    // A drop whose first item is PATH, EXTENSION the text after the first dot
    // of its name: media files play.
    void startDropped(const QString& path, const QString& extension);

    // The file list was read: the devices its files play on get ready in the
    // background a moment later, once the window is up.
    void listShown();

    // The 100 ms tick: a pending seek, or the seek bar following the track
    // and, at its end, the next file of the list.
    void tick();
    // Waits DURATION ms on the event loop; handlers may run meanwhile.
    void midipause(int duration);
    void seekRequested() { seekPending_ = true; }
    void showSeekPosition();
    // A media button was pressed: the timer follows the device again.
    void buttonPressed();

    // "GM" or "GS" became the choice: the reset files are written once.
    void resetChosen();
    // Plays the chosen reset sequence, if any.
    void checkReset();

    // The player lets go of the file it holds by opening FILE_NAME instead;
    // a refusal is no error here.
    void openQuietly(const QString& fileName);

    // The list's next (STEP 1) or previous (-1) file plays at once, as the
    // advance at a track's end would start it but without the pause.
    void playNeighbour(int step);

    const QString& currentTrackName() const { return currentTrackName_; }
    const QString& windowsDirectory() const { return windowsDirectory_; }
    bool seekPending() const { return seekPending_; }

private:
    void openFailed(const EntryRules& rules);
    void showReason(const QString& reason);
    void showLength();
    void matchSelectionToTitle();
    bool atEndOfSelectedTrack();
    void advance();

    PlayerControls c_;
    QString currentTrackName_; // last file started from the list or by advance
    QString windowsDirectory_; // holds the reset sequence files once GM or GS was chosen
    bool seekPending_ = false; // the seek bar moved; the next tick seeks there
};
