#include "framework/quit_signals.h"

#include "framework/guard.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ui {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler may run on any thread and may do almost nothing: it writes
// one byte into a pipe that the event loop watches.
int pipeEnds[2] = {-1, -1};
std::atomic<int> firstSignal {0};
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction previous[std::size(kSignals)];

extern "C" void onQuitSignal(int signal)
{
    int expected = 0;
    if (!firstSignal.compare_exchange_strong(expected, signal)) {
        // Asked again while ending: the default action, at once.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const int savedErrno = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent)
{
    firstSignal = 0;
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    notifier_->setEnabled(false);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readSignal(); });
    struct sigaction action { };
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &previous[i]);
}

QuitSignals::~QuitSignals()
{
    if (!notifier_)
        return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &previous[i], nullptr);
    notifier_.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void QuitSignals::whenQuit(std::function<void()> quit)
{
    quit_ = std::move(quit);
    if (notifier_)
        notifier_->setEnabled(true);
}

bool QuitSignals::requested()
{
    return firstSignal.load() != 0;
}

void QuitSignals::readSignal()
{
    char bytes[16];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) { }
    // Once: what comes after the first ends the process in the handler.
    notifier_->setEnabled(false);
    if (quit_)
        guard(quit_);
}

} // namespace ui
