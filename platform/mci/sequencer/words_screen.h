#pragma once
// What the program may do with the words window of the song open, without
// reaching into the device that owns it: keep its place, close it and bring
// it back. The window's thread only.
#include <QByteArray>

#include <functional>

namespace mci::sequencer {

// LOAD gives the place (size, position, full screen) the words window last
// had, as QWidget::saveGeometry wrote it, empty for none; SAVE keeps a new
// one. Without a keeper the place is kept for the next song only. The program
// keeps it in its settings; nulls take the keeper away.
void setWordsPlaceKeeper(std::function<QByteArray()> load, std::function<void(const QByteArray&)> save);

// As Escape in the words window, from any window: a full screen gives the
// screen back, else the words close for the song. False when none show.
bool closeWords();
// Brings back the words the user closed for the song open: at once, unless
// the song is stopped, else when it plays. False when none were closed.
bool reopenWords();

// The words window's side of the keeper.
QByteArray keptWordsPlace();
void keepWordsPlace(const QByteArray& place);

} // namespace mci::sequencer
