#include "platform/mci/sequencer/song_loader.h"

#include "platform/midi/melody.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QThreadPool>

#include <new>
#include <thread>
#include <utility>

namespace mci::sequencer {

Result songResult(midi::LoadError e, const std::string& error)
{
    switch (e) {
    case midi::LoadError::None:
        return Result::success();
    case midi::LoadError::NotFound:
        return Result::failure(ErrFileNotFound, error);
    case midi::LoadError::Unreadable:
        return Result::failure(ErrFileRead, error);
    case midi::LoadError::Invalid:
        return Result::failure(ErrInvalidFile, error);
    }
    return Result::failure(ErrInvalidFile, error);
}

namespace {

// Of the file as it lies: its name and place take no part.
std::string digestOf(const std::string& path, const std::atomic<bool>* cancelled)
{
    QFile file(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    char chunk[64 * 1024];
    for (qint64 got; (got = file.read(chunk, sizeof chunk)) > 0;) {
        if (cancelled && cancelled->load())
            return {};
        hash.addData(QByteArrayView(chunk, got));
    }
    return hash.result().toHex().toStdString();
}

} // namespace

LoadedSong readSong(const std::string& path, const std::atomic<bool>* cancelled)
{
    LoadedSong out;
    try {
        auto song = std::make_shared<midi::Song>();
        std::string error;
        out.result = songResult(midi::loadSong(path, *song, error, cancelled), error);
        if (!out.result.ok())
            return out;
        auto parts = std::make_shared<SongParts>();
        parts->words = std::make_shared<const midi::Words>(midi::readWords(*song, cancelled));
        parts->channels = midi::channelsOf(*song);
        parts->melody = midi::findMelody(*song, *parts->words);
        parts->digest = digestOf(path, cancelled);
        // The words and the channels hold what the texts said; the player
        // needs none of them.
        song->texts = std::vector<midi::TextEvent>();
        song->textBytes = std::vector<uint8_t>();
        parts->song = song;
        out.parts = std::move(parts);
        out.song = std::move(song);
    } catch (const std::bad_alloc&) {
        out = {Result::failure(ErrOutOfMemory, "There is not enough memory to read the song."), nullptr, nullptr};
    }
    return out;
}

std::shared_ptr<SongLoad> SongLoad::start(const std::string& path, std::function<void()> ready)
{
    std::shared_ptr<SongLoad> load(new SongLoad);
    load->ready_ = std::move(ready);
    QThreadPool::globalInstance()->start([load, path] {
        load->finish(readSong(path, &load->cancelled_));
        if (load->cancelled_.load())
            return;
        // Once the application is gone nobody waits for the song.
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [load] {
                    if (const std::function<void()> ready = std::exchange(load->ready_, nullptr))
                        ready();
                },
                Qt::QueuedConnection);
    });
    return load;
}

SongLoad::~SongLoad() = default;

void SongLoad::finish(LoadedSong loaded)
{
    if (cancelled_.load())
        loaded = {}; // let go here, not on the window's thread
    {
        std::lock_guard lock(mutex_);
        loaded_ = std::move(loaded);
        done_ = true;
    }
    over_.notify_all();
}

bool SongLoad::wait(std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    return over_.wait_for(lock, limit, [this] { return done_; });
}

LoadedSong SongLoad::take()
{
    std::lock_guard lock(mutex_);
    return std::move(loaded_);
}

namespace {

// Freed on a thread of its own: a big song takes a while to give back, and
// nothing of Qt is involved in it.
template <class T> void freeAside(T held)
{
    std::thread([held = std::move(held)] {}).detach();
}

} // namespace

void letGo(std::shared_ptr<const void> held)
{
    if (held && held.use_count() == 1)
        freeAside(std::move(held));
}

void SongLoad::drop()
{
    cancelled_ = true;
    ready_ = nullptr;
    LoadedSong unwanted = take();
    if (unwanted.song || unwanted.parts)
        freeAside(std::move(unwanted));
}

} // namespace mci::sequencer
