#include "playback/singer/wave_saver.h"

#include "framework/guard.h"
#include "framework/message_box.h"
#include "framework/save_dialog.h"
#include "platform/base/process.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QProgressDialog>
#include <QStandardPaths>

namespace singer {

namespace {

const QString kCaption = QStringLiteral("Save as Wave");

// Often enough for a bar that moves smoothly; the writer never waits on it.
constexpr int kFollowMs = 50;

} // namespace

WaveSaver::WaveSaver(QObject* parent) : QObject(parent)
{
    follow_.setInterval(kFollowMs);
    connect(&follow_, &QTimer::timeout, this, [this] { ui::guard([this] { follow(); }); });
}

WaveSaver::~WaveSaver()
{
    cancel_ = true;
    if (writer_)
        writer_->join();
    delete progress_;
}

QString WaveSaver::defaultPath(const QString& songFile)
{
    const QFileInfo song(songFile);
    const QString name = song.completeBaseName() + QStringLiteral(".wav");
    if (QFileInfo(song.absolutePath()).isWritable())
        return song.absoluteDir().filePath(name);
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty() || !QFileInfo(music).isDir())
        music = QDir::homePath();
    return QDir(music).filePath(name);
}

void WaveSaver::ask(
    QWidget* over, const QString& songFile, std::shared_ptr<const midi::Song> song, const midi::WaveRender& render)
{
    if (busy()) {
        if (progress_)
            progress_->raise();
        return;
    }
    ui::SaveDialog dialog(over);
    dialog.setTitle(kCaption);
    dialog.setFileName(defaultPath(songFile));
    if (!dialog.execute())
        return;
    QString path = dialog.fileName();
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".wav");
    const QFileInfo target(path);
    const bool replace = target.exists();
    if (replace
        && ui::messageBox(over, QStringLiteral("\u201C%1\u201D exists already. Replace it?").arg(target.fileName()),
               kCaption, ui::MB_OKCANCEL | ui::MB_ICONQUESTION)
            != ui::IDOK)
        return;
    save(over, path, replace, std::move(song), render);
}

bool WaveSaver::save(QWidget* over, const QString& path, bool replace, std::shared_ptr<const midi::Song> song,
    const midi::WaveRender& render)
{
    if (busy())
        return false;
    over_ = over;
    path_ = path;
    permille_ = 0;
    cancel_ = false;
    done_ = false;
    written_ = false;
    error_.clear();
    progress_ = new QProgressDialog(QStringLiteral("Saving \u201C%1\u201D\u2026").arg(QFileInfo(path).fileName()),
        QStringLiteral("Cancel"), 0, 1000, over);
    progress_->setWindowTitle(kCaption);
    auto* bar = new QProgressBar;
    bar->setAccessibleName(QStringLiteral("Saved so far"));
    progress_->setBar(bar);
    progress_->setRange(0, 1000);
    progress_->setAttribute(Qt::WA_DeleteOnClose);
    progress_->setWindowModality(Qt::NonModal);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(0);
    progress_->setValue(0);
    connect(progress_, &QProgressDialog::canceled, this, [this] { cancel_ = true; });
    progress_->show();
    writer_
        = std::make_unique<std::thread>([this, song = std::move(song), render, target = path.toStdString(), replace] {
              base::process::yieldToOthers();
              std::string error;
              const bool written = midi::writeWave(
                  song, render, target, replace,
                  [this](double done) {
                      permille_ = int(done * 1000);
                      return !cancel_;
                  },
                  error);
              written_ = written;
              error_ = std::move(error);
              done_ = true;
          });
    follow_.start();
    return true;
}

void WaveSaver::follow()
{
    if (progress_)
        progress_->setValue(permille_);
    if (done_)
        end();
}

void WaveSaver::end()
{
    follow_.stop();
    writer_->join();
    writer_.reset();
    const bool cancelled = cancel_ && !written_;
    // Closing the bar counts as its Cancel.
    if (progress_) {
        progress_->disconnect(this);
        progress_->close();
    }
    const QString reason = written_ || cancelled ? QString() : QString::fromStdString(error_);
    if (!written_ && !cancelled)
        ui::messageBox(over_, reason, kCaption, ui::MB_OK | ui::MB_ICONERROR);
    emit finished(path_, written_, reason);
}

} // namespace singer
