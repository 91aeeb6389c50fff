#include "playback/media_player.h"

#include "playback/playback_session.h"

#include "framework/drawn_icon.h"
#include "framework/guard.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

#include <algorithm>

namespace {

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
    // Pressed wherever the window has the keyboard. With Ctrl: a letter or
    // Space alone belongs to the lists' type-ahead.
    QKeyCombination key;
};

const ButtonInfo kButtons[] = {
    {TMPBtnType::btPlay, "Play", QColor(0, 128, 0), Qt::CTRL | Qt::Key_P},
    {TMPBtnType::btPause, "Pause", QColor(128, 128, 0), Qt::CTRL | Qt::Key_Space},
    {TMPBtnType::btStop, "Stop", QColor(128, 0, 0), Qt::CTRL | Qt::Key_S},
    {TMPBtnType::btNext, "Next", QColor(0, 0, 128), Qt::CTRL | Qt::Key_N},
    {TMPBtnType::btPrev, "Prev", QColor(0, 0, 128), Qt::CTRL | Qt::Key_B},
};

} // namespace

TMediaPlayer::TMediaPlayer(PlaybackSession& session, QWidget* parent) : QWidget(parent), session_(session)
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
        button->setShortcut(QKeySequence(info.key));
        button->setToolTip(QStringLiteral("%1 (%2)").arg(
            QLatin1String(info.name), button->shortcut().toString(QKeySequence::NativeText)));
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        button->setFocusPolicy(Qt::NoFocus);
        button->installEventFilter(this);
        connect(button, &QToolButton::clicked, this, ui::guarded([this, t = info.type] { buttonClicked(t); }));
        layout->addWidget(button);
        buttons_[static_cast<int>(info.type)] = button;
    }
    buttons_[0]->setFocusPolicy(Qt::TabFocus);
    setAccessibleName("Media player");
    connect(&session_, &PlaybackSession::stateChanged, this, ui::guarded([this] { updateButtons(); }));
    connect(&session_, &PlaybackSession::autoEnableChanged, this, ui::guarded([this] { updateButtons(); }));
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

TMediaPlayer::~TMediaPlayer() = default;

bool TMediaPlayer::AutoEnable() const
{
    return session_.autoEnable();
}

void TMediaPlayer::SetAutoEnable(bool on)
{
    session_.setAutoEnable(on);
}

void TMediaPlayer::buttonClicked(TMPBtnType button)
{
    bool doDefault = true;
    if (OnClick)
        OnClick(this, button, doDefault);
    if (!doDefault)
        return;
    switch (button) {
    case TMPBtnType::btPlay:
        session_.play();
        break;
    case TMPBtnType::btPause:
        session_.pauseOrResume();
        break;
    case TMPBtnType::btStop:
        session_.stop();
        break;
    case TMPBtnType::btNext:
        session_.toEnd();
        break;
    case TMPBtnType::btPrev:
        session_.toStart();
        break;
    }
}

void TMediaPlayer::updateButtons()
{
    if (!session_.autoEnable()) {
        for (QToolButton* b : buttons_)
            b->setEnabled(true);
        return;
    }
    using State = PlaybackSession::State;
    const State state = session_.state();
    const bool playing = state == State::Playing;
    const bool paused = state == State::Paused;
    const bool open = playing || paused || state == State::Stopped || state == State::Resting;
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
