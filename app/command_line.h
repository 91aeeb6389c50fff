#pragma once
// What the player makes of its arguments before any window exists: the
// options that only print, and the file a desktop starts it for.
#include <QStringList>

#include <optional>

namespace command_line {

// "--help" (or "-h") or "--version" among the options before the file:
// prints to standard output and gives the exit code. Otherwise nullopt, and
// the player starts.
std::optional<int> printInformation(int argc, char** argv);

// The arguments as the system gave them: a file name's bytes that are not
// UTF-8 stay in it, in the file name controls' escape.
QStringList arguments(int argc, char** argv);

// Takes "--new-window" from the front of ARGUMENTS (after the program):
// true when it was there, and the file then plays in a player of its own.
bool takeNewWindow(QStringList& arguments);

// Takes "--queue FILE..." from ARGUMENTS (after the program): the files to
// queue as absolute paths, none when it was not there. Only the program is
// left: such a start plays nothing of its own.
QStringList takeQueue(QStringList& arguments);

// The file a start hands to the player already running: the command line's
// file as an absolute path, when it names one; empty otherwise.
QString fileToHandOver(const QStringList& arguments);

// The arguments the main window works with. Several arguments are one name
// with blanks in it; when that name is no file but the first argument is,
// the file manager has passed several files and the first one plays.
QStringList forTheWindow(const QStringList& arguments);

// Started for a document, a program works in the document's folder, as the
// desktop's browser and its selection then show. A relative name stays
// relative to the folder the player was started in.
void enterDocumentFolder(const QStringList& arguments);

} // namespace command_line
