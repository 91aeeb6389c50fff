#pragma once
// A song saved as a wave file as it is heard, for a singer to practise with
// anywhere: the user names the file, then it is written on a thread of its
// own that gives way to what plays, with its progress and a Cancel. The
// window's thread only ever looks at how far it got.
#include "platform/midi/wave_render.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

class QWidget;

namespace singer {

class WaveSaver final : public QObject {
    Q_OBJECT

public:
    explicit WaveSaver(QObject* parent = nullptr);
    // A save still running is cancelled: it stops within milliseconds.
    ~WaveSaver() override;

    // Where SONG_FILE's wave goes unless the user says otherwise: beside it,
    // or in the music folder where its own folder is read-only.
    static QString defaultPath(const QString& songFile);

    // Asks OVER for the file, from the default for SONG_FILE, and whether to
    // replace one that exists, then saves SONG there as RENDER says.
    void ask(
        QWidget* over, const QString& songFile, std::shared_ptr<const midi::Song> song, const midi::WaveRender& render);
    // Saves SONG at PATH, shown over OVER; an existing file is replaced
    // where REPLACE. Refused while another save runs.
    bool save(QWidget* over, const QString& path, bool replace, std::shared_ptr<const midi::Song> song,
        const midi::WaveRender& render);

    bool busy() const { return bool(writer_); }
    QProgressDialog* progress() const { return progress_; }

signals:
    // The save ended: written, or not with the REASON (empty when cancelled).
    void finished(const QString& path, bool written, const QString& reason);

private:
    void follow();
    void end();

    QPointer<QProgressDialog> progress_;
    QPointer<QWidget> over_;
    QTimer follow_;
    QString path_;
    std::unique_ptr<std::thread> writer_;
    std::atomic<int> permille_ {0};
    std::atomic<bool> cancel_ {false};
    std::atomic<bool> done_ {false};
    bool written_ = false;
    std::string error_; // the writer's until done_, then the window's
};

} // namespace singer
