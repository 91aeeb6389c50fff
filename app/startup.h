#pragma once
// The whole run of the player: splash, main window, message loop.
// With the one argument "--multimedia" the run is the Multimedia Properties
// panel instead, until it is closed.
int runPlayer(int argc, char** argv);
