#pragma once
// What the player remembers per song (its key, tempo, mutes...), kept in
// one SQLite file under a digest of the song's content. Both are opaque
// strings here. The caller is the window's thread: every file access runs
// on a worker of our own, so that a slow disk, a damaged file or another
// player holding the file never keeps the window waiting.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace memory {

class SongMemory {
public:
    // Opens PATH, or begins it (with its folder), on the worker: returns at
    // once and never throws. A file found there that cannot be trusted is
    // set aside beside it, with a line on standard error.
    explicit SongMemory(std::string path, size_t mostSongs = 5000);
    // Returns once every change asked for is written, or has waited for a
    // locked file as long as a change may.
    ~SongMemory();
    SongMemory(const SongMemory&) = delete;
    SongMemory& operator=(const SongMemory&) = delete;

    // What is kept for DIGEST's song, which becomes the most recently used;
    // nothing when none is, or when the answer takes longer than the window
    // may wait.
    std::optional<std::string> recall(const std::string& digest);
    // Keeps VALUE for DIGEST's song as its most recently used; past
    // MOST_SONGS the least recently used ones go. A value over 4 KiB is
    // refused. Returns at once: the change is written as one transaction.
    void remember(const std::string& digest, const std::string& value);
    void forget(const std::string& digest);

    // A list kept beside the songs (the night's queue), whole: THEN is told
    // it, or nothing, on the worker's thread once it is read; at once when
    // a change to it is still to be written.
    void recallList(const std::string& name, std::function<void(std::optional<std::string>)> then);
    // Keeps VALUE as the list NAME; returns at once, and the last of several
    // changes not written yet is the one written.
    void keepList(const std::string& name, const std::string& value);

private:
    class Worker;
    std::unique_ptr<Worker> worker_;
};

} // namespace memory
