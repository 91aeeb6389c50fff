#pragma once
#include <functional>

class QWidget;

// The whole run of the player: splash, main window, message loop. WHEN_PAINTED,
// if given, is called once the main window has been painted for the first time.
// With the one argument "--multimedia" the run is the Multimedia Properties
// panel instead, until it is closed.
int runPlayer(int argc, char** argv, std::function<void(QWidget* form)> whenPainted = {});
