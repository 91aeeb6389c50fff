#include "platform/mci/device_window.h"
#include "platform/mci/video/video_device.h"
#include "platform/multimedia/choices.h"

#include "tests/platform/mci/video/test_media.h"
#include "tests/support/fifo.h"
#include "tests/support/temp_dir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <unistd.h>

using mci::Mode;
using mci::TimeFormat;
using mci::video::VideoDevice;
using namespace video_test;

namespace {

// Files shared by the tests, made once.
struct Media {
    testing_support::TempDir dir;
    std::string counter;   // 128x32, 25 fps, 50 frames, a key frame every 12, B-frames
    std::string sound;     // 160x120, 25 fps, 1 s, PCM sound
    std::string counterWithSound;
};

Media* media = nullptr;

std::string damagedCopy(const std::string& from, const std::string& to,
                        const std::function<void(std::string&)>& damage)
{
    std::string bytes = testing_support::readFile(from);
    damage(bytes);
    std::ofstream(to, std::ios::binary | std::ios::trunc) << bytes;
    return to;
}

uint32_t lengthIn(VideoDevice& d, TimeFormat format)
{
    d.setTimeFormat(format);
    uint32_t v = 0;
    EXPECT_TRUE(d.length(v).ok());
    return v;
}

uint32_t positionIn(VideoDevice& d, TimeFormat format)
{
    d.setTimeFormat(format);
    uint32_t v = 0;
    EXPECT_TRUE(d.position(v).ok());
    return v;
}

int shownFrame(VideoDevice& d) { return frameNumber(d.currentFrame()); }

class VideoDeviceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!haveFfmpeg())
            return;
        media = new Media;
        const auto counter = counterSource("25");
        const QStringList mpeg4{"-c:v", "mpeg4", "-q:v", "2", "-g", "12", "-bf", "2"};
        const QStringList tone{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050"};
        media->counter = (media->dir / "counter.avi").string();
        media->sound = (media->dir / "sound.avi").string();
        media->counterWithSound = (media->dir / "counter sound.avi").string();
        const bool made =
            ffmpeg(counter + QStringList{"-frames:v", "50"} + mpeg4, media->counter)
            && ffmpeg(QStringList{"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25"} + tone
                          + QStringList{"-t", "1", "-c:v", "mpeg4", "-c:a", "pcm_s16le", "-ac", "2"},
                      media->sound)
            && ffmpeg(counter + tone + QStringList{"-t", "2"} + mpeg4 + QStringList{"-c:a", "pcm_s16le"},
                      media->counterWithSound);
        if (!made) {
            delete media;
            media = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete media;
        media = nullptr;
    }
    void SetUp() override
    {
        if (!media)
            GTEST_SKIP() << "the ffmpeg command is needed to make the test videos";
    }
};

TEST_F(VideoDeviceTest, RefusesWhatItCannotPlayWithAClearText)
{
    const auto& dir = media->dir;
    const std::string audioOnly = (dir / "audio only.avi").string();
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "sine=sample_rate=8000", "-t", "0.5", "-c:a", "pcm_u8"}, audioOnly));
    struct Case {
        std::string path;
        uint32_t code;
        std::string says;
    } cases[] = {
        {(dir / "missing.avi").string(), mci::ErrFileNotFound, "missing.avi"},
        {dir.write("empty.avi", ""), mci::ErrInvalidFile, "empty.avi"},
        {dir.write("noise.avi", std::string(5000, '\x5a')), mci::ErrInvalidFile, "noise.avi"},
        {dir.write("riff.avi", "RIFF\x10\0\0\0AVI LIST\x04\0\0\0hdrl"), mci::ErrInvalidFile, "riff.avi"},
        {audioOnly, mci::ErrInvalidFile, "no video stream"},
        {dir.str(), mci::ErrFileNotFound, ""},
        {testing_support::makeFifo((dir / "pipe.avi").string()), mci::ErrInvalidFile, "pipe.avi"},
    };
    for (const Case& c : cases) {
        VideoDevice d;
        const mci::Result r = d.open(c.path);
        EXPECT_EQ(r.code, c.code) << c.path;
        EXPECT_NE(r.text.find(c.says), std::string::npos) << r.text;
        EXPECT_EQ(d.mode(), Mode::NotReady);
        EXPECT_EQ(d.window(), nullptr);
        uint32_t v = 0;
        EXPECT_FALSE(d.length(v).ok());
        EXPECT_FALSE(d.play().ok());
    }
}

struct CodecCase {
    const char* name;
    QStringList args;
    QSize window;
    uint32_t frames;
    uint32_t ms;
};

class VideoCodecTest : public VideoDeviceTest, public ::testing::WithParamInterface<CodecCase> {};

// Each codec: the lengths in both formats, the window's size and title, and a
// run to the end with a picture on screen.
TEST_P(VideoCodecTest, MeasuresShowsAndPlaysToTheEnd)
{
    const CodecCase& c = GetParam();
    const std::string path = (media->dir / (std::string(c.name) + ".avi")).string();
    ASSERT_TRUE(ffmpeg(c.args, path)) << c.name;
    SteppedDevice s;
    VideoDevice& d = s.device;
    ASSERT_TRUE(d.open(path).ok()) << c.name;
    EXPECT_EQ(lengthIn(d, TimeFormat::Frames), c.frames);
    EXPECT_EQ(lengthIn(d, TimeFormat::Milliseconds), c.ms);
    ASSERT_NE(d.window(), nullptr);
    EXPECT_EQ(d.window()->size(), c.window);
    EXPECT_TRUE(d.window()->windowTitle().startsWith(QString(c.name) + ".avi"));

    ASSERT_TRUE(d.play().ok());
    EXPECT_TRUE(waitUntil([&] { return !d.currentFrame().isNull(); }));
    EXPECT_EQ(d.currentFrame().size(), c.window);
    ASSERT_TRUE(s.playToEnd());
    EXPECT_EQ(positionIn(d, TimeFormat::Milliseconds), c.ms);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), c.frames);
}

const QStringList testPicture(const QString& size, const QString& rate)
{
    return {"-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=" + rate};
}
const QStringList someSound(const QString& rate)
{
    return {"-f", "lavfi", "-i", "sine=sample_rate=" + rate};
}

INSTANTIATE_TEST_SUITE_P(
    PeriodAndLaterCodecs, VideoCodecTest,
    ::testing::Values(
        CodecCase{"cinepak", testPicture("32x32", "15") + QStringList{"-t", "1", "-c:v", "cinepak", "-pix_fmt", "rgb24"},
                  {32, 32}, 15, 1000},
        CodecCase{"msvideo1", testPicture("32x32", "15") + someSound("11025")
                                  + QStringList{"-t", "1", "-c:v", "msvideo1", "-pix_fmt", "rgb555le", "-c:a", "pcm_u8"},
                  {32, 32}, 15, 1000},
        CodecCase{"mjpeg", testPicture("64x48", "15") + someSound("44100")
                               + QStringList{"-t", "1", "-c:v", "mjpeg", "-pix_fmt", "yuvj420p", "-c:a", "libmp3lame"},
                  // The muxer leaves frame 1 empty here: a gap is still a frame.
                  {64, 48}, 16, 1067},
        CodecCase{"msmpeg4", testPicture("64x48", "10") + someSound("22050")
                                 + QStringList{"-t", "2", "-c:v", "msmpeg4", "-c:a", "adpcm_ms"},
                  {64, 48}, 20, 2000},
        CodecCase{"xvid packed bframes", testPicture("64x48", "25")
                                              + QStringList{"-t", "1", "-c:v", "libxvid", "-bf", "2"},
                  {64, 48}, 25, 1000},
        CodecCase{"mpeg4 wide pixels", testPicture("64x48", "25")
                                           + QStringList{"-t", "1", "-vf", "setsar=2", "-c:v", "mpeg4"},
                  {128, 48}, 25, 1000},
        CodecCase{"ntsc", testPicture("32x32", "30000/1001")
                              + QStringList{"-frames:v", "10", "-c:v", "mpeg4", "-r", "30000/1001"},
                  {32, 32}, 10, 334}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (ch == ' ')
                ch = '_';
        return n;
    });

// 24-bit pictures take a path of their own to the screen; a row not a whole
// number of sixteen pixels wide tests its tail too.
TEST_F(VideoDeviceTest, TwentyFourBitPicturesShowTheFilesOwnColours)
{
    const std::string path = (media->dir / "bars.avi").string();
    const std::string reference = (media->dir / "bars.png").string();
    ASSERT_TRUE(ffmpeg(testPicture("36x20", "10") + QStringList{"-frames:v", "3", "-c:v", "cinepak", "-pix_fmt", "rgb24"},
                       path));
    ASSERT_TRUE(ffmpeg({"-i", QString::fromStdString(path), "-frames:v", "1"}, reference));
    VideoDevice d;
    ASSERT_TRUE(d.open(path).ok());
    ASSERT_TRUE(waitUntil([&] { return !d.currentFrame().isNull(); }));
    EXPECT_EQ(d.currentFrame().convertToFormat(QImage::Format_RGB32),
              QImage(QString::fromStdString(reference)).convertToFormat(QImage::Format_RGB32));
}

TEST_F(VideoDeviceTest, SeeksToTheExactFrameWithoutShowingTheOnesBetween)
{
    SteppedDevice s;
    VideoDevice& d = s.device;
    ASSERT_TRUE(d.open(media->counter).ok());
    EXPECT_TRUE(waitUntil([&] { return shownFrame(d) == 0; }));
    uint32_t shownBefore = 0;
    for (uint32_t target : {37u, 13u, 12u, 11u, 1u, 49u, 24u, 0u}) {
        shownBefore = static_cast<uint32_t>(d.statistics().framesShown);
        ASSERT_TRUE(d.seek(target).ok());
        EXPECT_EQ(d.mode(), Mode::Stopped);
        uint32_t pos = 0;
        d.position(pos);
        EXPECT_EQ(pos, target);
        EXPECT_TRUE(waitUntil([&] { return shownFrame(d) == static_cast<int>(target); })) << target;
        // One picture per seek: the frames decoded on the way are not shown.
        EXPECT_EQ(d.statistics().framesShown, shownBefore + 1u) << target;
    }
    d.setTimeFormat(TimeFormat::Milliseconds);
    ASSERT_TRUE(d.seek(1499).ok()); // inside frame 37 (1480..1520 ms)
    EXPECT_TRUE(waitUntil([&] { return shownFrame(d) == 37; }));
    EXPECT_EQ(positionIn(d, TimeFormat::Milliseconds), 1499u);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 37u);
    // Past the middle of the frame, still the frame that holds the time.
    d.setTimeFormat(TimeFormat::Milliseconds);
    ASSERT_TRUE(d.seek(0).ok());
    ASSERT_TRUE(waitUntil([&] { return shownFrame(d) == 0; }));
    ASSERT_TRUE(d.seek(1515).ok());
    EXPECT_TRUE(waitUntil([&] { return shownFrame(d) != 0; }));
    EXPECT_EQ(shownFrame(d), 37);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 37u);
}

TEST_F(VideoDeviceTest, SeeksOutsideTheFileAreRefusedAndTheEndIsTheLength)
{
    SteppedDevice s;
    VideoDevice& d = s.device;
    std::atomic<int> ends{0};
    d.setEndNotify([&] { ++ends; });
    ASSERT_TRUE(d.open(media->counter).ok());
    EXPECT_EQ(d.seek(51).code, mci::ErrOutOfRange);
    d.setTimeFormat(TimeFormat::Milliseconds);
    EXPECT_EQ(d.seek(2001).code, mci::ErrOutOfRange);

    ASSERT_TRUE(d.seek(2000).ok());
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 50u);
    ASSERT_TRUE(d.seekToStart().ok());
    EXPECT_EQ(positionIn(d, TimeFormat::Milliseconds), 0u);
    ASSERT_TRUE(d.seekToEnd().ok());
    EXPECT_EQ(positionIn(d, TimeFormat::Milliseconds), 2000u);
    EXPECT_TRUE(waitUntil([&] { return shownFrame(d) == 49; }));
    EXPECT_EQ(ends, 0); // a seek is not the end of playback

    // Playing from the end ends at once.
    ASSERT_TRUE(d.play().ok());
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(d.mode(), Mode::Stopped);
}

TEST_F(VideoDeviceTest, PlaysToTheEndAndSaysSoOnce)
{
    SteppedDevice s;
    VideoDevice& d = s.device;
    std::atomic<int> ends{0};
    d.setEndNotify([&] { ++ends; });
    ASSERT_TRUE(d.open(media->counter).ok());
    EXPECT_EQ(d.mode(), Mode::Stopped);
    ASSERT_TRUE(d.play().ok());
    EXPECT_EQ(d.mode(), Mode::Playing);
    ASSERT_TRUE(waitUntil([&] { return s.clock->running() && shownFrame(d) == 0; }));

    // Frame by frame, with time for each picture to reach the window.
    for (int f = 1; f < 50; ++f) {
        s.clock->advance(40000);
        ASSERT_TRUE(waitUntil([&] { return shownFrame(d) == f; })) << "frame " << f;
        EXPECT_EQ(positionIn(d, TimeFormat::Frames), static_cast<uint32_t>(f));
    }
    EXPECT_EQ(d.statistics().framesDropped, 0u);
    EXPECT_EQ(ends, 0);
    s.clock->advance(39999);
    QCoreApplication::processEvents();
    EXPECT_EQ(positionIn(d, TimeFormat::Milliseconds), 1999u);

    s.clock->advance(1);
    ASSERT_TRUE(waitUntil([&] { return ends == 1; }));
    EXPECT_EQ(d.mode(), Mode::Stopped);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 50u);
    EXPECT_EQ(positionIn(d, TimeFormat::Milliseconds), 2000u);
    EXPECT_EQ(shownFrame(d), 49);
    s.clock->advance(40000);
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(ends, 1);
}

TEST_F(VideoDeviceTest, PauseHoldsTheTimeAndResumeGoesOn)
{
    SteppedDevice s;
    VideoDevice& d = s.device;
    ASSERT_TRUE(d.open(media->counter).ok());
    EXPECT_EQ(d.resume().code, mci::ErrUnsupportedFunction); // nothing to resume
    ASSERT_TRUE(d.play().ok());
    ASSERT_TRUE(waitUntil([&] { return s.clock->running(); }));
    s.clock->advance(400000);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 10u);

    ASSERT_TRUE(d.pause().ok());
    EXPECT_EQ(d.mode(), Mode::Paused);
    s.clock->advance(400000);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 10u);

    ASSERT_TRUE(d.resume().ok());
    EXPECT_EQ(d.mode(), Mode::Playing);
    s.clock->advance(400000);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 20u);
    EXPECT_TRUE(waitUntil([&] { return shownFrame(d) == 20; }));

    ASSERT_TRUE(d.stop().ok());
    EXPECT_EQ(d.mode(), Mode::Stopped);
    s.clock->advance(400000);
    EXPECT_EQ(positionIn(d, TimeFormat::Milliseconds), 800u);
    EXPECT_EQ(d.resume().code, mci::ErrUnsupportedFunction);
}

TEST_F(VideoDeviceTest, LateFramesAreDroppedNotShownLate)
{
    SteppedDevice s;
    VideoDevice& d = s.device;
    ASSERT_TRUE(d.open(media->counter).ok());
    ASSERT_TRUE(d.play().ok());
    ASSERT_TRUE(waitUntil([&] { return s.clock->running() && shownFrame(d) == 0; }));
    s.clock->advance(210000); // frame 5 is due; 1 to 4 are late
    ASSERT_TRUE(waitUntil([&] { return shownFrame(d) == 5; }));
    const auto st = d.statistics();
    EXPECT_EQ(st.framesDropped, 4u);
    EXPECT_EQ(st.framesPresented, 2u);
    EXPECT_EQ(st.framesShown, 2u);
    EXPECT_EQ(st.framesConverted, 2u); // a late frame costs no conversion
}

// Time that moves on by more than a frame whenever anyone looks, as on a
// machine too slow for the file: every frame is late when its turn comes.
class OutrunningClock final : public mci::video::Clock {
public:
    int64_t nowUs() const override
    {
        std::lock_guard lock(mutex_);
        if (running_)
            us_ += 50000;
        return us_;
    }
    void setRunning(bool running) override
    {
        std::lock_guard lock(mutex_);
        running_ = running;
    }
    void setUs(int64_t us) override
    {
        std::lock_guard lock(mutex_);
        us_ = us;
    }

private:
    mutable std::mutex mutex_;
    mutable int64_t us_ = 0;
    bool running_ = false;
};

TEST_F(VideoDeviceTest, AMachineTooSlowForTheFileStillSeesThePictureMove)
{
    mci::video::Environment env;
    env.openAudio = [](const audio::Format&, audio::RenderFn, const std::string&, std::string&,
                        const audio::StreamLabel&) { return nullptr; };
    env.makeSilentClock = [] { return std::make_unique<OutrunningClock>(); };
    VideoDevice d(env);
    ASSERT_TRUE(d.open(media->counter).ok());
    ASSERT_TRUE(d.play().ok());
    ASSERT_TRUE(waitUntil([&] { return d.mode() == Mode::Stopped; }));
    const auto st = d.statistics();
    // Two seconds with a late frame put up at least every 250 ms; dropping
    // every late frame would leave the first picture up to the end.
    EXPECT_GE(st.framesPresented, 5u);
    EXPECT_GE(st.framesDropped, 10u);
}

// With the real sound output (SDL's silent driver in tests), for PCM and
// compressed sound: the sound reaches the card and the card keeps the time.
TEST_F(VideoDeviceTest, TheSoundIsHeardAndKeepsTheTime)
{
    const std::string mp3 = (media->dir / "mp3 sound.avi").string();
    ASSERT_TRUE(ffmpeg({"-i", QString::fromStdString(media->sound), "-c:v", "copy", "-c:a", "libmp3lame"}, mp3));
    for (const std::string& path : {media->sound, mp3}) {
        std::atomic<float> loudest{0.0f};
        mci::video::Environment env;
        env.openAudio = [&](const audio::Format& format, audio::RenderFn render, const std::string& device,
                            std::string& error, const audio::StreamLabel& label) {
            return audio::Output::open(
                format,
                [&loudest, render, channels = format.channels](float* out, int frames) {
                    render(out, frames);
                    for (int i = 0; i < frames * channels; ++i)
                        if (std::abs(out[i]) > loudest)
                            loudest = std::abs(out[i]);
                },
                device, error, label);
        };
        VideoDevice d(env);
        std::atomic<int> ends{0};
        d.setEndNotify([&] { ++ends; });
        ASSERT_TRUE(d.open(path).ok()) << path;
        EXPECT_EQ(d.soundProblem(), "") << path;
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(d.play().ok());
        ASSERT_TRUE(waitUntil([&] { return ends == 1; })) << path;
        // A second of video lasts about a second of the card's time.
        EXPECT_GE(timer.elapsed(), 800) << path;
        EXPECT_EQ(d.mode(), Mode::Stopped);
        EXPECT_EQ(positionIn(d, TimeFormat::Milliseconds), lengthIn(d, TimeFormat::Milliseconds));
        EXPECT_GE(d.statistics().framesShown, 5u) << path;
        EXPECT_GE(d.statistics().firstFrameUs, 0);
        EXPECT_GT(loudest.load(), 0.05f) << path; // the test tone is at 1/8
    }
}

TEST_F(VideoDeviceTest, WithoutSoundOutputThePicturePlaysAlone)
{
    SteppedDevice s;
    VideoDevice& d = s.device;
    ASSERT_TRUE(d.open(media->counterWithSound).ok());
    EXPECT_EQ(d.soundProblem(), "No sound output in this test.");
    EXPECT_EQ(d.window()->windowTitle(), "counter sound.avi (no sound)");
    ASSERT_TRUE(d.play().ok());
    EXPECT_TRUE(s.playToEnd());
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 50u);
}

TEST_F(VideoDeviceTest, TheWindowBelongsToTheDevice)
{
    SteppedDevice s;
    VideoDevice& d = s.device;
    ASSERT_TRUE(d.open(media->counter).ok());
    QPointer<QWidget> w = d.window();
    EXPECT_EQ(w->windowTitle(), "counter.avi");
    EXPECT_EQ(w->size(), QSize(128, 32));
    EXPECT_FALSE(w->isVisible());
    ASSERT_TRUE(d.play().ok());
    EXPECT_TRUE(w->isVisible());

    // The user closes it: playback stops as stop() stops it, the device stays
    // open, and the player above hears of it as it hears of the end.
    std::atomic<int> stops {0};
    d.setEndNotify([&] { ++stops; });
    ASSERT_TRUE(waitUntil([&] { return s.clock->running(); }));
    s.clock->advance(200000);
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(d.mode(), Mode::Stopped);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 5u);
    ASSERT_TRUE(d.play().ok());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(d.mode(), Mode::Playing);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 5u);
    ASSERT_TRUE(d.stop().ok());
    w->close(); // closing a stopped video changes nothing
    EXPECT_EQ(stops, 1);

    d.close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(d.mode(), Mode::NotReady);
    // Deleted by the event loop: Qt may be activating it as the device closes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
}

TEST_F(VideoDeviceTest, TheWindowTakesTheChosenSize)
{
    multimedia::Choices choices;
    choices.videoSize = multimedia::VideoSize::Double;
    {
        SteppedDevice s(choices);
        ASSERT_TRUE(s.device.open(media->counter).ok());
        EXPECT_EQ(s.device.window()->size(), QSize(256, 64));
    }
    choices.videoSize = multimedia::VideoSize::FullScreen;
    SteppedDevice s(choices);
    VideoDevice& d = s.device;
    ASSERT_TRUE(d.open(media->counter).ok());
    ASSERT_TRUE(d.play().ok());
    QWidget* w = d.window();
    EXPECT_TRUE(w->isFullScreen());
    ASSERT_TRUE(waitUntil([&] { return s.clock->running(); }));
    s.clock->advance(200000);
    ASSERT_TRUE(waitUntil([&] { return shownFrame(d) == 5; })); // its leftmost stripe is white
    const QImage screen = w->grab().toImage();
    EXPECT_EQ(screen.pixelColor(0, screen.height() / 2), QColor(Qt::white));
    EXPECT_EQ(screen.pixelColor(0, 0), QColor(Qt::black)) << "the picture keeps its shape, with bars";

    // Escape or a double click leaves the full screen as closing a window
    // would, and Play brings it back from there.
    std::atomic<int> stops {0};
    d.setEndNotify([&] { ++stops; });
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(d.mode(), Mode::Stopped);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 5u);
    ASSERT_TRUE(d.play().ok());
    EXPECT_TRUE(w->isVisible() && w->isFullScreen());
    QMouseEvent doubleClick(
        QEvent::MouseButtonDblClick, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &doubleClick);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), 5u);

    // The end of the clip gives the screen back.
    ASSERT_TRUE(d.play().ok());
    EXPECT_TRUE(w->isVisible());
    s.clock->advance(2000000);
    EXPECT_TRUE(waitUntil([&] { return !w->isVisible(); }));
}

TEST_F(VideoDeviceTest, TheWindowOpensBesideTheProgramsWindowsNotOverThem)
{
    QWidget main;
    main.setGeometry(100, 100, 483, 277);
    main.show();
    SteppedDevice s;
    VideoDevice& d = s.device;
    ASSERT_TRUE(d.open(media->counter).ok());
    ASSERT_TRUE(d.play().ok());
    const QRect video = d.window()->frameGeometry();
    EXPECT_FALSE(video.intersects(main.frameGeometry())) << video.x() << "," << video.y();
    EXPECT_TRUE(main.screen()->availableGeometry().contains(video));
}

// No side of a centred window has room for the picture: it covers some of
// the window, but not what the window marks for the user to keep in view.
TEST_F(VideoDeviceTest, TheWindowLeavesWhatTheProgramMarksInView)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    if (area.width() >= 483 + 2 * (400 + 8) || area.height() >= 277 + 2 * (300 + 8))
        GTEST_SKIP() << "the screen has room beside the window";
    const std::string path = (media->dir / "200x150.avi").string();
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=200x150:rate=25", "-frames:v", "2", "-c:v", "mpeg4"}, path));
    QWidget main;
    main.resize(483, 277);
    main.move(area.center() - main.rect().center());
    QWidget controls(&main);
    controls.setGeometry(8, 0, 217, 53);
    controls.setProperty(mci::kKeepVisibleProperty, true);
    main.show();
    multimedia::Choices choices;
    choices.videoSize = multimedia::VideoSize::Double;
    SteppedDevice s(choices);
    VideoDevice& d = s.device;
    ASSERT_TRUE(d.open(path).ok());
    ASSERT_TRUE(d.play().ok());
    const QRect video = d.window()->frameGeometry();
    EXPECT_EQ(d.window()->size(), QSize(400, 300));
    EXPECT_FALSE(video.intersects(QRect(controls.mapToGlobal(QPoint(0, 0)), controls.size())))
        << video.x() << "," << video.y();
}

TEST_F(VideoDeviceTest, ANewFileNeverShowsPicturesOfTheLastOne)
{
    VideoDevice d;
    ASSERT_TRUE(d.open(media->counter).ok());
    ASSERT_TRUE(d.play().ok());
    waitUntil([&] { return d.statistics().framesShown >= 2; }, 2000);
    // Replaced while playing, with pictures on their way.
    ASSERT_TRUE(d.open(media->sound).ok());
    EXPECT_EQ(d.window()->windowTitle(), "sound.avi");
    ASSERT_TRUE(d.play().ok());
    ASSERT_TRUE(waitUntil([&] { return d.statistics().framesShown >= 3; }));
    EXPECT_EQ(d.currentFrame().size(), QSize(160, 120));
    d.close();
    d.close();
}

TEST_F(VideoDeviceTest, ATruncatedFilePlaysAsFarAsItGoes)
{
    const std::string cut = damagedCopy(media->counterWithSound, (media->dir / "cut.avi").string(),
                                        [](std::string& b) { b.resize(b.size() * 6 / 10); });
    SteppedDevice s;
    VideoDevice& d = s.device;
    std::atomic<int> ends{0};
    d.setEndNotify([&] { ++ends; });
    ASSERT_TRUE(d.open(cut).ok());
    EXPECT_EQ(lengthIn(d, TimeFormat::Frames), 50u) << "an open takes the headers' count, and reads no further";
    // Played once, the length is where the data ends. The clock moves a frame
    // at a time, each picture awaited, so that a busy machine never lets it
    // outrun the decoder to the headers' count before the data's end is found.
    ASSERT_TRUE(d.play().ok());
    for (int f = 1; f < 50 && waitUntil([&] { return shownFrame(d) >= f - 1; }, 2000); ++f)
        s.clock->advance(40000);
    ASSERT_TRUE(s.playToEnd(40000));
    EXPECT_EQ(ends, 1);
    const uint32_t frames = lengthIn(d, TimeFormat::Frames);
    EXPECT_GT(frames, 10u);
    EXPECT_LT(frames, 50u);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), frames);
    EXPECT_EQ(positionIn(d, TimeFormat::Milliseconds), lengthIn(d, TimeFormat::Milliseconds));

    ASSERT_TRUE(d.seek(0).ok());
    ASSERT_TRUE(d.play().ok());
    ASSERT_TRUE(waitUntil([&] { return s.clock->running() && shownFrame(d) == 0; }));
    // The cut may fall after a P-frame and before the B-frames shown ahead
    // of it: then its picture stands in for theirs at the very end.
    const int exact = static_cast<int>(frames) - 2;
    for (int f = 1; f < static_cast<int>(frames); ++f) {
        s.clock->advance(40000);
        ASSERT_TRUE(waitUntil([&] { return f < exact ? shownFrame(d) == f : shownFrame(d) >= f; })) << "frame " << f;
    }
    ASSERT_TRUE(s.playToEnd(40000));
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(positionIn(d, TimeFormat::Frames), lengthIn(d, TimeFormat::Frames));
    EXPECT_EQ(lengthIn(d, TimeFormat::Frames), frames);

    d.setTimeFormat(TimeFormat::Frames);
    ASSERT_TRUE(d.seek(frames / 2).ok());
    EXPECT_TRUE(waitUntil([&] { return shownFrame(d) == static_cast<int>(frames / 2); }));
}

namespace {

// Bytes this process has read so far.
uint64_t bytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}

} // namespace

// A download in progress: the movie cut short and the rest of the space set
// aside as zeros. The open reads what it needs, not the whole file.
TEST_F(VideoDeviceTest, AnOpenReadsNoFurtherThanItNeedsWhateverTheFilesSize)
{
    const std::string path = damagedCopy(media->counterWithSound, (media->dir / "download.avi").string(),
                                         [](std::string& b) { b.resize(b.size() * 6 / 10); });
    std::filesystem::resize_file(path, uint64_t{512} << 20);
    SteppedDevice s;
    VideoDevice& d = s.device;
    const uint64_t before = bytesRead();
    const mci::Result r = d.open(path);
    ASSERT_TRUE(r.ok()) << r.text;
    EXPECT_LT(bytesRead() - before, uint64_t{32} << 20);
    EXPECT_EQ(lengthIn(d, TimeFormat::Frames), 50u);
    d.close();

    // Nothing but zeros after the header: whatever the open makes of it, it
    // does not read them.
    const std::string empty = damagedCopy(media->counterWithSound, (media->dir / "empty download.avi").string(),
                                          [](std::string& b) { b.resize(b.find("movi") + 4); });
    std::filesystem::resize_file(empty, uint64_t{512} << 20);
    const uint64_t start = bytesRead();
    d.open(empty);
    EXPECT_LT(bytesRead() - start, uint64_t{32} << 20);
}

namespace {

// Bytes of this process in memory now.
uint64_t residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0;
    uint64_t resident = 0;
    statm >> size >> resident;
    return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

} // namespace

// Headers that claim a picture far larger than the file's frames hold: the
// open, on the window's thread, takes nothing for the pictures it claims,
// and the file still plays at the size it claims.
TEST_F(VideoDeviceTest, AnOpenTakesNothingForThePicturesAFileClaims)
{
    const std::string small = (media->dir / "small cinepak.avi").string();
    ASSERT_TRUE(
        ffmpeg(counterSource("25") + QStringList {"-frames:v", "3", "-c:v", "cinepak", "-pix_fmt", "rgb24"}, small));
    const std::string path = damagedCopy(small, (media->dir / "claims 4096x2304.avi").string(), [](std::string& b) {
        const auto put32 = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                b[at + i] = static_cast<char>(v >> (8 * i));
        };
        put32(b.find("avih") + 8 + 32, 4096);
        put32(b.find("avih") + 8 + 36, 2304);
        put32(b.find("strf") + 8 + 4, 4096);
        put32(b.find("strf") + 8 + 8, 2304);
    });
    SteppedDevice s;
    VideoDevice& d = s.device;
    const uint64_t before = residentBytes();
    const mci::Result r = d.open(path);
    const uint64_t after = residentBytes();
    ASSERT_TRUE(r.ok()) << r.text;
    constexpr uint64_t kPicture = uint64_t {4096} * 2304 * 4;
    EXPECT_LT(after, before + 3 * kPicture) << "the frame slots were filled at open";
    ASSERT_TRUE(waitUntil([&] { return !d.currentFrame().isNull(); }));
    EXPECT_EQ(d.currentFrame().size(), QSize(4096, 2304));
}

// Damage anywhere in a file: it is refused or it plays to an end, and seeks
// and closing still answer.
TEST_F(VideoDeviceTest, DamagedFilesNeverCrashOrHang)
{
    std::mt19937 random(20240607);
    int played = 0;
    for (int round = 0; round < 12; ++round) {
        const std::string path = damagedCopy(
            media->counterWithSound, (media->dir / ("damaged" + std::to_string(round) + ".avi")).string(),
            [&](std::string& b) {
                // Later rounds also hit the headers.
                const size_t from = round < 6 ? b.size() / 8 : 0;
                std::uniform_int_distribution<size_t> at(from, b.size() - 1);
                for (int hits = 0; hits < 1 + round; ++hits) {
                    const size_t p = at(random);
                    const size_t len = std::min<size_t>(1 + random() % 600, b.size() - p);
                    for (size_t i = 0; i < len; ++i)
                        b[p + i] = static_cast<char>(random());
                }
            });
        SteppedDevice s;
        VideoDevice& d = s.device;
        std::atomic<int> ends{0};
        d.setEndNotify([&] { ++ends; });
        if (!d.open(path).ok())
            continue;
        ++played;
        uint32_t frames = 0;
        d.length(frames);
        if (frames > 2)
            d.seek(frames / 2);
        d.seek(0);
        ASSERT_TRUE(d.play().ok());
        ASSERT_TRUE(s.playToEnd(50000)) << "round " << round;
        EXPECT_EQ(ends, 1) << "round " << round;
        EXPECT_EQ(positionIn(d, TimeFormat::Frames), lengthIn(d, TimeFormat::Frames)) << "round " << round;
    }
    EXPECT_GE(played, 6); // most damage leaves a playable file
}

} // namespace
