#pragma once
// The songs' memory on disk: one SQLite file, opened on first use, each
// change one transaction. Used from one thread only; a file it cannot trust
// is set aside and a new one begun.
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

struct sqlite3;

namespace memory {

// Values and digests beyond these are refused: nothing the player keeps for
// a song comes near them, and they bound what the file can grow to.
inline constexpr size_t kMostValueBytes = 4096;
inline constexpr size_t kMostDigestBytes = 256;
// A list kept beside the songs (the night's queue) is no larger.
inline constexpr size_t kMostListBytes = 1 << 20;

// One line on standard error, for the user.
void say(const std::string& line);

class SongStore {
public:
    enum class Outcome {
        Done,
        Busy, // another connection holds the file; worth trying again
        Failed, // this change is lost (a full disk, say); the next may work
        Off, // no memory for the rest of the run
    };

    // GIVE_WAY(pause) is asked while another connection holds the file: it
    // waits up to PAUSE and says whether to stop waiting, so that a question
    // the window waits for is not stuck behind a change.
    using GiveWay = std::function<bool(std::chrono::milliseconds pause)>;

    SongStore(std::string path, size_t mostSongs, GiveWay giveWay);
    ~SongStore();
    SongStore(const SongStore&) = delete;
    SongStore& operator=(const SongStore&) = delete;

    // VALUE gets what is kept for DIGEST, or nothing.
    Outcome read(const std::string& digest, std::optional<std::string>& value);
    // Keeps VALUE as the most recently used song's, then drops the least
    // recently used ones beyond the bound.
    Outcome keep(const std::string& digest, const std::string& value);
    // Makes DIGEST's song, if kept, the most recently used.
    Outcome touch(const std::string& digest);
    Outcome drop(const std::string& digest);
    // The list called NAME, whole: VALUE gets it, or nothing.
    Outcome readList(const std::string& name, std::optional<std::string>& value);
    Outcome keepList(const std::string& name, const std::string& value);
    // Opens the file now rather than at the first question.
    Outcome begin();
    // Lets the file go: the last connection out folds the log into it.
    void close();

private:
    Outcome run(const std::function<int()>& statements);
    Outcome readOne(const char* sql, const std::string& key, size_t most, std::optional<std::string>& value);
    int transaction(const std::function<int()>& body);
    bool ready(Outcome& why);
    Outcome open();
    Outcome prepare(std::string& damage);
    void setAside(const std::string& reason);
    void turnOff(const std::string& reason);
    bool stillOurs() const;
    static int onBusy(void* self, int count);

    const std::string path_;
    const size_t mostSongs_;
    const GiveWay giveWay_;
    sqlite3* db_ = nullptr;
    dev_t dev_ = 0; // the file db_ has open
    ino_t ino_ = 0;
    bool off_ = false;
    bool toldFailure_ = false;
    std::chrono::steady_clock::time_point busySince_;
};

} // namespace memory
