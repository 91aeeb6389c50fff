#include "platform/memory/song_memory.h"

#include "platform/memory/song_store.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace memory {

namespace {

using namespace std::chrono_literals;

// The window waits no longer for an answer: it has 200 ms for everything.
constexpr auto kRecallWait = 100ms;
// Before trying again a change that found the file locked for its whole wait.
constexpr auto kRetryPause = 1s;

// A list's changes wait beside the songs' under a key no digest can be.
const std::string kListPrefix = std::string(1, '\0') + "list:";

std::string listKey(const std::string& name)
{
    return kListPrefix + name;
}

bool isListKey(const std::string& key)
{
    return key.starts_with(kListPrefix);
}

} // namespace

class SongMemory::Worker {
public:
    Worker(std::string path, size_t mostSongs);
    ~Worker();

    std::optional<std::string> recall(const std::string& digest);
    void recallList(const std::string& name, std::function<void(std::optional<std::string>)> then);
    enum class Kind { Keep, Forget, Touch, KeepList };
    void change(Kind kind, const std::string& digest, const std::string& value);

private:
    struct Question {
        std::string digest;
        // A list's question is answered here, on the worker, and never waited for.
        std::function<void(std::optional<std::string>)> then;
        std::optional<std::string> answer;
        bool done = false;
        bool abandoned = false; // the window has stopped waiting
    };
    struct Change {
        Kind kind;
        std::string digest;
        std::string value;
        uint64_t serial; // new whenever the change is replaced or moved
    };
    using Lock = std::unique_lock<std::mutex>;

    void run();
    void loop();
    void answerNext(Lock& lock);
    SongStore::Outcome applyNext(Lock& lock);
    void queue(Kind kind, const std::string& digest, const std::string& value);
    bool giveWay(std::chrono::milliseconds pause);
    void turnOff();

    std::mutex mutex_;
    std::condition_variable wake_; // the worker's
    std::condition_variable answered_; // the window's
    std::deque<std::shared_ptr<Question>> questions_;
    // The changes not written yet, oldest first, at most one per song: a
    // newer one replaces it, so a file locked for long holds back no more
    // than one change for each song touched meanwhile.
    std::list<Change> changes_;
    std::unordered_map<std::string, std::list<Change>::iterator> changeOf_;
    uint64_t serial_ = 0;
    bool stopping_ = false;
    bool off_ = false;
    SongStore store_; // the worker's alone
    std::thread thread_;
};

SongMemory::Worker::Worker(std::string path, size_t mostSongs)
    : store_(std::move(path), mostSongs, [this](std::chrono::milliseconds pause) { return giveWay(pause); })
{
    try {
        thread_ = std::thread(&Worker::run, this);
    } catch (const std::system_error& e) {
        off_ = true;
        say(std::string("no worker: ") + e.what());
    }
}

SongMemory::Worker::~Worker()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

std::optional<std::string> SongMemory::Worker::recall(const std::string& digest)
{
    Lock lock(mutex_);
    if (off_ || digest.size() > kMostDigestBytes)
        return std::nullopt;
    // A change not written yet is what the file is about to say.
    if (const auto it = changeOf_.find(digest); it != changeOf_.end() && it->second->kind != Kind::Touch) {
        if (it->second->kind == Kind::Forget)
            return std::nullopt;
        std::optional<std::string> value = it->second->value;
        queue(Kind::Touch, digest, {});
        return value;
    }
    const auto question = std::make_shared<Question>();
    question->digest = digest;
    questions_.push_back(question);
    wake_.notify_one();
    if (!answered_.wait_for(lock, kRecallWait, [&] { return question->done; })) {
        question->abandoned = true;
        return std::nullopt;
    }
    return std::move(question->answer);
}

void SongMemory::Worker::recallList(const std::string& name, std::function<void(std::optional<std::string>)> then)
{
    Lock lock(mutex_);
    const std::string key = listKey(name);
    if (const auto it = changeOf_.find(key); it != changeOf_.end()) {
        std::optional<std::string> value = it->second->value;
        lock.unlock();
        then(std::move(value));
        return;
    }
    if (off_) {
        lock.unlock();
        then(std::nullopt);
        return;
    }
    const auto question = std::make_shared<Question>();
    question->digest = key;
    question->then = std::move(then);
    questions_.push_back(question);
    wake_.notify_one();
}

void SongMemory::Worker::change(Kind kind, const std::string& digest, const std::string& value)
{
    std::lock_guard lock(mutex_);
    queue(kind, digest, value);
}

void SongMemory::Worker::queue(Kind kind, const std::string& digest, const std::string& value)
{
    if (off_)
        return;
    if (const auto it = changeOf_.find(digest); it != changeOf_.end()) {
        const auto pending = it->second;
        if (kind == Kind::Touch) {
            // What is pending stays; being used makes it the newest.
            changes_.splice(changes_.end(), changes_, pending);
            pending->serial = ++serial_;
            wake_.notify_one();
            return;
        }
        changes_.erase(pending);
        changeOf_.erase(it);
    }
    changes_.push_back({kind, digest, value, ++serial_});
    changeOf_.emplace(digest, std::prev(changes_.end()));
    wake_.notify_one();
}

void SongMemory::Worker::run()
{
    try {
        loop();
    } catch (...) {
        // Only memory running out gets here: the player goes on without us.
        std::lock_guard lock(mutex_);
        turnOff();
        say("stopped: out of memory");
    }
    store_.close();
}

void SongMemory::Worker::loop()
{
    if (store_.begin() == SongStore::Outcome::Off) {
        std::lock_guard lock(mutex_);
        turnOff();
    }
    Lock lock(mutex_);
    auto retryAt = std::chrono::steady_clock::time_point::min();
    for (;;) {
        // Questions first: the window may be waiting for one.
        if (!questions_.empty()) {
            answerNext(lock);
            continue;
        }
        if (!changes_.empty() && (stopping_ || std::chrono::steady_clock::now() >= retryAt)) {
            // A change that gave way to a question is tried again at once.
            if (applyNext(lock) == SongStore::Outcome::Busy && questions_.empty()) {
                if (stopping_) {
                    say(std::to_string(changes_.size()) + " change(s) not kept: the file stayed locked");
                    changes_.clear();
                    changeOf_.clear();
                } else {
                    retryAt = std::chrono::steady_clock::now() + kRetryPause;
                }
            }
            continue;
        }
        if (stopping_)
            return;
        if (changes_.empty())
            wake_.wait(lock);
        else
            wake_.wait_until(lock, retryAt);
    }
}

void SongMemory::Worker::answerNext(Lock& lock)
{
    const auto question = questions_.front();
    questions_.pop_front();
    if (question->abandoned)
        return;
    lock.unlock();
    std::optional<std::string> value;
    const bool list = isListKey(question->digest);
    const SongStore::Outcome outcome = list ? store_.readList(question->digest.substr(kListPrefix.size()), value)
                                            : store_.read(question->digest, value);
    if (question->then) {
        question->then(std::move(value));
        lock.lock();
        if (outcome == SongStore::Outcome::Off)
            turnOff();
        return;
    }
    lock.lock();
    if (outcome == SongStore::Outcome::Off)
        turnOff();
    const bool found = value.has_value();
    question->answer = std::move(value);
    question->done = true;
    answered_.notify_all();
    if (found && !question->abandoned)
        queue(Kind::Touch, question->digest, {});
}

SongStore::Outcome SongMemory::Worker::applyNext(Lock& lock)
{
    const Change change = changes_.front();
    lock.unlock();
    SongStore::Outcome outcome = SongStore::Outcome::Done;
    switch (change.kind) {
    case Kind::Keep:
        outcome = store_.keep(change.digest, change.value);
        break;
    case Kind::Forget:
        outcome = store_.drop(change.digest);
        break;
    case Kind::Touch:
        outcome = store_.touch(change.digest);
        break;
    case Kind::KeepList:
        outcome = store_.keepList(change.digest.substr(kListPrefix.size()), change.value);
        break;
    }
    lock.lock();
    if (outcome == SongStore::Outcome::Off) {
        turnOff();
    } else if (outcome != SongStore::Outcome::Busy) {
        // Written, or lost for good; a newer change made meanwhile is still to come.
        if (const auto it = changeOf_.find(change.digest);
            it != changeOf_.end() && it->second->serial == change.serial) {
            changes_.erase(it->second);
            changeOf_.erase(it);
        }
    }
    return outcome;
}

// Waits while another connection holds the file, cut short by a question.
bool SongMemory::Worker::giveWay(std::chrono::milliseconds pause)
{
    Lock lock(mutex_);
    return wake_.wait_for(lock, pause, [&] { return !questions_.empty(); });
}

void SongMemory::Worker::turnOff()
{
    off_ = true;
    changes_.clear();
    changeOf_.clear();
    for (const auto& question : questions_) {
        question->done = true;
        if (question->then)
            question->then(std::nullopt);
    }
    questions_.clear();
    answered_.notify_all();
}

SongMemory::SongMemory(std::string path, size_t mostSongs)
    : worker_(std::make_unique<Worker>(std::move(path), mostSongs))
{
}

SongMemory::~SongMemory() = default;

std::optional<std::string> SongMemory::recall(const std::string& digest)
{
    return worker_->recall(digest);
}

void SongMemory::remember(const std::string& digest, const std::string& value)
{
    if (value.size() > kMostValueBytes || digest.size() > kMostDigestBytes) {
        say("refused a value of " + std::to_string(value.size()) + " bytes for a digest of "
            + std::to_string(digest.size()) + " (at most " + std::to_string(kMostValueBytes) + " and "
            + std::to_string(kMostDigestBytes) + ")");
        return;
    }
    worker_->change(Worker::Kind::Keep, digest, value);
}

void SongMemory::recallList(const std::string& name, std::function<void(std::optional<std::string>)> then)
{
    worker_->recallList(name, std::move(then));
}

void SongMemory::keepList(const std::string& name, const std::string& value)
{
    if (value.size() > kMostListBytes) {
        say("refused a list of " + std::to_string(value.size()) + " bytes (at most " + std::to_string(kMostListBytes)
            + ")");
        return;
    }
    worker_->change(Worker::Kind::KeepList, listKey(name), value);
}

void SongMemory::forget(const std::string& digest)
{
    if (digest.size() <= kMostDigestBytes)
        worker_->change(Worker::Kind::Forget, digest, {});
}

} // namespace memory
