#include "app/desktop_link.h"

#include "app/main_window.h"
#include "core/media_kinds.h"
#include "framework/file_controls.h"
#include "framework/guard.h"
#include "playback/track_player.h"

#include <QFileInfo>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace desktop_link {

namespace {

QStringList playedTypes()
{
    QStringList types;
    for (const media_kinds::Kind& kind : media_kinds::all())
        if (*kind.mimeType && !types.contains(QString::fromLatin1(kind.mimeType)))
            types << QString::fromLatin1(kind.mimeType);
    return types;
}

} // namespace

DesktopLink::DesktopLink(TForm1& form)
    : form_(form),
      mpris_({QStringLiteral("quorvana"), QStringLiteral("Quorvana"), QStringLiteral("quorvana"), playedTypes()},
          handlers()),
      receiver_(QString::fromLatin1(kAppId), ui::guarded([this](const QStringList& paths) { form_.handOver(paths); }),
          ui::guarded([this] { form_.raiseForUser(); })),
      screen_(QString::fromLatin1(kAppId), QStringLiteral("Playing a video"))
{
    TMediaPlayer* player = form_.MediaPlayer1;
    connect(player, &TMediaPlayer::changed, this, ui::guarded([this] { update(); }));
    connect(player, &TMediaPlayer::positionSet, this,
        ui::guarded([this](int position) { mpris_.seeked(qint64(position) * 1000); }));
    connect(&form_, &QWidget::windowTitleChanged, this, ui::guarded([this] { update(); }));
    connect(form_.FileListBox1, &ui::FileListBox::listed, this, ui::guarded([this] { update(); }));
    updateNow();
}

DesktopLink::~DesktopLink() = default;

// Every handler runs as the windows' slots do: a refusal the bus asked for
// shows its box, and the bus still gets its answer.
desktop::MprisHandlers DesktopLink::handlers()
{
    using ui::guarded;
    const auto press = [this](TMPBtnType button) {
        return guarded([this, button] { form_.MediaPlayer1->Button(button)->click(); });
    };
    const auto mode
        = [this] { return form_.MediaPlayer1->IsOpen() ? form_.MediaPlayer1->Mode() : TMPModes::mpNotReady; };
    desktop::MprisHandlers h;
    h.play = press(TMPBtnType::btPlay);
    h.stop = press(TMPBtnType::btStop);
    h.pause = guarded([this, mode] {
        if (mode() == TMPModes::mpPlaying)
            form_.MediaPlayer1->Button(TMPBtnType::btPause)->click();
    });
    h.playPause = guarded([this, mode] {
        form_.MediaPlayer1->Button(mode() == TMPModes::mpPlaying ? TMPBtnType::btPause : TMPBtnType::btPlay)->click();
    });
    // The bar's Next and Prev jump within the track; the desktop means the
    // neighbouring file.
    h.next = guarded([this] { form_.trackPlayer().playNeighbour(1); });
    h.previous = guarded([this] { form_.trackPlayer().playNeighbour(-1); });
    h.raise = guarded([this] { form_.raiseForUser(); });
    h.quit = guarded([this] { form_.close(); });
    h.seek = guarded([this](qint64 offsetUs) { seekTo(positionUs() + offsetUs); });
    h.setPosition = guarded([this](qint64 positionUs) { seekTo(positionUs); });
    h.positionUs = [this] { return positionUs(); };
    h.openUri = guarded([this](const QString& uri) { form_.handOver(desktop::localPaths({uri})); });
    return h;
}

qint64 DesktopLink::positionUs() const
{
    TMediaPlayer* player = form_.MediaPlayer1;
    return player->IsOpen() ? qint64(player->Position()) * 1000 : 0;
}

void DesktopLink::seekTo(qint64 positionUs)
{
    // As the seek bar moves: its tenths of a second, carried out at the next tick.
    ui::ScrollBar* bar = form_.ScrollBar1;
    const int tenths = int(std::clamp<qint64>(positionUs / 100000, bar->minimum(), bar->maximum()));
    bar->setValue(tenths);
    int pos = tenths;
    form_.ScrollBar1Scroll(bar, ui::ScrollCode::scPosition, pos);
}

void DesktopLink::update()
{
    // A start sends the reset, opens the file, plays it and then names the
    // window: the desktop hears the outcome once, not each step of it.
    if (updatePending_)
        return;
    updatePending_ = true;
    QTimer::singleShot(0, this, ui::guarded([this] {
        updatePending_ = false;
        updateNow();
    }));
}

void DesktopLink::updateNow()
{
    TMediaPlayer* player = form_.MediaPlayer1;
    desktop::MprisState s;
    const bool open = player->IsOpen() && !player->FileName.isEmpty();
    const TMPModes mode = open ? player->Mode() : TMPModes::mpNotReady;
    s.status = mode == TMPModes::mpPlaying ? desktop::MprisState::Status::Playing
        : mode == TMPModes::mpPaused       ? desktop::MprisState::Status::Paused
                                           : desktop::MprisState::Status::Stopped;
    if (open) {
        if (player->FileName != lastFile_) {
            lastFile_ = player->FileName;
            ++track_;
        }
        s.trackId = QStringLiteral("/io/github/quorvana/Quorvana/track/%1").arg(track_);
        s.title = form_.windowTitle();
        s.url = QUrl::fromLocalFile(QFileInfo(player->FileName).absoluteFilePath()).toString(QUrl::FullyEncoded);
        s.lengthUs = qint64(player->Length()) * 1000;
        s.canPlay = s.canPause = s.canSeek = true;
    }
    const int count = form_.FileListBox1->count();
    s.canGoNext = s.canGoPrevious = count > 0;
    mpris_.update(s);
    screen_.hold(open && mode == TMPModes::mpPlaying && player->OpenType() == mci::DeviceType::AviVideo);
}

} // namespace desktop_link
