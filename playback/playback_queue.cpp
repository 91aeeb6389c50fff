// The night's queue: the songs to come, each with its singer, played before
// the folder goes on, and kept with the songs' memory.
#include "playback/playback_session.h"

#include "core/media_kinds.h"
#include "framework/file_names.h"
#include "platform/memory/song_memory.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

const std::string kQueueList = "queue";
// A name is a line of the queue window: no line breaks, and not a page.
constexpr int kLongestSinger = 100;

QString cleanSinger(const QString& singer)
{
    QString clean = singer.simplified();
    clean.truncate(kLongestSinger);
    return clean;
}

// The file names go as their bytes, percent-encoded: a name that is no
// UTF-8 comes back the same.
std::string serialised(const std::vector<QueuedSong>& queue)
{
    QJsonArray songs;
    for (const QueuedSong& song : queue)
        songs.append(QJsonObject {{"file", QString::fromLatin1(ui::encodeFileName(song.file).toPercentEncoding("/"))},
            {"singer", song.singer}});
    return QJsonDocument(QJsonObject {{"songs", songs}}).toJson(QJsonDocument::Compact).toStdString();
}

// What a damaged or a foreign value holds of a queue: the entries that
// make sense, none of the rest.
std::vector<QueuedSong> parsed(const std::string& value)
{
    std::vector<QueuedSong> queue;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(value));
    for (const QJsonValue& entry : document.object().value("songs").toArray()) {
        const QString file = entry.toObject().value("file").toString();
        if (file.isEmpty())
            continue;
        queue.push_back({ui::decodeFileName(QByteArray::fromPercentEncoding(file.toLatin1())),
            cleanSinger(entry.toObject().value("singer").toString())});
    }
    if (queue.empty() && !value.empty() && document.isNull())
        std::fprintf(stderr, "quorvana: the kept queue cannot be read and is left out\n");
    return queue;
}

} // namespace

QString QueuedSong::song() const
{
    return QFileInfo(file).completeBaseName();
}

QString QueuedSong::announced() const
{
    return singer.isEmpty() ? song() : singer + QStringLiteral(" \u2013 ") + song();
}

int PlaybackSession::enqueue(const QStringList& files, const QString& singer, int at)
{
    std::vector<QueuedSong> added;
    for (const QString& file : files) {
        if (!media_kinds::kindOf(file) || QFileInfo(file).isDir()) {
            std::fprintf(
                stderr, "quorvana: %s: not a song, sound or video to queue\n", ui::fileNameBytes(file).c_str());
            continue;
        }
        added.push_back({QFileInfo(file).absoluteFilePath(), cleanSinger(singer), ++lastQueueId_});
    }
    if (added.empty())
        return 0;
    const auto where = at < 0 || at > int(queue_.size()) ? queue_.end() : queue_.begin() + at;
    queue_.insert(where, added.begin(), added.end());
    keepQueue();
    return int(added.size());
}

void PlaybackSession::nameSinger(int index, const QString& singer)
{
    if (index < 0 || index >= int(queue_.size()) || queue_[size_t(index)].singer == cleanSinger(singer))
        return;
    queue_[size_t(index)].singer = cleanSinger(singer);
    keepQueue();
}

void PlaybackSession::moveQueued(int from, int to)
{
    const int last = int(queue_.size()) - 1;
    if (from < 0 || from > last || to < 0 || to > last || from == to)
        return;
    QueuedSong song = std::move(queue_[size_t(from)]);
    queue_.erase(queue_.begin() + from);
    queue_.insert(queue_.begin() + to, std::move(song));
    keepQueue();
}

void PlaybackSession::removeQueued(int index)
{
    if (index < 0 || index >= int(queue_.size()))
        return;
    queue_.erase(queue_.begin() + index);
    keepQueue();
}

void PlaybackSession::playQueued(int index)
{
    if (index < 0 || index >= int(queue_.size()))
        return;
    const Batch batch(*this);
    cancelPendingAdvance();
    const QString file = queue_[size_t(index)].file;
    removeQueued(index);
    if (attempt([this] { checkReset(); }) && start(kQueued, file))
        timer_.start();
}

int PlaybackSession::queuedIndex(quint64 id) const
{
    for (size_t i = 0; i < queue_.size(); ++i)
        if (queue_[i].id == id)
            return int(i);
    return -1;
}

QueuedSong PlaybackSession::upNext() const
{
    if (!queue_.empty())
        return queue_.front();
    const bool walking = autoAdvance_ && (playingQueued_ || track_.file == selectedFile());
    return {walking && selected_ >= 0 ? entryFile(selected_ + 1) : QString(), {}};
}

// Entries added before the kept queue was read follow it.
void PlaybackSession::takeStoredQueue(const std::optional<std::string>& stored)
{
    queueRead_ = true;
    std::vector<QueuedSong> queue = stored ? parsed(*stored) : std::vector<QueuedSong> {};
    if (queue.empty() && queue_.empty()) {
        emit queueChanged();
        return;
    }
    for (QueuedSong& song : queue)
        song.id = ++lastQueueId_;
    queue.insert(queue.end(), queue_.begin(), queue_.end());
    queue_ = std::move(queue);
    keepQueue();
}

void PlaybackSession::keepQueue()
{
    if (memory_ && queueRead_)
        memory_->keepList(kQueueList, serialised(queue_));
    emit queueChanged();
}

void PlaybackSession::readStoredQueue()
{
    if (!memory_) {
        queueRead_ = true;
        return;
    }
    memory_->recallList(kQueueList, [this](std::optional<std::string> stored) {
        QMetaObject::invokeMethod(
            this, [this, stored = std::move(stored)] { takeStoredQueue(stored); }, Qt::QueuedConnection);
    });
}
