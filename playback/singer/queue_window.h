#pragma once
// The night's queue for the host: the songs to come, each with the name of
// who sings it, in the order they follow the song that plays. Songs come by
// a drop (from the player's list or a file manager) or Add Songs…; names are
// typed in place; entries move, go or play now by mouse and keyboard. A view
// of the session: the queue is the session's.
#include <QWidget>

class PlaybackSession;
class QLabel;
class QPushButton;
class QTableWidget;

namespace singer {

class QueueWindow final : public QWidget {
public:
    explicit QueueWindow(PlaybackSession& session);

    QTableWidget* table() const { return table_; }
    QLabel* summary() const { return summary_; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void showQueue();
    void showButtons();
    void addSongs();
    void add(const QStringList& files, int at);
    void move(int step);
    int current() const;

    PlaybackSession& session_;
    QLabel* summary_;
    QTableWidget* table_;
    QPushButton* playNow_;
    QPushButton* up_;
    QPushButton* down_;
    QPushButton* remove_;
    bool showing_ = false; // the table is being filled: its changes are not the user's
};

} // namespace singer
