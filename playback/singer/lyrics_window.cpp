#include "playback/singer/lyrics_window.h"

#include "platform/mci/device_window.h"
#include "platform/midi/singer_bounds.h"
#include "playback/singer/count_in.h"
#include "playback/singer/words_page.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace singer {

namespace {

// Beside the player's window at first; the user makes it larger.
constexpr QSize kFirstSize(600, 280);
constexpr QSize kSmallestSize(240, 120);
// A wake far ahead is taken again from there: the song may be hours long.
constexpr double kLongestWaitMs = 60 * 60 * 1000;

QString lineText(const midi::Words& words, const midi::WordsLine& line)
{
    return QString::fromUtf8(words.text.data() + line.begin, qsizetype(line.end) - line.begin);
}

// The place a window over the screen comes back to, else its own.
QRect normalOf(const QWidget& w)
{
    return w.normalGeometry().isValid() ? w.normalGeometry() : w.geometry();
}

// GEOMETRY as it is where it lies on its screen (the primary one when on
// none) with FRAME around it, else made no larger than the screen's free
// area, and moved as little as needed to lie on it.
QRect fittedToScreen(const QRect& geometry, QMargins frame)
{
    const QScreen* screen = QGuiApplication::screenAt(geometry.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return geometry;
    const QRect area = screen->availableGeometry();
    if (area.contains(geometry.marginsAdded(frame)))
        return geometry;
    QRect fitted = geometry;
    fitted.setSize(geometry.size().boundedTo(area.size().shrunkBy(frame)).expandedTo(QSize(1, 1)));
    const QRect outer = fitted.marginsAdded(frame);
    const int x = std::clamp(outer.left(), area.left(), std::max(area.left(), area.right() + 1 - outer.width()));
    const int y = std::clamp(outer.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
    fitted.moveTopLeft(QPoint(x + frame.left(), y + frame.top()));
    return fitted;
}

QScreen* screenNamed(const QString& name)
{
    for (QScreen* screen : QGuiApplication::screens())
        if (!name.isEmpty() && screen->name() == name)
            return screen;
    return nullptr;
}

// As the host knows it: "HDMI-1 (LG TV)".
QString screenTitle(const QScreen& screen)
{
    const QString model = !screen.model().isEmpty() ? screen.model() : screen.manufacturer();
    QString title = model.isEmpty() || model == screen.name() ? screen.name()
                                                              : QStringLiteral("%1 (%2)").arg(screen.name(), model);
    return title.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// Runs DONE once the window manager has taken WINDOW, shown, out of its
// full screen, as it tells; or after a while where it tells nothing.
class LeaveWatch final : public QObject {
public:
    LeaveWatch(QWidget& window, std::function<void()> done) : QObject(&window), done_(std::move(done))
    {
        window.windowHandle()->installEventFilter(this);
        QTimer::singleShot(kLeaveMs, this, [this] { finish(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowStateChange && event->spontaneous()
            && !(static_cast<QWindow*>(watched)->windowStates() & Qt::WindowFullScreen))
            QTimer::singleShot(0, this, [this] { finish(); });
        return false;
    }

private:
    static constexpr int kLeaveMs = 500;
    void finish()
    {
        if (!done_)
            return;
        const auto done = std::move(done_);
        done_ = nullptr;
        deleteLater();
        done();
    }
    std::function<void()> done_;
};

std::vector<LineToCome> linesAfter(const midi::Words& words, size_t line)
{
    std::vector<LineToCome> toCome;
    for (size_t i = line + 1; i < words.lines.size() && toCome.size() < WordsPage::kMostToCome; ++i)
        toCome.push_back({lineText(words, words.lines[i]), words.lines[i].startsParagraph});
    return toCome;
}

} // namespace

LyricsWindow::LyricsWindow(const QString& title, std::shared_ptr<const midi::Words> words,
    std::function<uint64_t()> position, QByteArray place)
    : QWidget(nullptr, Qt::Window), words_(std::move(words)), position_(std::move(position)), place_(std::move(place))
{
    setWindowTitle(title);
    // Like a video in a window, until it fills the screen.
    mci::makeDeviceWindow(*this, false);
    setMinimumSize(kSmallestSize);

    page_ = new WordsPage(this, title, shownInformation(*words_));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page_);
    resize(kFirstSize);

    addSingerActions();
    showKeyAndTempo(0, 100);
    showGuide(MelodyGuide::Full, false);

    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    connect(&wake_, &QTimer::timeout, this, [this] { refresh(); });
    refresh();
}

SungLine* LyricsWindow::currentLine() const
{
    return page_->currentLine();
}

SungLine* LyricsWindow::nextLine() const
{
    return page_->nextLine();
}

void LyricsWindow::playing()
{
    playing_ = true;
    stopped_ = false;
    page_->showRest(false);
    refresh();
    present();
}

void LyricsWindow::halted()
{
    playing_ = false;
    wake_.stop();
    refresh();
}

void LyricsWindow::stopped()
{
    halted();
    stopped_ = true;
    page_->showRest(false);
    hide();
}

void LyricsWindow::resting()
{
    halted();
    page_->showRest(true);
}

void LyricsWindow::showNext(const QString& announced)
{
    page_->showNext(announced.isEmpty() ? QString() : QStringLiteral("Next: %1").arg(announced));
}

void LyricsWindow::setTempo(int percent)
{
    rate_ = midi::clampedTempo(percent) / 100.0;
    refresh();
}

void LyricsWindow::showKeyAndTempo(int semitones, int percent)
{
    semitones_ = semitones;
    percent_ = percent;
    keyUp_->setEnabled(semitones < midi::kMostSemitones);
    keyDown_->setEnabled(semitones > -midi::kMostSemitones);
    faster_->setEnabled(percent < midi::kFastestPercent);
    slower_->setEnabled(percent > midi::kSlowestPercent);
    originalKey_->setEnabled(semitones != 0);
    originalTempo_->setEnabled(percent != 100);
    showCorner();
}

void LyricsWindow::showGuide(MelodyGuide guide, bool found)
{
    guide_ = guide;
    for (int i = 0; i < 3; ++i) {
        guides_[i]->setEnabled(found);
        guides_[i]->setChecked(int(guide) == i);
    }
    keyForVoice_->setEnabled(found);
    showCorner();
}

void LyricsWindow::showLoop(int beginMs, int endMs)
{
    loopBegin_ = beginMs;
    loopEnd_ = endMs;
    loopOff_->setEnabled(endMs > beginMs && beginMs >= 0);
    showCorner();
    refresh();
}

void LyricsWindow::setDark(bool dark)
{
    dark_->setChecked(dark);
    QPalette palette = QGuiApplication::palette();
    if (dark) {
        palette.setColor(QPalette::Window, Qt::black);
        palette.setColor(QPalette::WindowText, Qt::white);
        palette.setColor(QPalette::PlaceholderText, QColor(0xb8, 0xb8, 0xb8));
        palette.setColor(QPalette::Highlight, QColor(0xff, 0xd4, 0x00));
    }
    setPalette(palette);
    setAutoFillBackground(dark);
}

// What differs from the song as written stays in view, in a corner.
void LyricsWindow::showCorner()
{
    QStringList shown;
    if (semitones_ != 0)
        shown << QStringLiteral("Key %1%2").arg(semitones_ > 0 ? "+" : "").arg(semitones_);
    if (percent_ != 100)
        shown << QStringLiteral("Tempo %1 %").arg(percent_);
    if (guide_ == MelodyGuide::Quiet)
        shown << QStringLiteral("Melody quiet");
    if (guide_ == MelodyGuide::Off)
        shown << QStringLiteral("Melody off");
    if (loopBegin_ >= 0 && loopEnd_ > loopBegin_) {
        const auto time = [](int ms) {
            return QStringLiteral("%1:%2").arg(ms / 60000).arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'));
        };
        shown << QStringLiteral("Loop %1–%2").arg(time(loopBegin_), time(loopEnd_));
    }
    page_->showKeyAndTempo(shown.join(QStringLiteral("   ")));
}

void LyricsWindow::escape()
{
    lostScreen_.clear();
    if (isFullScreen())
        showNormal();
    else
        close();
}

bool LyricsWindow::reopen()
{
    if (!dismissed_ || !position_)
        return false;
    dismissed_ = false;
    refresh();
    if (!stopped_)
        present();
    return true;
}

void LyricsWindow::Disposer::operator()(LyricsWindow* window) const
{
    window->wake_.stop();
    window->position_ = nullptr;
    window->words_ = nullptr; // whoever holds them lets go of them, not the event loop
    window->onSung = nullptr;
    window->commands = {};
    window->hide(); // where it goes is told, for the next song's words
    window->onPlaceKept = nullptr;
    window->deleteLater();
}

// Wakes exactly when the highlight or the count is due: as late as the event
// loop, not as a polling period.
void LyricsWindow::refresh()
{
    if (!position_)
        return;
    const uint64_t now = position_();
    const WordsMoment moment = wordsAt(*words_, now, rate_);
    if (moment.sung != sung_ || moment.countIn != countIn_ || !shown_) {
        const bool sang = moment.sung != sung_ || !shown_;
        showMoment(moment);
        if (sang && onSung)
            onSung(sung_);
    }
    // At a loop's end the song goes back: the words go with it.
    uint64_t changesAt = moment.changesAt;
    if (loopEnd_ > loopBegin_ && loopBegin_ >= 0 && now < uint64_t(loopEnd_) * 1000)
        changesAt = std::min(changesAt, uint64_t(loopEnd_) * 1000 + 1000);
    if (playing_ && !dismissed_ && changesAt != UINT64_MAX) {
        const double waitMs = std::ceil(double(changesAt - now) / rate_ / 1000);
        wake_.start(int(std::min(waitMs, kLongestWaitMs)));
    }
}

// A new line is laid out once; the highlight moving along it only paints.
void LyricsWindow::showMoment(const WordsMoment& moment)
{
    shown_ = true;
    sung_ = moment.sung;
    countIn_ = moment.countIn;
    const midi::Words& w = *words_;
    if (w.lines.empty())
        return;
    page_->showCountIn(countIn_, sung_ == 0);
    // Counting in, the line to be sung; else that of the last syllable sung,
    // before the first the first.
    const size_t at = countIn_ > 0 ? w.lineOf(sung_) : sung_ == 0 ? 0 : w.lineOf(sung_ - 1);
    const midi::WordsLine& line = w.lines[at];
    const bool sungOnIt = sung_ > 0 && sung_ - 1 >= line.firstSyllable;
    const uint32_t split = sungOnIt ? w.syllables[sung_ - 1].end : line.begin;
    const int sung = int(QString::fromUtf8(w.text.data() + line.begin, qsizetype(split) - line.begin).size());
    if (at != line_) {
        line_ = at;
        page_->showLine(lineText(w, line), sung, linesAfter(w, at));
    } else {
        page_->sing(sung);
    }
}

void LyricsWindow::present()
{
    if (dismissed_ || isVisible())
        return;
    if (!placed_) {
        placed_ = true;
        place();
    }
    QWidget::show();
    // Over the whole screen it needs the keyboard, for Escape.
    if (isFullScreen())
        activateWindow();
}

// Where the user last had it, else beside the player's window, smaller
// where the first size would hide the player's controls. The kept place is
// read beside the window: one larger than this screen (from a larger
// desktop, or made by hand) never reaches it, as laid out and painted at
// that size the words would hold the window's thread for seconds.
void LyricsWindow::place()
{
    QWidget was(nullptr, Qt::Window);
    if (place_.isEmpty() || !was.restoreGeometry(place_)) {
        mci::placeBesideOtherWindows(*this, kFirstSize, kSmallestSize);
        return;
    }
    // Not framed yet: room for a title bar and borders, where it must shrink.
    const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    setGeometry(fittedToScreen(normalOf(was), QMargins(4, title, 4, 4)));
    // A full screen takes the place it comes back to on entering it; one on
    // the room's screen, unplugged now, waits for it in a window.
    Qt::WindowStates states = was.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
    if ((states & Qt::WindowFullScreen) && !roomScreen_.isEmpty() && !screenNamed(roomScreen_)) {
        lostScreen_ = roomScreen_;
        states &= ~Qt::WindowFullScreen;
    }
    setWindowState(windowState() | states);
}

// Made larger than the screen by the user: kept as it will come back.
void LyricsWindow::fitToScreen()
{
    const QRect normal = normalOf(*this);
    const QRect outer = frameGeometry(), inner = geometry();
    const QMargins frame = isFullScreen() ? QMargins()
                                          : QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                                              outer.right() - inner.right(), outer.bottom() - inner.bottom());
    const QRect fitted = fittedToScreen(normal, frame);
    if (fitted == normal)
        return;
    const Qt::WindowStates states = windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
    setWindowState(windowState() & ~states);
    setGeometry(fitted);
    setWindowState(windowState() | states);
}

void LyricsWindow::toggleFullScreen()
{
    lostScreen_.clear();
    if (isFullScreen()) {
        showNormal();
        return;
    }
    fillScreen(screenNamed(roomScreen_));
}

// A window fills the screen its place lies on: it goes to SCREEN first, at
// its size, and comes back there. Hidden, it fills it once shown.
void LyricsWindow::fillScreen(QScreen* screen)
{
    // A window manager keeps a full screen where it is: it is left first,
    // and the other filled once the window manager has let go of it.
    if (screen && isVisible() && isFullScreen() && QGuiApplication::screenAt(geometry().center()) != screen) {
        new LeaveWatch(*this, [this, name = screen->name()] { fillScreen(screenNamed(name)); });
        showNormal();
        return;
    }
    if (screen && QGuiApplication::screenAt(normalOf(*this).center()) != screen) {
        QRect normal = normalOf(*this);
        normal.moveCenter(screen->availableGeometry().center());
        setGeometry(fittedToScreen(normal, {}));
    }
    if (isVisible())
        mci::showOverWholeScreen(*this);
    else
        setWindowState(windowState() | Qt::WindowFullScreen);
}

void LyricsWindow::setRoomScreen(const QString& name)
{
    roomScreen_ = name;
    for (QAction* choice : screenChoices_->actions())
        choice->setChecked(choice->data().toString() == name);
}

// The words on the room's screen, the player on the host's: a choice of
// screen to fill while there are two or more.
void LyricsWindow::addScreenChoices()
{
    screens_ = new QMenu(QStringLiteral("Full Screen On"), this);
    screenChoices_ = new QActionGroup(this);
    addAction(screens_->menuAction());
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        listScreens();
        screenBack(screen);
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this](QScreen* screen) {
        screenGone(screen);
        listScreens();
    });
    listScreens();
}

void LyricsWindow::listScreens()
{
    screens_->clear();
    for (QScreen* screen : QGuiApplication::screens()) {
        QAction* choice = screens_->addAction(screenTitle(*screen));
        const QString name = screen->name();
        choice->setData(name);
        choice->setCheckable(true);
        choice->setChecked(name == roomScreen_);
        screenChoices_->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, name] {
            lostScreen_.clear();
            setRoomScreen(name);
            if (onRoomScreenChosen)
                onRoomScreenChosen(name);
            fillScreen(screenNamed(name));
        });
    }
    screens_->menuAction()->setEnabled(QGuiApplication::screens().size() > 1);
}

// The screen the words fill unplugged: they come back beside the player,
// in a window the host sees, until it is there again.
void LyricsWindow::screenGone(QScreen* screen)
{
    if (!isVisible() || !screen->geometry().contains(geometry().center()))
        return;
    const QSize size = normalOf(*this).size();
    if (isFullScreen()) {
        lostScreen_ = screen->name();
        showNormal();
    }
    mci::placeBesideOtherWindows(*this, size, kSmallestSize);
}

void LyricsWindow::screenBack(QScreen* screen)
{
    if (lostScreen_.isEmpty() || screen->name() != lostScreen_)
        return;
    lostScreen_.clear();
    fillScreen(screen);
}

// The singer's keys are the shortcuts of the window's menu: one list for
// both. Escape alone is a key only, as it leaves a full screen first.
void LyricsWindow::addSingerActions()
{
    const auto add = [this](const QString& text, QList<QKeySequence> keys, auto act) {
        auto* action = new QAction(text, this);
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, act);
        addAction(action);
        return action;
    };
    const auto separate = [this] {
        auto* separator = new QAction(this);
        separator->setSeparator(true);
        addAction(separator);
    };
    add(QStringLiteral("Pause/Resume"), {Qt::Key_Space}, [this] { run(commands.pauseOrResume); });
    add(QStringLiteral("Back to Start"), {Qt::Key_Home}, [this] { run(commands.toStart); });
    add(QStringLiteral("Skip to Words"), {Qt::Key_S}, [this] { run(commands.toWords); });
    add(QStringLiteral("Next Song"), {Qt::Key_N}, [this] { run(commands.nextSong); });
    separate();
    keyUp_ = add(QStringLiteral("Key Up"), {Qt::Key_Up, Qt::Key_Plus}, [this] { ask(semitones_ + 1, percent_); });
    keyDown_
        = add(QStringLiteral("Key Down"), {Qt::Key_Down, Qt::Key_Minus}, [this] { ask(semitones_ - 1, percent_); });
    originalKey_ = add(QStringLiteral("Original Key"), {}, [this] { ask(0, percent_); });
    keyForVoice_ = add(QStringLiteral("Key for My Voice"), {}, [this] { run(commands.keyForVoice); });
    add(QStringLiteral("My Voice…"), {}, [this] { run(commands.voice); });
    separate();
    faster_
        = add(QStringLiteral("Faster"), {Qt::Key_Right}, [this] { ask(semitones_, percent_ + midi::kPercentStep); });
    slower_ = add(QStringLiteral("Slower"), {Qt::Key_Left}, [this] { ask(semitones_, percent_ - midi::kPercentStep); });
    originalTempo_ = add(QStringLiteral("Original Tempo"), {}, [this] { ask(semitones_, 100); });
    separate();
    add(QStringLiteral("Loop Start Here"), {Qt::Key_A}, [this] { run(commands.loopStart); });
    add(QStringLiteral("Loop End Here"), {Qt::Key_B}, [this] { run(commands.loopEnd); });
    loopOff_ = add(QStringLiteral("Loop Off"), {Qt::Key_L}, [this] { run(commands.loopOff); });
    loopOff_->setEnabled(false);
    separate();
    // M goes round the three; the menu picks one.
    const auto guideAsked = [this](MelodyGuide guide) {
        if (commands.guide && guide != guide_)
            commands.guide(guide);
    };
    connect(new QShortcut(Qt::Key_M, this), &QShortcut::activated, this, [this, guideAsked] {
        if (guides_[0]->isEnabled())
            guideAsked(MelodyGuide((int(guide_) + 1) % 3));
    });
    auto* guides = new QActionGroup(this);
    const char* names[] = {"Melody Guide: Full", "Melody Guide: Quiet", "Melody Guide: Off"};
    for (int i = 0; i < 3; ++i) {
        guides_[i] = add(QString::fromUtf8(names[i]), {}, [guideAsked, i] { guideAsked(MelodyGuide(i)); });
        guides_[i]->setCheckable(true);
        guides->addAction(guides_[i]);
    }
    add(QStringLiteral("Channels…"), {Qt::Key_C}, [this] { run(commands.channels); });
    add(QStringLiteral("Save as Wave…"), {Qt::Key_W}, [this] { run(commands.saveWave); });
    add(QStringLiteral("Queue…"), {Qt::Key_Q}, [this] { run(commands.queue); });
    separate();
    fullScreen_ = add(QStringLiteral("Full Screen"), {Qt::Key_F11}, [this] { toggleFullScreen(); });
    fullScreen_->setCheckable(true);
    addScreenChoices();
    dark_ = add(QStringLiteral("Dark Look"), {}, [this] {
        if (commands.dark)
            commands.dark(dark_->isChecked());
    });
    dark_->setCheckable(true);
    add(QStringLiteral("Forget This Song"), {}, [this] { run(commands.forget); });
    add(QStringLiteral("Close Words"), {}, [this] { close(); });
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

// Past a bound the key or the tempo stays where it is.
void LyricsWindow::ask(int semitones, int percent)
{
    semitones = midi::clampedKey(semitones);
    percent = midi::clampedTempo(percent);
    if ((semitones != semitones_ || percent != percent_) && commands.ask)
        commands.ask(semitones, percent);
}

void LyricsWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        escape();
    else
        QWidget::keyPressEvent(event);
}

void LyricsWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        fullScreen_->setChecked(isFullScreen());
        page_->setRoom(isFullScreen());
    }
    QWidget::changeEvent(event);
}

void LyricsWindow::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        toggleFullScreen();
    else
        QWidget::mouseDoubleClickEvent(event);
}

// Closed by the user: the song plays on, without its words.
void LyricsWindow::closeEvent(QCloseEvent* event)
{
    dismissed_ = true;
    wake_.stop();
    event->accept(); // hidden, not destroyed: its song still plays
}

// Kept whenever it goes, whatever takes it away: the next song's words come
// where these were.
void LyricsWindow::hideEvent(QHideEvent* event)
{
    if (placed_ && !event->spontaneous()) {
        fitToScreen(); // made larger than the screen by hand: kept as it will come back
        const QByteArray place = saveGeometry();
        if (place != place_ && onPlaceKept)
            onPlaceKept(place);
        place_ = place;
    }
    QWidget::hideEvent(event);
}

} // namespace singer
