#pragma once
// The requests to end that come from outside the window: a logout's SIGHUP,
// kill's SIGTERM, a terminal's Ctrl+C (SIGINT). Each reaches the program as
// a call from its event loop, so that it ends as a close of its window does;
// a second one while it does ends the process at once.
#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace ui {

class QuitSignals : public QObject {
    Q_OBJECT

public:
    // From now on these signals no longer end the process; the first waits
    // for whenQuit. One watcher at a time.
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

    // QUIT runs from the event loop for the first signal, one that came
    // before included.
    void whenQuit(std::function<void()> quit);

    // A signal has come, though the event loop may not have heard of it yet.
    // Safe from any thread.
    static bool requested();

private:
    void readSignal();

    std::function<void()> quit_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace ui
