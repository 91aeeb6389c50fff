#include "platform/mci/sequencer/lyrics_window.h"

#include "platform/mci/device_window.h"
#include "platform/mci/sequencer/sung_line.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace mci::sequencer {

namespace {

constexpr int kWidth = 560;
// A wake far ahead is taken again from there: the song may be hours long.
constexpr uint64_t kLongestWaitMs = 60 * 60 * 1000;

QString lineText(const midi::Words& words, uint32_t begin, uint32_t end)
{
    return QString::fromUtf8(words.text.data() + begin, qsizetype(end) - begin);
}

} // namespace

LyricsWindow::LyricsWindow(
    const QString& title, std::shared_ptr<const midi::Words> words, std::function<uint64_t()> position)
    : QWidget(nullptr, Qt::Window), words_(std::move(words)), position_(std::move(position))
{
    setWindowTitle(title);
    // Like a video in a window: it neither takes the keyboard from the main
    // window when it comes nor ends the program when closed last.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    setProperty(kDeviceWindowProperty, true);

    current_ = new SungLine(this, 1.6, QPalette::WindowText);
    current_->setAccessibleDescription(QStringLiteral("The line being sung"));
    next_ = new SungLine(this, 1.3, QPalette::PlaceholderText);
    next_->setAccessibleDescription(QStringLiteral("The next line"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->addWidget(current_);
    layout->addWidget(next_);
    setFixedWidth(kWidth);

    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    connect(&wake_, &QTimer::timeout, this, [this] { refresh(); });
    refresh();
}

void LyricsWindow::playing()
{
    following_ = true;
    refresh();
    if (dismissed_ || isVisible())
        return;
    if (!placed_) {
        placed_ = true;
        adjustSize();
        placeBesideOtherWindows(*this);
    }
    show();
}

void LyricsWindow::halted()
{
    following_ = false;
    wake_.stop();
    refresh();
}

void LyricsWindow::stopped()
{
    halted();
    hide();
}

void LyricsWindow::Disposer::operator()(LyricsWindow* window) const
{
    window->wake_.stop();
    window->position_ = nullptr;
    window->words_ = nullptr; // whoever holds them lets go of them, not the event loop
    window->onSung = nullptr;
    window->hide();
    window->deleteLater();
}

// Wakes exactly at the next syllable's time: the highlight is as late as the
// event loop, not as a polling period.
void LyricsWindow::refresh()
{
    if (!position_)
        return;
    const uint64_t now = position_();
    const size_t sung = words_->sungBy(now);
    if (sung != sung_ || !shown_) {
        sung_ = sung;
        showLines();
        if (onSung)
            onSung(sung_);
    }
    if (following_ && sung_ < words_->syllables.size()) {
        const uint64_t waitUs = words_->syllables[sung_].micros - now; // due after NOW, or sungBy had counted it
        wake_.start(int(std::min<uint64_t>((waitUs + 999) / 1000, kLongestWaitMs)));
    }
}

// A new line is laid out once; the highlight moving along it only paints.
void LyricsWindow::showLines()
{
    shown_ = true;
    const midi::Words& w = *words_;
    if (w.lines.empty())
        return;
    // The line of the last syllable sung; before the first, the first line.
    const size_t at = sung_ == 0 ? 0 : w.lineOf(sung_ - 1);
    const midi::WordsLine& line = w.lines[at];
    if (at != line_) {
        line_ = at;
        const midi::WordsLine* following = at + 1 < w.lines.size() ? &w.lines[at + 1] : nullptr;
        next_->setLine(following ? lineText(w, following->begin, following->end) : QString(), 0);
    }
    const uint32_t split = sung_ == 0 ? line.begin : w.syllables[sung_ - 1].end;
    current_->setLine(lineText(w, line.begin, line.end), int(lineText(w, line.begin, split).size()));
}

void LyricsWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}

// Closed by the user: the song plays on, without its words.
void LyricsWindow::closeEvent(QCloseEvent* event)
{
    dismissed_ = true;
    following_ = false;
    wake_.stop();
    event->accept(); // hidden, not destroyed: the device still owns it
}

} // namespace mci::sequencer
