#include "playback/track_player.h"

#include "core/media_kinds.h"
#include "core/textrules.h"
#include "framework/application.h"
#include "framework/errors.h"
#include "framework/file_controls.h"
#include "framework/file_names.h"
#include "framework/scroll_bar.h"
#include "platform/fs/system_info.h"
#include "platform/multimedia/stored_choices.h"
#include "playback/reset_sequences.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <cstdio>
#include <set>

namespace {
const int kMidiPause = 1500;
// Long enough for the window to be drawn before a device's preparation
// competes with it for the processor.
const int kPrepareDelay = 300;

// The device a file of KIND opens on; auto-select goes by its extension.
TMPDeviceTypes deviceTypeOf(const media_kinds::Kind* kind)
{
    return kind && kind->waveOnly ? TMPDeviceTypes::dtWaveAudio : TMPDeviceTypes::dtAutoSelect;
}
}

TrackPlayer::TrackPlayer(PlayerControls controls) : c_(std::move(controls)) {}

bool TrackPlayer::start(const EntryRules& rules, const QString& fileName)
{
    TMediaPlayer& player = c_.mediaPlayer;
    const media_kinds::Kind* kind = media_kinds::kindOf(fileName);
    player.DeviceType = deviceTypeOf(kind);
    player.FileName = fileName;
    showReason({});
    try {
        player.Open();
    } catch (const ui::EMCIDeviceError& refusal) {
        openFailed(rules);
        showReason(QString::fromStdString(refusal.message()));
        return false;
    }
    if (rules.stopsAutoEnable)
        player.SetAutoEnable(false);
    if (rules.stopsAtSameTrack && currentTrackName_ == player.FileName) {
        c_.timer.stop();
        return false;
    }

    player.Play();
    showLength();
    const QString title = textrules::extractFileName(player.FileName);
    c_.window.setWindowTitle(rules.trimsTitle ? textrules::trimRight(title) : title);
    if (rules.remembersTrack)
        currentTrackName_ = player.FileName;
    if (rules.showsInBrowser && c_.showInBrowser)
        c_.showInBrowser(player.FileName);
    if (rules.matchesSelection)
        matchSelectionToTitle();
    if (rules.startsTimer)
        c_.timer.start();
    if (rules.acceptsDropsAfter && c_.acceptDrops)
        c_.acceptDrops();
    return true;
}

void TrackPlayer::openFailed(const EntryRules& rules)
{
    c_.timer.stop();
    if (rules.autoEnableOnFailure)
        c_.mediaPlayer.SetAutoEnable(true);
    c_.lengthReadout.setText("Error");
    c_.positionReadout.setText("");
}

void TrackPlayer::showReason(const QString& reason)
{
    // "Error" alone cannot tell a damaged file from a missing sound card: the
    // device's reason goes beside it, for the eye and for a screen reader.
    c_.lengthReadout.setToolTip(reason);
    c_.lengthReadout.setAccessibleDescription(reason);
    if (!reason.isEmpty())
        std::fprintf(stderr, "quorvana: %s: %s\n", ui::fileNameBytes(c_.mediaPlayer.FileName).c_str(),
                     reason.toLocal8Bit().constData());
}

void TrackPlayer::showLength()
{
    c_.mediaPlayer.SetTimeFormat(TMPTimeFormats::tfMilliseconds);
    c_.seekBar.setMaximum(c_.mediaPlayer.Length() / 100);
    c_.lengthReadout.setText(textrules::numberText(c_.mediaPlayer.Length() * 0.001));
}

void TrackPlayer::matchSelectionToTitle()
{
    const QString title = c_.window.windowTitle();
    for (int i = 0; i < c_.fileList.count(); ++i)
        if (c_.fileList.itemText(i) == title)
            c_.fileList.setItemIndex(i);
}

void TrackPlayer::listClick()
{
    checkReset();
    start(kListClick, c_.fileList.fileName());
}

void TrackPlayer::startFromCommandLine(const QStringList& arguments)
{
    const QString file = textrules::commandLineFileName(arguments);
    if (file.isEmpty()) {
        if (c_.acceptDrops)
            c_.acceptDrops();
        return;
    }
    start(kCommandLine, file);
}

void TrackPlayer::startDropped(const QString& path, const QString& extension)
{
    // The drop names the text after the first dot: "b.mid" of "a.b.mid" is no media kind.
    if (media_kinds::kindOfExtension(QStringLiteral(".") + extension))
        start(kDrop, path);
}

void TrackPlayer::tick()
{
    // Before the first track and after a failed open there is nothing to
    // follow; a pending seek waits for the next track.
    if (!c_.mediaPlayer.IsOpen() || c_.mediaPlayer.FileName.isEmpty())
        return;
    if (seekPending_) {
        c_.mediaPlayer.SetPosition(c_.seekBar.value() * 100);
        c_.mediaPlayer.Play();
        seekPending_ = false;
        return;
    }
    c_.seekBar.setValue(c_.mediaPlayer.Position() / 100);
    if (atEndOfSelectedTrack())
        advance();
}

bool TrackPlayer::atEndOfSelectedTrack()
{
    return c_.mediaPlayer.Position() == c_.mediaPlayer.Length() && c_.autoAdvance.isChecked()
        && c_.mediaPlayer.FileName == c_.fileList.fileName();
}

void TrackPlayer::advance()
{
    const media_kinds::Kind* kind = media_kinds::kindOf(c_.mediaPlayer.FileName);
    if (kind && kind->pauseAfter) {
        c_.timer.stop();
        midipause(kMidiPause);
        c_.timer.start();
    }
    c_.fileList.setItemIndex(c_.fileList.itemIndex() + 1);
    c_.mediaPlayer.SetPosition(0);
    checkReset();
    start(kAdvance, c_.fileList.fileName());
}

void TrackPlayer::playNeighbour(int step)
{
    const int index = c_.fileList.itemIndex() + step;
    if (index < 0 || index >= c_.fileList.count())
        return;
    c_.fileList.setItemIndex(index);
    checkReset();
    // Asked for from outside while the timer may be off: the new track is
    // followed, as one started from the list is.
    if (start(kAdvance, c_.fileList.fileName()))
        c_.timer.start();
}

void TrackPlayer::listShown()
{
    // Only a folder that holds songs loads the synthesizer: a player that
    // never plays one does not carry its soundfont.
    std::set<mci::DeviceType> types;
    for (const QString& name : c_.fileList.itemTexts()) {
        const media_kinds::Kind* kind = media_kinds::kindOf(name);
        if (!kind)
            continue;
        const auto type = static_cast<mci::DeviceType>(deviceTypeOf(kind));
        types.insert(type == mci::DeviceType::AutoSelect ? kind->autoSelect : type);
    }
    if (!types.empty())
        QTimer::singleShot(kPrepareDelay, [types] {
            const multimedia::Choices choices = multimedia::load();
            for (mci::DeviceType type : types)
                mci::prepareDevice(type, choices);
        });
}

void TrackPlayer::midipause(int duration) { ui::Application::processMessagesFor(duration); }

void TrackPlayer::showSeekPosition()
{
    c_.positionReadout.setText(textrules::numberText(c_.seekBar.value() * 0.1));
}

void TrackPlayer::buttonPressed()
{
    c_.timer.start();
    c_.mediaPlayer.SetTimeFormat(TMPTimeFormats::tfMilliseconds);
}

void TrackPlayer::resetChosen()
{
    const std::string dir = kernel::windowsDirectory() + "/";
    windowsDirectory_ = ui::decodeFileName(dir.substr(0, dir.size() - 1));
    reset_sequences::writeIfMissing(dir + reset_sequences::kGSFileName, reset_sequences::gsFile());
    reset_sequences::writeIfMissing(dir + reset_sequences::kGMFileName, reset_sequences::gmFile());
}

void TrackPlayer::checkReset()
{
    auto play = [this](const char* name) {
        c_.mediaPlayer.DeviceType = TMPDeviceTypes::dtSequencer;
        c_.mediaPlayer.FileName = windowsDirectory_ + "/" + name;
        c_.mediaPlayer.Open();
        c_.mediaPlayer.Play();
    };
    if (c_.gmReset.isChecked())
        play(reset_sequences::kGMFileName);
    if (c_.gsReset.isChecked())
        play(reset_sequences::kGSFileName);
}

void TrackPlayer::openQuietly(const QString& fileName)
{
    c_.mediaPlayer.FileName = fileName;
    try {
        c_.mediaPlayer.Open();
    } catch (const ui::EMCIDeviceError&) {
    }
}
