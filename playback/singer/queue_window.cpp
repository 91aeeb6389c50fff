#include "playback/singer/queue_window.h"

#include "core/media_kinds.h"
#include "framework/file_names.h"
#include "framework/guard.h"
#include "platform/desktop/running_player.h"
#include "platform/mci/device_window.h"
#include "playback/playback_session.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace singer {

namespace {

enum Column { kSinger, kSong };

QStringList droppedFiles(const QMimeData* data)
{
    QStringList uris;
    if (data)
        for (const QUrl& url : data->urls())
            uris << url.toString(QUrl::FullyEncoded);
    return desktop::localPaths(uris, [](const QByteArray& name) { return ui::decodeFileName(name); });
}

} // namespace

QueueWindow::QueueWindow(PlaybackSession& session) : QWidget(nullptr, Qt::Window), session_(session)
{
    setObjectName(QStringLiteral("Queue"));
    setWindowTitle(QStringLiteral("Queue"));
    mci::makeDeviceWindow(*this, true);
    setAcceptDrops(true);
    auto* layout = new QVBoxLayout(this);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("upNext"));
    summary_->setTextFormat(Qt::PlainText);
    summary_->setWordWrap(true);
    layout->addWidget(summary_);

    table_ = new QTableWidget(0, 2, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Singer"), QStringLiteral("Song")});
    table_->setAccessibleName(QStringLiteral("Songs to come"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(
        QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    table_->horizontalHeader()->setSectionResizeMode(kSinger, QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(kSinger, 160);
    table_->verticalHeader()->setVisible(true);
    layout->addWidget(table_);

    auto* buttons = new QHBoxLayout;
    const auto button = [&](const QString& text, QKeySequence keys, auto act) {
        auto* b = new QPushButton(text, this);
        if (!keys.isEmpty())
            b->setShortcut(keys);
        connect(b, &QPushButton::clicked, this, [act] { ui::guard(act); });
        buttons->addWidget(b);
        return b;
    };
    button(QStringLiteral("Add Songs…"), QKeySequence::Open, [this] { addSongs(); });
    // Not Return alone: that ends the typing of a name.
    playNow_ = button(QStringLiteral("Play Now"), QKeySequence(Qt::CTRL | Qt::Key_Return),
        [this] { session_.playQueued(current()); });
    up_ = button(QStringLiteral("Move Up"), QKeySequence(Qt::CTRL | Qt::Key_Up), [this] { move(-1); });
    down_ = button(QStringLiteral("Move Down"), QKeySequence(Qt::CTRL | Qt::Key_Down), [this] { move(1); });
    remove_ = button(QStringLiteral("Remove"), QKeySequence::Delete, [this] { session_.removeQueued(current()); });
    layout->addLayout(buttons);
    resize(520, 360);

    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!showing_ && item->column() == kSinger)
            ui::guard([&] { session_.nameSinger(item->row(), item->text()); });
    });
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { showButtons(); });
    const auto follow = [this] { ui::guard([this] { showQueue(); }); };
    connect(&session_, &PlaybackSession::queueChanged, this, follow);
    connect(&session_, &PlaybackSession::trackChanged, this, follow);
    connect(&session_, &PlaybackSession::autoAdvanceChanged, this, follow);
    showQueue();
}

int QueueWindow::current() const
{
    const QList<QTableWidgetSelectionRange> ranges = table_->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}

void QueueWindow::showQueue()
{
    const std::vector<QueuedSong>& queue = session_.queue();
    const int selected = current();
    showing_ = true;
    table_->setRowCount(int(queue.size()));
    // The items stay: the one just named may be telling of its change.
    for (int row = 0; row < int(queue.size()); ++row) {
        const QueuedSong& song = queue[size_t(row)];
        if (!table_->item(row, kSinger)) {
            auto* singer = new QTableWidgetItem;
            singer->setToolTip(QStringLiteral("Type the singer's name"));
            table_->setItem(row, kSinger, singer);
            auto* title = new QTableWidgetItem;
            title->setFlags(title->flags() & ~Qt::ItemIsEditable);
            table_->setItem(row, kSong, title);
        }
        table_->item(row, kSinger)->setText(song.singer);
        table_->item(row, kSong)->setText(song.song());
        table_->item(row, kSong)->setToolTip(song.file);
    }
    showing_ = false;
    if (selected >= 0 && !queue.empty())
        table_->selectRow(std::min(selected, int(queue.size()) - 1));
    const QueuedSong next = session_.upNext();
    summary_->setText(queue.empty()
            ? QStringLiteral("No songs queued. Drop songs here, and they follow the one that plays.")
            : QStringLiteral("Next: %1").arg(next.announced()));
    showButtons();
}

void QueueWindow::showButtons()
{
    const int row = current();
    const int last = table_->rowCount() - 1;
    playNow_->setEnabled(row >= 0);
    remove_->setEnabled(row >= 0);
    up_->setEnabled(row > 0);
    down_->setEnabled(row >= 0 && row < last);
}

void QueueWindow::addSongs()
{
    QStringList patterns;
    for (const media_kinds::Kind& kind : media_kinds::all())
        patterns << QStringLiteral("*") + QLatin1String(kind.extension);
    const QStringList files = QFileDialog::getOpenFileNames(this, QStringLiteral("Add Songs"), QString(),
        QStringLiteral("Songs, sounds and videos (%1)").arg(patterns.join(QLatin1Char(' '))), nullptr,
        QFileDialog::DontUseNativeDialog);
    add(files, -1);
}

// The host names the singer next: the first new entry's name is open for typing.
void QueueWindow::add(const QStringList& files, int at)
{
    const int before = int(session_.queue().size());
    const int where = at < 0 || at > before ? before : at;
    if (session_.enqueue(files, {}, where) == 0)
        return;
    table_->selectRow(where);
    table_->setCurrentCell(where, kSinger);
    activateWindow();
    table_->setFocus();
    table_->editItem(table_->item(where, kSinger));
}

void QueueWindow::move(int step)
{
    const int row = current();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= table_->rowCount())
        return;
    session_.moveQueued(row, to);
    table_->selectRow(to);
}

void QueueWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void QueueWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (!droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

// Dropped on an entry, the songs go before it; elsewhere, at the end. A
// copy, never a move: the source keeps its files.
void QueueWindow::dropEvent(QDropEvent* event)
{
    const QStringList files = droppedFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const QPoint at = table_->viewport()->mapFrom(this, event->position().toPoint());
    const int row = table_->viewport()->rect().contains(at) ? table_->rowAt(at.y()) : -1;
    ui::guard([&] { add(files, row); });
}

} // namespace singer
