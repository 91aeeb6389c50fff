#include "tests/platform/mci/video/test_media.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace video_test {

bool haveFfmpeg() { return !QStandardPaths::findExecutable("ffmpeg").isEmpty(); }

bool ffmpeg(const QStringList& args, const std::string& out)
{
    // fork and exec rather than QProcess: Qt starts programs in a way that
    // ThreadSanitizer cannot follow, and the tests are run under it.
    std::vector<std::string> words{"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
    for (const QString& a : args)
        words.push_back(a.toStdString());
    words.push_back(out);
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        execvp("ffmpeg", argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int frameNumber(const QImage& image)
{
    if (image.isNull() || image.width() < 128)
        return -1;
    int n = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (qGray(image.pixel(bit * 16 + 8, image.height() / 2)) > 128)
            n |= 1 << bit;
    return n;
}

QStringList counterSource(const QString& rate)
{
    return {"-f", "lavfi", "-i",
            "nullsrc=s=128x32:r=" + rate + ",geq=lum='if(bitand(N\\,pow(2\\,floor(X/16)))\\,235\\,16)':cb=128:cr=128"};
}

bool waitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return true;
}

int64_t ManualClock::nowUs() const
{
    std::lock_guard lock(mutex_);
    return us_;
}

void ManualClock::setRunning(bool running)
{
    std::lock_guard lock(mutex_);
    running_ = running;
}

void ManualClock::setUs(int64_t us)
{
    std::lock_guard lock(mutex_);
    us_ = us;
}

void ManualClock::setWake(std::function<void()> wake)
{
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

bool ManualClock::running() const
{
    std::lock_guard lock(mutex_);
    return running_;
}

void ManualClock::advance(int64_t us)
{
    std::function<void()> wake;
    {
        std::lock_guard lock(mutex_);
        if (running_)
            us_ += us;
        wake = wake_;
    }
    if (wake)
        wake();
}

namespace {

mci::video::Environment steppedEnvironment(ManualClock** clock)
{
    mci::video::Environment env;
    env.openAudio
        = [](const audio::Format&, audio::RenderFn, const std::string&, std::string& error, const audio::StreamLabel&) {
              error = "No sound output in this test.";
              return std::unique_ptr<audio::Output>();
          };
    env.makeSilentClock = [clock] {
        auto c = std::make_unique<ManualClock>();
        *clock = c.get();
        return c;
    };
    return env;
}

} // namespace

SteppedDevice::SteppedDevice(const multimedia::Choices& choices) : device(steppedEnvironment(&clock), choices)
{
}

bool SteppedDevice::playToEnd(int64_t stepUs)
{
    return waitUntil([&] {
        if (device.mode() != mci::Mode::Playing)
            return true;
        clock->advance(stepUs);
        return false;
    });
}

} // namespace video_test
