#include "playback/singer/channels_window.h"

#include "platform/mci/device_window.h"
#include "playback/playback_session.h"

#include <algorithm>

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace singer {

namespace {

// As often as a meter is read by eye, and no more.
constexpr int kMeterMs = 50;
// A meter falls back by this much a look, so that a drum's hit is seen.
constexpr int kMeterFall = 16;

QString named(const midi::ChannelUse& c)
{
    return QStringLiteral("%1 %2").arg(c.channel + 1).arg(QString::fromStdString(c.instrument));
}

QLabel* cell(const QString& text, const QString& description)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText); // a song's names are never markup
    label->setAccessibleDescription(description);
    return label;
}

} // namespace

ChannelsWindow::ChannelsWindow(PlaybackSession& session) : QWidget(nullptr, Qt::Window), session_(session)
{
    setObjectName(QStringLiteral("Channels"));
    mci::makeDeviceWindow(*this, true);
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    QMenu* song = bar->addMenu(QStringLiteral("&Song"));
    QAction* save = song->addAction(QStringLiteral("Save as &Wave…"), this, [this] {
        if (saveWave)
            saveWave();
    });
    save->setShortcut(QKeySequence::Save);
    layout->setMenuBar(bar);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("melodyFound"));
    summary_->setWordWrap(true);
    layout->addWidget(summary_);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll);
    table_ = new QWidget;
    grid_ = new QGridLayout(table_);
    grid_->setColumnStretch(1, 1);
    grid_->setColumnStretch(2, 1);
    scroll->setWidget(table_);
    resize(560, 420);

    meters_.setInterval(kMeterMs);
    connect(&meters_, &QTimer::timeout, this, [this] { meter(); });
    connect(&session_, &PlaybackSession::trackChanged, this, [this] { showTrack(); });
    showTrack();
}

void ChannelsWindow::showTrack()
{
    const Track& track = session_.track();
    const QString title = track.file.isEmpty() ? QString() : QFileInfo(track.file).fileName();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Channels") : QStringLiteral("Channels: %1").arg(title));
    if (track.song != shown_) {
        shown_ = track.song;
        build(shown_.get());
    }
    for (const Row& row : rows_) {
        const QSignalBlocker mute(row.mute), solo(row.solo);
        row.mute->setChecked(track.muted & (1u << row.channel));
        row.solo->setChecked(track.soloed & (1u << row.channel));
    }
}

void ChannelsWindow::build(const mci::SongParts* song)
{
    for (Row& row : rows_)
        for (QWidget* w : std::initializer_list<QWidget*> {
                 row.number, row.instrument, row.track, row.melody, row.meter, row.mute, row.solo})
            delete w;
    rows_.clear();
    if (!song) {
        summary_->setText(QStringLiteral("The track open now is no song: it has no channels."));
        return;
    }
    int line = 0;
    const QStringList heads {"Channel", "Instrument", "Track", "", "Sounding", "", ""};
    if (!grid_->itemAtPosition(0, 0))
        for (int column = 0; column < heads.size(); ++column)
            if (!heads[column].isEmpty())
                grid_->addWidget(cell(heads[column], {}), 0, column);
    for (const midi::ChannelUse& c : song->channels) {
        ++line;
        Row row {};
        row.channel = c.channel;
        const QString name = named(c);
        row.number = cell(QString::number(c.channel + 1), QStringLiteral("Channel"));
        row.instrument = cell(QString::fromStdString(c.instrument), QStringLiteral("Instrument"));
        row.track = cell(QString::fromStdString(c.trackName), QStringLiteral("Track name"));
        row.melody = cell(c.channel == song->melody ? QStringLiteral("Melody") : QString(), QStringLiteral("Melody"));
        row.meter = new QProgressBar;
        row.meter->setRange(0, 127);
        row.meter->setTextVisible(false);
        row.meter->setMaximumHeight(14);
        row.meter->setAccessibleName(QStringLiteral("Sounding %1").arg(name));
        row.mute = new QCheckBox(QStringLiteral("Mute"));
        row.mute->setAccessibleName(QStringLiteral("Mute %1").arg(name));
        row.solo = new QCheckBox(QStringLiteral("Solo"));
        row.solo->setAccessibleName(QStringLiteral("Solo %1").arg(name));
        const int channel = c.channel;
        connect(row.mute, &QCheckBox::toggled, this, [this, channel](bool on) { session_.setMuted(channel, on); });
        connect(row.solo, &QCheckBox::toggled, this, [this, channel](bool on) { session_.setSoloed(channel, on); });
        int column = 0;
        for (QWidget* w : std::initializer_list<QWidget*> {
                 row.number, row.instrument, row.track, row.melody, row.meter, row.mute, row.solo})
            grid_->addWidget(w, line, column++);
        rows_.push_back(row);
    }
    grid_->setRowStretch(line + 1, 1);
    const auto melody = std::find_if(song->channels.begin(), song->channels.end(),
        [&](const midi::ChannelUse& c) { return c.channel == song->melody; });
    if (song->words && song->words->empty())
        summary_->setText(QStringLiteral("The song has no words: no melody to find."));
    else if (melody == song->channels.end())
        summary_->setText(QStringLiteral("No channel follows the words closely enough: no melody found."));
    else
        summary_->setText(QStringLiteral("Melody: channel %1").arg(named(*melody)));
}

void ChannelsWindow::meter()
{
    const std::array<uint8_t, 16> levels = session_.levels();
    for (const Row& row : rows_)
        row.meter->setValue(std::max<int>(levels[size_t(row.channel)], row.meter->value() - kMeterFall));
}

// The meters cost nothing while the window is away.
void ChannelsWindow::showEvent(QShowEvent* event)
{
    session_.setMetering(true);
    meters_.start();
    QWidget::showEvent(event);
}

void ChannelsWindow::hideEvent(QHideEvent* event)
{
    meters_.stop();
    session_.setMetering(false);
    for (const Row& row : rows_)
        row.meter->setValue(0);
    QWidget::hideEvent(event);
}

void ChannelsWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        close();
    else
        QWidget::keyPressEvent(event);
}

} // namespace singer
