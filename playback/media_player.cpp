#include "playback/media_player.h"

#include "core/media_kinds.h"
#include "framework/drawn_icon.h"
#include "framework/errors.h"
#include "framework/file_names.h"
#include "framework/guard.h"
#include "platform/multimedia/stored_choices.h"

#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QToolButton>

#include <algorithm>

namespace {

const char* const kNotOpen = "Kein MCI-Gerät geöffnet";
const char* const kUnknownError = "Unbekannter Fehlercode";

constexpr QSize kGlyphSize(16, 16);

// Button pictures in the colours of the classic media bar, drawn for the
// screen's pixel ratio.
void drawGlyph(QPainter& p, TMPBtnType type, const QColor& colour)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    auto triangle = [&](qreal x0, qreal x1, bool right) {
        QPainterPath path;
        if (right) {
            path.moveTo(x0, 3);
            path.lineTo(x1, 8);
            path.lineTo(x0, 13);
        } else {
            path.moveTo(x1, 3);
            path.lineTo(x0, 8);
            path.lineTo(x1, 13);
        }
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (type) {
    case TMPBtnType::btPlay: triangle(4, 13, true); break;
    case TMPBtnType::btPause: p.drawRect(4, 3, 3, 10); p.drawRect(9, 3, 3, 10); break;
    case TMPBtnType::btStop: p.drawRect(4, 4, 8, 8); break;
    case TMPBtnType::btNext: triangle(3, 11, true); p.drawRect(11, 3, 2, 10); break;
    case TMPBtnType::btPrev: p.drawRect(3, 3, 2, 10); triangle(5, 13, false); break;
    }
}

struct ButtonInfo {
    TMPBtnType type;
    const char* name;
    QColor colour;
};

const ButtonInfo kButtons[] = {
    {TMPBtnType::btPlay, "Play", QColor(0, 128, 0)},
    {TMPBtnType::btPause, "Pause", QColor(128, 128, 0)},
    {TMPBtnType::btStop, "Stop", QColor(128, 0, 0)},
    {TMPBtnType::btNext, "Next", QColor(0, 0, 128)},
    {TMPBtnType::btPrev, "Prev", QColor(0, 0, 128)},
};

} // namespace

TMediaPlayer::TMediaPlayer(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const ButtonInfo& info : kButtons) {
        auto* button = new QToolButton(this);
        button->setIcon(ui::drawnIcon(QStringLiteral("media/%1").arg(info.name), kGlyphSize,
            [type = info.type, colour = info.colour](QPainter& p, qreal) { drawGlyph(p, type, colour); }));
        button->setIconSize(kGlyphSize); // a style's larger size would draw them larger
        button->setAccessibleName(info.name);
        button->setToolTip(info.name);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        button->setFocusPolicy(Qt::NoFocus);
        button->installEventFilter(this);
        connect(button, &QToolButton::clicked, this, ui::guarded([this, t = info.type] { buttonClicked(t); }));
        layout->addWidget(button);
        buttons_[static_cast<int>(info.type)] = button;
    }
    buttons_[0]->setFocusPolicy(Qt::TabFocus);
    setAccessibleName("Media player");
}

// The bar is one stop of the Tab key; the arrow keys go from button to
// button, which keeps it, and Space presses the one that has the focus.
bool TMediaPlayer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto it = std::find(buttons_.begin(), buttons_.end(), watched);
    if (it == buttons_.end())
        return false;
    int step = 0;
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        step = -1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        step = 1;
        break;
    default:
        return false;
    }
    const int count = int(buttons_.size());
    int next = int(it - buttons_.begin());
    for (int tries = 0; tries < count; ++tries) {
        next = (next + step + count) % count;
        if (buttons_[next]->isEnabled())
            break;
    }
    (*it)->setFocusPolicy(Qt::NoFocus);
    buttons_[next]->setFocusPolicy(Qt::TabFocus);
    buttons_[next]->setFocus(Qt::OtherFocusReason);
    return true;
}

TMediaPlayer::~TMediaPlayer()
{
    Close();
}

void TMediaPlayer::SetAutoEnable(bool on)
{
    autoEnable_ = on;
    updateButtons();
}

void TMediaPlayer::Loaded()
{
    if (AutoOpen)
        Open();
}

void TMediaPlayer::Open()
{
    Close();
    auto type = static_cast<mci::DeviceType>(DeviceType);
    if (type == mci::DeviceType::AutoSelect && !FileName.isEmpty())
        if (const media_kinds::Kind* kind = media_kinds::kindOf(FileName))
            type = kind->autoSelect;
    std::unique_ptr<mci::Device> device;
    // Read at every open: a choice made in the Multimedia Properties takes
    // effect from the next track on.
    const mci::Result result
        = mci::openDevice(type, ui::encodeFileName(FileName).toStdString(), multimedia::load(), device);
    error_ = result.code;
    if (!result.ok()) {
        updateButtons();
        throw ui::EMCIDeviceError(result.text.empty() ? std::string(kUnknownError) : result.text);
    }
    device_ = std::move(device);
    openType_ = type;
    const unsigned generation = ++generation_;
    QPointer<TMediaPlayer> self(this);
    device_->setEndNotify([self, generation] {
        QMetaObject::invokeMethod(
            self.data(), [self, generation] { if (self) self->onDeviceEnded(generation); },
            Qt::QueuedConnection);
    });
    updateButtons();
}

void TMediaPlayer::Close()
{
    if (!device_)
        return;
    ++generation_;
    device_->setEndNotify({});
    device_->close();
    device_.reset();
    updateButtons();
}

void TMediaPlayer::requireOpen() const
{
    if (!device_)
        throw ui::EMCIDeviceError(kNotOpen);
}

void TMediaPlayer::record(const mci::Result& result)
{
    error_ = result.code;
}

void TMediaPlayer::Play()
{
    requireOpen();
    if (AutoRewind) {
        uint32_t pos = 0, len = 0;
        if (device_->position(pos).ok() && device_->length(len).ok() && pos == len)
            record(device_->seekToStart());
    }
    record(device_->play());
    updateButtons();
}

void TMediaPlayer::Pause()
{
    requireOpen();
    const mci::Mode mode = device_->mode();
    if (mode == mci::Mode::Playing) {
        record(device_->pause());
    } else if (mode == mci::Mode::Paused) {
        mci::Result r = device_->resume();
        if (!r.ok())
            r = device_->play();
        record(r);
    }
    updateButtons();
}

void TMediaPlayer::Resume()
{
    requireOpen();
    record(device_->resume());
    updateButtons();
}

void TMediaPlayer::Stop()
{
    requireOpen();
    record(device_->stop());
    updateButtons();
}

void TMediaPlayer::Next()
{
    requireOpen();
    record(device_->seekToEnd());
    updateButtons();
}

void TMediaPlayer::Previous()
{
    requireOpen();
    record(device_->seekToStart());
    updateButtons();
}

void TMediaPlayer::Rewind()
{
    Previous();
}

int TMediaPlayer::Position()
{
    if (!device_)
        return 0;
    uint32_t pos = 0;
    const mci::Result r = device_->position(pos);
    record(r);
    return r.ok() ? static_cast<int>(pos) : 0;
}

void TMediaPlayer::SetPosition(int position)
{
    requireOpen();
    record(device_->seek(static_cast<uint32_t>(std::max(position, 0))));
    updateButtons();
    emit positionSet(std::max(position, 0));
}

int TMediaPlayer::Length()
{
    requireOpen();
    uint32_t len = 0;
    const mci::Result r = device_->length(len);
    record(r);
    return r.ok() ? static_cast<int>(len) : 0;
}

TMPModes TMediaPlayer::Mode()
{
    if (!device_)
        return TMPModes::mpNotReady;
    switch (device_->mode()) {
    case mci::Mode::NotReady: return TMPModes::mpNotReady;
    case mci::Mode::Stopped: return TMPModes::mpStopped;
    case mci::Mode::Playing: return TMPModes::mpPlaying;
    case mci::Mode::Paused: return TMPModes::mpPaused;
    case mci::Mode::Seeking: return TMPModes::mpSeeking;
    case mci::Mode::Open: return TMPModes::mpOpen;
    }
    return TMPModes::mpNotReady;
}

void TMediaPlayer::SetTimeFormat(TMPTimeFormats format)
{
    if (!device_)
        return;
    mci::TimeFormat f = mci::TimeFormat::Default;
    if (format == TMPTimeFormats::tfMilliseconds)
        f = mci::TimeFormat::Milliseconds;
    else if (format == TMPTimeFormats::tfFrames)
        f = mci::TimeFormat::Frames;
    record(device_->setTimeFormat(f));
}

void TMediaPlayer::buttonClicked(TMPBtnType button)
{
    bool doDefault = true;
    if (OnClick)
        OnClick(this, button, doDefault);
    if (!doDefault)
        return;
    switch (button) {
    case TMPBtnType::btPlay: Play(); break;
    case TMPBtnType::btPause: Pause(); break;
    case TMPBtnType::btStop: Stop(); break;
    case TMPBtnType::btNext: Next(); break;
    case TMPBtnType::btPrev: Previous(); break;
    }
}

void TMediaPlayer::onDeviceEnded(unsigned generation)
{
    if (generation == generation_)
        updateButtons();
}

void TMediaPlayer::updateButtons()
{
    emit changed();
    if (!autoEnable_) {
        for (QToolButton* b : buttons_)
            b->setEnabled(true);
        return;
    }
    const TMPModes mode = Mode();
    const bool open = device_ != nullptr && mode != TMPModes::mpNotReady;
    const bool playing = mode == TMPModes::mpPlaying;
    const bool paused = mode == TMPModes::mpPaused;
    Button(TMPBtnType::btPlay)->setEnabled(open && !playing);
    Button(TMPBtnType::btPause)->setEnabled(open && (playing || paused));
    Button(TMPBtnType::btStop)->setEnabled(open && (playing || paused));
    Button(TMPBtnType::btNext)->setEnabled(open);
    Button(TMPBtnType::btPrev)->setEnabled(open);
    // Tab skips a disabled button: the bar's stop moves to one that works.
    const auto stop = std::find_if(
        buttons_.begin(), buttons_.end(), [](QToolButton* b) { return b->focusPolicy() & Qt::TabFocus; });
    const auto enabled = std::find_if(buttons_.begin(), buttons_.end(), [](QToolButton* b) { return b->isEnabled(); });
    if (stop != buttons_.end() && !(*stop)->isEnabled() && enabled != buttons_.end()) {
        (*stop)->setFocusPolicy(Qt::NoFocus);
        (*enabled)->setFocusPolicy(Qt::TabFocus);
    }
}

