#pragma once
// Where the words window stands, kept by the program for the next run,
// without reaching into the device that owns the window. The window's
// thread only.
#include <QByteArray>

#include <functional>

namespace mci::sequencer {

// LOAD gives the place (size, position, full screen) the words window last
// had, as QWidget::saveGeometry wrote it, empty for none; SAVE keeps a new
// one. Without a keeper the place is kept for the next song only. The program
// keeps it in its settings; nulls take the keeper away.
void setWordsPlaceKeeper(std::function<QByteArray()> load, std::function<void(const QByteArray&)> save);

// The words window's side of the keeper.
QByteArray keptWordsPlace();
void keepWordsPlace(const QByteArray& place);

} // namespace mci::sequencer
