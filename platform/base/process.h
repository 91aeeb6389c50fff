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

// Starts the program at PATH with ARGUMENTS (the first one is its own name)
// in DIRECTORY (empty: ours), on its own: in a session of its own, with
// default signal handling, stdin on /dev/null, none of our other descriptors,
// and not our child, so nobody has to wait for it. Returns 0 once it runs, or
// the errno of the failed start (ENOTDIR for a DIRECTORY that does not exist).
int startDetached(
    const std::string& path, const std::vector<std::string>& arguments, const std::string& directory = {});

// Runs the program at PATH with ARGUMENTS (the first one is its own name),
// stdin, stdout and stderr on /dev/null, and waits until it ends. Returns its
// exit status, or -1 when it could not start or was killed by a signal.
int runAndWait(const std::string& path, const std::vector<std::string>& arguments);

// The calling thread, and the threads it starts from now on, give way to
// everything else of the user's: work nobody waits for, beside what plays.
void yieldToOthers();

} // namespace base::process
