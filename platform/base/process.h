#pragma once
// Finding and starting other programs. Arguments always travel as a vector,
// never through a shell, so no blank, quote or "$" in a file name can change
// what runs.
#include <string>
#include <vector>

namespace base::process {

// The program a bare NAME (no "/") stands for, found the way execvp finds it:
// the first executable regular file of that name in the folders of $PATH
// (an empty entry is the current folder; /usr/local/bin:/usr/bin:/bin when
// $PATH is unset). Empty when there is none. *DENIED_SOMEWHERE, when given,
// is set when a regular file of that name was passed over because it may not
// be executed, so that a caller can tell "not allowed" from "not there".
std::string findInPath(const std::string& name, bool* deniedSomewhere = nullptr);

} // namespace base::process
