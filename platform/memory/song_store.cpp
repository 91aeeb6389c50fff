#include "platform/memory/song_store.h"

#include "platform/fs/file_ops.h"
#include "platform/fs/folders.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sqlite3.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace memory {

namespace {

using namespace std::chrono_literals;

// How long a change waits for another player to let go of the file.
constexpr auto kBusyTimeout = 2s;
constexpr auto kBusyPause = 20ms;

// Marks the file as ours, so that another program's database found at the
// path is set aside rather than mixed with songs.
constexpr int kApplicationId = 0x51564D31;
constexpr int kSchemaVersion = 2;

// Version 1 had the songs only; each statement leaves what is there alone,
// so that the same text brings a file of any earlier version up to date.
constexpr char kSchema[] = R"(
CREATE TABLE IF NOT EXISTS songs (
    digest TEXT PRIMARY KEY NOT NULL,
    value BLOB NOT NULL,
    used INTEGER NOT NULL -- higher is more recent
);
CREATE INDEX IF NOT EXISTS songs_by_use ON songs (used);
CREATE TABLE IF NOT EXISTS lists (
    name TEXT PRIMARY KEY NOT NULL,
    value BLOB NOT NULL
);
)";

// Whatever the file, the new use is one past the newest: the order holds
// across every player sharing it, since each write takes the write lock.
constexpr char kUpsert[] = R"(
INSERT INTO songs (digest, value, used) VALUES (?1, ?2, (SELECT coalesce(max(used), 0) + 1 FROM songs))
    ON CONFLICT (digest) DO UPDATE SET value = excluded.value, used = excluded.used
)";
constexpr char kTrim[] = "DELETE FROM songs WHERE used < (SELECT used FROM songs ORDER BY used DESC LIMIT 1 OFFSET ?1)";
constexpr char kTouch[] = "UPDATE songs SET used = (SELECT max(used) + 1 FROM songs)"
                          " WHERE digest = ?1 AND used < (SELECT max(used) FROM songs)";
constexpr char kDrop[] = "DELETE FROM songs WHERE digest = ?1";
// A longer value than we write can only come from someone else: it is not ours to hand out.
constexpr char kRead[] = "SELECT value FROM songs WHERE digest = ?1 AND length(value) <= ?2";
constexpr char kReadList[] = "SELECT value FROM lists WHERE name = ?1 AND length(value) <= ?2";
constexpr char kKeepList[] = "INSERT INTO lists (name, value) VALUES (?1, ?2)"
                             " ON CONFLICT (name) DO UPDATE SET value = excluded.value";

// One prepared statement, finalized when it goes. A failed prepare makes
// every later step return its error.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : rc_(sqlite3_prepare_v2(db, sql, -1, &handle_, nullptr)) { }
    ~Statement() { sqlite3_finalize(handle_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void text(int index, const std::string& s)
    {
        if (rc_ == SQLITE_OK)
            rc_ = sqlite3_bind_text(handle_, index, s.data(), static_cast<int>(s.size()), SQLITE_STATIC);
    }
    void blob(int index, const std::string& s)
    {
        if (rc_ == SQLITE_OK)
            rc_ = sqlite3_bind_blob(handle_, index, s.data(), static_cast<int>(s.size()), SQLITE_STATIC);
    }
    void integer(int index, sqlite3_int64 n)
    {
        if (rc_ == SQLITE_OK)
            rc_ = sqlite3_bind_int64(handle_, index, n);
    }

    // SQLITE_ROW, SQLITE_DONE, or the error that stopped it.
    int step()
    {
        if (rc_ == SQLITE_OK || rc_ == SQLITE_ROW)
            rc_ = sqlite3_step(handle_);
        return rc_;
    }
    // Steps to the end: SQLITE_OK or the error.
    int finish()
    {
        while (step() == SQLITE_ROW) { }
        return rc_ == SQLITE_DONE ? SQLITE_OK : rc_;
    }
    std::string bytes(int column) const
    {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(handle_, column));
        return data ? std::string(data, static_cast<size_t>(sqlite3_column_bytes(handle_, column))) : std::string();
    }

private:
    sqlite3_stmt* handle_ = nullptr;
    int rc_;
};

// The first column of SQL's first row, as text.
int query(sqlite3* db, const char* sql, std::string& first)
{
    Statement s(db, sql);
    const int rc = s.step();
    if (rc == SQLITE_ROW)
        first = s.bytes(0);
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int exec(sqlite3* db, const std::string& sql)
{
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
}

bool damaged(int rc)
{
    return (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB;
}
bool busy(int rc)
{
    return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
}

std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text.size() > 200 ? text.substr(0, 200) + "..." : text;
}

std::string utcStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &utc);
    return text;
}

} // namespace

void say(const std::string& line)
{
    std::fprintf(stderr, "quorvana: songs' memory: %s\n", line.c_str());
}

SongStore::SongStore(std::string path, size_t mostSongs, GiveWay giveWay)
    : path_(std::move(path)), mostSongs_(std::clamp<size_t>(mostSongs, 1, size_t {1} << 24)),
      giveWay_(std::move(giveWay))
{
}

SongStore::~SongStore()
{
    close();
}

SongStore::Outcome SongStore::read(const std::string& digest, std::optional<std::string>& value)
{
    return readOne(kRead, digest, kMostValueBytes, value);
}

SongStore::Outcome SongStore::readList(const std::string& name, std::optional<std::string>& value)
{
    return readOne(kReadList, name, kMostListBytes, value);
}

// The value SQL finds for KEY, at most MOST bytes long.
SongStore::Outcome SongStore::readOne(
    const char* sql, const std::string& key, size_t most, std::optional<std::string>& value)
{
    return run([&] {
        value.reset();
        Statement s(db_, sql);
        s.text(1, key);
        s.integer(2, static_cast<sqlite3_int64>(most));
        const int rc = s.step();
        if (rc == SQLITE_ROW)
            value = s.bytes(0);
        return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
    });
}

SongStore::Outcome SongStore::keepList(const std::string& name, const std::string& value)
{
    return run([&] {
        return transaction([&] {
            Statement s(db_, kKeepList);
            s.text(1, name);
            s.blob(2, value);
            return s.finish();
        });
    });
}

SongStore::Outcome SongStore::keep(const std::string& digest, const std::string& value)
{
    return run([&] {
        return transaction([&] {
            Statement upsert(db_, kUpsert);
            upsert.text(1, digest);
            upsert.blob(2, value);
            if (const int rc = upsert.finish(); rc != SQLITE_OK)
                return rc;
            Statement trim(db_, kTrim);
            trim.integer(1, static_cast<sqlite3_int64>(mostSongs_ - 1));
            return trim.finish();
        });
    });
}

SongStore::Outcome SongStore::touch(const std::string& digest)
{
    return run([&] {
        return transaction([&] {
            Statement s(db_, kTouch);
            s.text(1, digest);
            return s.finish();
        });
    });
}

SongStore::Outcome SongStore::drop(const std::string& digest)
{
    return run([&] {
        return transaction([&] {
            Statement s(db_, kDrop);
            s.text(1, digest);
            return s.finish();
        });
    });
}

SongStore::Outcome SongStore::begin()
{
    return run([] { return SQLITE_OK; });
}

SongStore::Outcome SongStore::run(const std::function<int()>& statements)
{
    // A file found damaged is set aside and the statements run again on the new one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (Outcome why; !ready(why))
            return why;
        const int rc = statements();
        if (rc == SQLITE_OK)
            return Outcome::Done;
        if (damaged(rc)) {
            setAside(sqlite3_errmsg(db_));
            continue;
        }
        if (busy(rc))
            return Outcome::Busy;
        // A full disk says so at every change: once is enough.
        if (!toldFailure_)
            say(path_ + " could not keep a change: " + sqlite3_errmsg(db_));
        toldFailure_ = true;
        return Outcome::Failed;
    }
    return off_ ? Outcome::Off : Outcome::Failed;
}

// BEGIN IMMEDIATE takes the write lock at once, so that waiting for another
// player happens before anything is done, never halfway through.
int SongStore::transaction(const std::function<int()>& body)
{
    int rc = exec(db_, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return rc;
    rc = body();
    if (rc == SQLITE_OK)
        rc = exec(db_, "COMMIT");
    if (!sqlite3_get_autocommit(db_))
        exec(db_, "ROLLBACK");
    return rc;
}

bool SongStore::ready(Outcome& why)
{
    if (off_) {
        why = Outcome::Off;
        return false;
    }
    // Another player may have set the file aside, or the user removed it:
    // what we hold open is then no longer the songs' memory.
    if (db_ && !stillOurs())
        close();
    if (!db_)
        why = open();
    return db_ != nullptr;
}

SongStore::Outcome SongStore::open()
{
    if (!kernel::makeFolders(kernel::folderOf(path_))) {
        turnOff(std::string("cannot make its folder: ") + std::strerror(errno));
        return Outcome::Off;
    }
    // Judging a file far larger than ours could ever be would take long.
    const uint64_t mostFileBytes = std::max<uint64_t>(uint64_t {64} << 20, uint64_t {mostSongs_} * 12288);
    const std::string tooLarge = "larger than " + std::to_string(mostFileBytes >> 20) + " MiB";
    // The file found there, then a new one if that was set aside.
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string damage;
        struct stat st { };
        if (::stat(path_.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode)) {
                turnOff("not a regular file");
                return Outcome::Off;
            }
            if (static_cast<uint64_t>(st.st_size) > mostFileBytes)
                damage = tooLarge;
        }
        if (::stat((path_ + "-wal").c_str(), &st) == 0 && static_cast<uint64_t>(st.st_size) > mostFileBytes)
            damage = "its log is " + tooLarge;
        if (damage.empty()) {
            const int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
            if (rc != SQLITE_OK) {
                const std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
                turnOff(why);
                return Outcome::Off;
            }
            if (::stat(path_.c_str(), &st) != 0) {
                turnOff(std::string("gone once opened: ") + std::strerror(errno));
                return Outcome::Off;
            }
            dev_ = st.st_dev;
            ino_ = st.st_ino;
            const Outcome outcome = prepare(damage);
            if (damage.empty()) {
                if (outcome != Outcome::Done)
                    close();
                return outcome;
            }
        }
        setAside(damage);
        if (off_)
            return Outcome::Off;
    }
    turnOff("a new file could not be begun");
    return Outcome::Off;
}

// Readies the file just opened. DAMAGE says why it cannot be trusted, if so.
SongStore::Outcome SongStore::prepare(std::string& damage)
{
    if (sqlite3_db_readonly(db_, "main") == 1) {
        turnOff("it may only be read");
        return Outcome::Off;
    }
    sqlite3_busy_handler(db_, &SongStore::onBusy, this);
    // The log lets a second player read while one writes, and a crash at
    // any moment leaves the last whole transaction; NORMAL may lose the
    // last few to a power cut, never tear the file.
    std::string mode, check, application, version, tables;
    int rc = query(db_, "PRAGMA journal_mode = WAL", mode);
    if (rc == SQLITE_OK)
        rc = exec(db_, "PRAGMA synchronous = NORMAL; PRAGMA trusted_schema = OFF");
    if (rc == SQLITE_OK)
        rc = query(db_, "PRAGMA quick_check(1)", check);
    if (rc == SQLITE_OK && check != "ok") {
        damage = "quick check: " + oneLine(check);
        return Outcome::Failed;
    }
    if (rc == SQLITE_OK)
        rc = query(db_, "PRAGMA application_id", application);
    if (rc == SQLITE_OK)
        rc = query(db_, "PRAGMA user_version", version);
    if (rc == SQLITE_OK)
        rc = query(db_, "SELECT count(*) FROM sqlite_schema", tables);
    if (rc == SQLITE_OK) {
        if (application == "0" && tables == "0") {
            rc = transaction([&] {
                return exec(db_,
                    "PRAGMA application_id = " + std::to_string(kApplicationId)
                        + "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";" + kSchema);
            });
        } else if (application != std::to_string(kApplicationId)) {
            damage = "not the songs' memory";
            return Outcome::Failed;
        } else if (version == "1") {
            rc = transaction([&] {
                return exec(db_, std::string(kSchema) + "PRAGMA user_version = " + std::to_string(kSchemaVersion));
            });
        } else if (version != std::to_string(kSchemaVersion)) {
            // A later player's file: it is theirs to keep, not ours to read.
            turnOff("written in another version (" + version + ")");
            return Outcome::Off;
        }
    }
    if (rc == SQLITE_OK)
        return Outcome::Done;
    if (damaged(rc)) {
        damage = oneLine(sqlite3_errmsg(db_));
        return Outcome::Failed;
    }
    if (busy(rc))
        return Outcome::Busy;
    turnOff(oneLine(sqlite3_errmsg(db_)));
    return Outcome::Off;
}

void SongStore::setAside(const std::string& reason)
{
    const bool ours = !db_ || stillOurs();
    close();
    if (!ours)
        return; // another player has set it aside already
    const std::string stamp = utcStamp();
    std::string target;
    kernel::Status moved;
    for (int n = 1; n <= 100; ++n) {
        target = path_ + ".damaged-" + stamp;
        if (n > 1) {
            target += '-';
            target += std::to_string(n);
        }
        moved = kernel::moveFile(path_, target);
        if (!moved.targetExists())
            break;
    }
    if (moved.error == ENOENT)
        return;
    if (!moved.ok()) {
        turnOff("damaged (" + reason + ") and cannot be set aside: " + moved.text());
        return;
    }
    // The log and the index belong to the old file: beside a new one the
    // log would be read into it.
    for (const char* part : {"-wal", "-shm"})
        if (!kernel::moveFile(path_ + part, target + part).ok())
            ::unlink((path_ + part).c_str());
    say(path_ + " set aside as " + target + ": " + reason);
}

void SongStore::turnOff(const std::string& reason)
{
    close();
    off_ = true;
    say(path_ + " cannot be used: " + reason);
}

bool SongStore::stillOurs() const
{
    struct stat st { };
    return ::stat(path_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_;
}

void SongStore::close()
{
    if (db_)
        sqlite3_close_v2(db_);
    db_ = nullptr;
}

int SongStore::onBusy(void* self, int count)
{
    auto& store = *static_cast<SongStore*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0)
        store.busySince_ = now;
    if (now - store.busySince_ >= kBusyTimeout)
        return 0;
    return store.giveWay_(kBusyPause) ? 0 : 1;
}

} // namespace memory
