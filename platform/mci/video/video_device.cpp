#include "platform/mci/video/video_device.h"

#include "platform/mci/video/decoder.h"
#include "platform/mci/video/media_file.h"
#include "platform/mci/video/presenter.h"
#include "platform/mci/video/session.h"
#include "platform/mci/video/video_window.h"

#include <QApplication>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace mci {

std::unique_ptr<Device> makeVideoDevice(const multimedia::Choices& choices)
{
    return std::make_unique<video::VideoDevice>(video::Environment {}, choices);
}

namespace video {

namespace {

QString windowTitle(const std::string& path, bool silent)
{
    const auto slash = path.find_last_of('/');
    QString title = QFile::decodeName(QByteArray::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
    // Without a message box the title is where the user learns why it is quiet.
    if (silent)
        title += QStringLiteral(" (no sound)");
    return title;
}

} // namespace

VideoDevice::VideoDevice(Environment env, multimedia::Choices choices)
    : env_(std::move(env)), choices_(std::move(choices))
{
}

VideoDevice::~VideoDevice() { close(); }

Result VideoDevice::notOpen() const
{
    return Result::failure(ErrInvalidDeviceName, errorText(ErrInvalidDeviceName));
}

Result VideoDevice::open(const std::string& path)
{
    close();
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return Result::failure(ErrDeviceNotReady, "Video needs the program's windows to be running.");

    auto file = std::make_unique<MediaFile>();
    Result r = file->open(path);
    if (!r.ok())
        return r;

    soundProblem_ = file->soundProblem();
    AudioClock* audioClock = nullptr;
    std::unique_ptr<Clock> clock = openClock(*file, path, audioClock);

    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0)
        return Result::failure(ErrHardware, std::string("The video cannot be shown: ") + std::strerror(errno) + ".");

    file_ = std::move(file);
    clock_ = std::move(clock);
    audioClock_ = audioClock;
    wakeFd_ = fd;
    beginSession();
    openWindow(path);
    return startThreads();
}

std::unique_ptr<Clock> VideoDevice::openClock(const MediaFile& file, const std::string& path, AudioClock*& audioClock)
{
    if (file.audio()) {
        auto ac = std::make_unique<AudioClock>(file.sampleRate(), file.channels());
        std::string error;
        if (ac->open(env_.openAudio, choices_.soundOutput, error, audio::fileLabel(path, audio::Role::Video))) {
            audioClock = ac.get();
            return ac;
        }
        // The picture is the point of a video: it plays without sound.
        soundProblem_ = error.empty() ? errorText(ErrNoAudioDevice) : error;
    }
    return env_.makeSilentClock ? env_.makeSilentClock() : std::make_unique<WallClock>();
}

void VideoDevice::beginSession()
{
    session_ = std::make_unique<Session>(*clock_, file_->timeline(), file_->frames(), file_->width(),
                                         file_->height());
    session_->endNotify = endNotify_;
    session_->ended = file_->frames() == 0;
    format_ = TimeFormat::Frames;
    framesShown_ = 0;
    playAtNs_ = -1;
    firstFrameUs_ = -1;
}

void VideoDevice::openWindow(const std::string& path)
{
    window_.reset(new VideoWindow(
        windowTitle(path, !soundProblem_.empty()), QSize(file_->width(), file_->height()), choices_.videoSize));
    window_->onUserClose = [this] { userClosedWindow(); };
    window_->onFramePainted = [this] { framePainted(); };
    notifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { takeFrame(); });
}

Result VideoDevice::startThreads()
{
    Session* s = session_.get();
    clock_->setWake([s] {
        std::lock_guard lock(s->mutex);
        s->presenterWake.notify_all();
    });
    decoder_ = std::make_unique<Decoder>(*file_, *session_, audioClock_);
    presenter_ = std::make_unique<Presenter>(*session_, [fd = wakeFd_] {
        const uint64_t one = 1;
        // Full only after 2^64 - 1 unread wakes; nothing to do about it then.
        [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
    });
    try {
        decoder_->start();
        presenter_->start();
    } catch (const std::system_error& e) {
        close();
        return Result::failure(ErrOutOfMemory, std::string("The video cannot be played: ") + e.what() + ".");
    }
    return Result::success();
}

void VideoDevice::close()
{
    if (!session_)
        return;
    {
        std::lock_guard lock(session_->mutex);
        session_->quit = true;
        session_->decoderWake.notify_all();
        session_->presenterWake.notify_all();
    }
    file_->abort();
    decoder_->join();
    presenter_->join();
    clock_->setWake({});
    decoder_.reset();
    presenter_.reset();
    notifier_.reset();
    window_.reset(); // paints from the frame slots: goes before them
    session_.reset();
    file_.reset();
    audioClock_ = nullptr;
    clock_.reset(); // the sound card stops taking from the ring before it goes
    ::close(wakeFd_);
    wakeFd_ = -1;
}

void VideoDevice::setEndNotify(std::function<void()> notify)
{
    endNotify_ = std::move(notify);
    if (session_) {
        std::lock_guard lock(session_->mutex);
        session_->endNotify = endNotify_;
    }
}

QWidget* VideoDevice::window() const { return window_.get(); }

QImage VideoDevice::currentFrame() const
{
    if (!window_ || !window_->frame())
        return {};
    return window_->frame()->copy();
}

Statistics VideoDevice::statistics() const
{
    Statistics st;
    st.framesShown = framesShown_;
    st.firstFrameUs = firstFrameUs_;
    if (session_) {
        std::lock_guard lock(session_->mutex);
        st.framesPresented = session_->presented;
        st.framesDropped = session_->dropped;
        st.framesConverted = session_->converted;
    }
    return st;
}

void VideoDevice::takeFrame()
{
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
    int slot = -1;
    bool ended = false;
    {
        Session& s = *session_;
        std::lock_guard lock(s.mutex);
        slot = s.mailbox;
        s.mailbox = -1;
        ended = s.ended;
        if (slot < 0) {
            if (ended && audioClock_)
                audioClock_->pauseOutput();
        } else {
            if (s.onScreen >= 0) {
                s.pool.give(s.onScreen);
                s.decoderWake.notify_all();
            }
            s.onScreen = slot;
        }
    }
    if (slot >= 0) {
        ++framesShown_;
        window_->showFrame(&session_->pool[slot].picture());
    }
    if (ended)
        window_->playEnded();
}

void VideoDevice::userClosedWindow()
{
    // The player above did not ask for this stop: it hears of it as it hears
    // of the end, or its buttons and the desktop would go on saying "playing".
    const Mode before = mode();
    stop();
    if (before != Mode::Stopped && endNotify_)
        endNotify_();
}

} // namespace video
} // namespace mci
