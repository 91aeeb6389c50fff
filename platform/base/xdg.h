#pragma once
// The user's folders as the XDG base directory rules name them. A variable
// that holds a relative path is ignored, as those rules demand, so a stray
// value never puts the player's files below whatever folder it was started in.
#include <string>
#include <vector>

namespace base::xdg {

// $HOME, else the home folder of the user's account, else /tmp.
std::string homeFolder();

// $XDG_DATA_HOME, else ~/.local/share.
std::string dataHome();

// $XDG_CONFIG_HOME, else ~/.config.
std::string configHome();

// The absolute entries of $XDG_DATA_DIRS in order; /usr/local/share and
// /usr/share when it is unset or empty.
std::vector<std::string> dataDirs();

// The absolute entries of $XDG_CONFIG_DIRS in order; /etc/xdg when it is
// unset or empty.
std::vector<std::string> configDirs();

} // namespace base::xdg
