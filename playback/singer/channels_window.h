#pragma once
// A song's channels for singers and players: each channel the song plays
// with its instrument and track name, a meter of its notes sounding, and
// Mute and Solo; the channel found to carry the melody marked. A view of
// the session: it shows the track and sends the session its commands.
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class PlaybackSession;
class QCheckBox;
class QGridLayout;
class QLabel;
class QProgressBar;

namespace mci {
struct SongParts;
}

namespace singer {

class ChannelsWindow final : public QWidget {
public:
    explicit ChannelsWindow(PlaybackSession& session);

    // What "Save as Wave…" in its menu does.
    std::function<void()> saveWave;

    // The rows of the song open now, and what is muted and soloed.
    void showTrack();

    // One row's controls, for those who read them.
    struct Row {
        int channel;
        QLabel* number;
        QLabel* instrument;
        QLabel* track;
        QLabel* melody;
        QProgressBar* meter;
        QCheckBox* mute;
        QCheckBox* solo;
    };
    const std::vector<Row>& rows() const { return rows_; }
    QLabel* summary() const { return summary_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build(const mci::SongParts* song);
    void meter();

    PlaybackSession& session_;
    std::shared_ptr<const mci::SongParts> shown_;
    QLabel* summary_;
    QWidget* table_ = nullptr;
    QGridLayout* grid_ = nullptr;
    std::vector<Row> rows_;
    QTimer meters_;
};

} // namespace singer
