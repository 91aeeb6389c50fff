#include "platform/mci/video/presenter.h"

#include <algorithm>
#include <chrono>

namespace mci::video {

Presenter::Presenter(Session& session, std::function<void()> wakeWindow)
    : s_(session), wakeWindow_(std::move(wakeWindow))
{
}

Presenter::~Presenter() { join(); }

void Presenter::start()
{
    thread_ = std::thread([this] { run(); });
}

void Presenter::join()
{
    if (thread_.joinable())
        thread_.join();
}

void Presenter::run()
{
    std::unique_lock lock(s_.mutex);
    while (!s_.quit) {
        if (!s_.pool.empty()) {
            const Frame& head = s_.pool[s_.pool.front()];
            if (head.epoch != s_.epoch) {
                s_.pool.give(s_.pool.pop());
                s_.decoderWake.notify_all();
                continue;
            }
            if (head.preroll) {
                show(head.startUs);
                s_.prerolled = true;
                s_.updateClock();
                s_.decoderWake.notify_all();
                continue;
            }
        }
        if (!s_.playing || !s_.prerolled || s_.ended) {
            s_.presenterWake.wait(lock);
            continue;
        }
        const int64_t now = s_.clock.nowUs();
        if (now >= s_.endUs) {
            finish(lock);
            continue;
        }
        if (s_.pool.empty()) {
            waitFor(lock, s_.endUs - now);
            continue;
        }
        const Frame& head = s_.pool[s_.pool.front()];
        // Late by more than a frame: dropped, unless the picture on screen is
        // old already. A machine too slow for the file would otherwise drop
        // every frame and show one still picture to the end.
        if (now > head.endUs && now - lastShownUs_ < kMaxStillUs) {
            drop();
            continue;
        }
        if (now < head.startUs) {
            waitFor(lock, std::min(head.startUs, s_.endUs) - now);
            continue;
        }
        show(now);
    }
}

void Presenter::show(int64_t atUs)
{
    lastShownUs_ = atUs;
    ++s_.presented;
    const int slot = s_.pool.pop();
    const int unseen = s_.mailbox;
    s_.mailbox = slot;
    if (unseen >= 0) { // the window did not get round to it
        s_.pool.give(unseen);
        ++s_.dropped;
        s_.decoderWake.notify_all();
    }
    wakeWindow_();
}

void Presenter::drop()
{
    s_.pool.give(s_.pool.pop());
    ++s_.dropped;
    s_.decoderWake.notify_all();
}

void Presenter::finish(std::unique_lock<std::mutex>& lock)
{
    s_.ended = true;
    s_.playing = false;
    s_.paused = false;
    s_.updateClock();
    wakeWindow_(); // the GUI thread lets the sound card rest
    const std::function<void()> notify = s_.endNotify;
    if (notify) {
        lock.unlock();
        notify();
        lock.lock();
    }
}

void Presenter::waitFor(std::unique_lock<std::mutex>& lock, int64_t us)
{
    // The sound card's clock stands still between late periods; a floor on the
    // wait keeps that from turning into a spin.
    s_.presenterWake.wait_for(lock, std::chrono::microseconds(std::max<int64_t>(us, 1000)));
}

} // namespace mci::video
