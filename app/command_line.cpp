#include "app/command_line.h"

#include "core/textrules.h"
#include "framework/file_names.h"

#include <QDir>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace command_line {

namespace {

constexpr const char* kUsage = "Usage: quorvana [--new-window] [FILE]\n"
                               "       quorvana --queue FILE...\n"
                               "       quorvana --multimedia\n"
                               "Play MIDI songs, wave sounds and AVI videos, with a GM or GS reset before\n"
                               "every song.\n"
                               "\n"
                               "  FILE          play FILE when the window first becomes active; the\n"
                               "                browser shows its folder; a player already running\n"
                               "                takes it instead, unless the Multimedia Properties\n"
                               "                say otherwise\n"
                               "  --new-window  play FILE in a player of its own\n"
                               "  --queue       add the FILEs to the night's queue of the player\n"
                               "                running (else of a new one), to follow the song\n"
                               "                that plays\n"
                               "  --multimedia  show the Multimedia Properties (sound output, MIDI\n"
                               "                instrument, video size)\n"
                               "  -h, --help    show this help and exit\n"
                               "  --version     show the version and exit\n"
                               "\n"
                               "Environment (each overrides the choice in the Multimedia Properties):\n"
                               "  QUORVANA_SOUNDFONT        soundfont of the built-in synthesizer\n"
                               "  QUORVANA_MIDI_OUT         synth, alsa:CLIENT:PORT or capture\n"
                               "  QUORVANA_RESET_SETTLE_MS  pause after a GM or GS reset on an ALSA port\n"
                               "  QUORVANA_WINDIR           folder of the reset sequence files\n"
                               "  QUORVANA_REGISTRY         file of the player's registry store\n"
                               "  SDL_AUDIODRIVER           SDL's audio driver (dummy plays silently)\n"
                               "\n"
                               "Files:\n"
                               "  $XDG_CONFIG_HOME/quorvana/quorvana.INI  the editors of the context menu\n"
                               "  $XDG_CONFIG_DIRS/quorvana/quorvana.INI  site-wide defaults of the editors\n"
                               "  $XDG_CONFIG_HOME/quorvana/registry.reg  associations, multimedia choices\n"
                               "  $XDG_DATA_HOME/quorvana/QUORVAGM.MI_, QUORVAGS.MI_  the reset sequences\n";

// The checks go by the name's bytes: Qt's own file classes would lose those
// that are not UTF-8 and miss the file.
bool isFile(const QString& name)
{
    struct stat status { };
    return !name.isEmpty() && ::stat(ui::encodeFileName(name).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

QString currentFolder()
{
    std::string folder(4096, '\0');
    while (!::getcwd(folder.data(), folder.size())) {
        if (errno != ERANGE)
            return QDir::currentPath();
        folder.resize(folder.size() * 2);
    }
    return ui::decodeFileName(QByteArray(folder.c_str()));
}

QString absolute(const QString& file)
{
    if (file.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(file);
    return QDir::cleanPath(currentFolder() + QLatin1Char('/') + file);
}

} // namespace

std::optional<int> printInformation(int argc, char** argv)
{
    // The options stand before the file; whichever of these comes first wins
    // over everything else asked.
    for (int i = 1; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Quorvana %s\n", QUORVANA_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

bool takeNewWindow(QStringList& arguments)
{
    if (arguments.value(1) != QLatin1String("--new-window"))
        return false;
    arguments.removeAt(1);
    return true;
}

QStringList takeQueue(QStringList& arguments)
{
    QStringList files;
    if (arguments.value(1) != QLatin1String("--queue"))
        return files;
    for (const QString& file : arguments.mid(2))
        files << absolute(file);
    arguments = arguments.mid(0, 1);
    return files;
}

QStringList arguments(int argc, char** argv)
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << ui::decodeFileName(QByteArray(argv[i]));
    return list;
}

QString fileToHandOver(const QStringList& arguments)
{
    const QString file = textrules::commandLineFileName(arguments);
    return isFile(file) ? absolute(file) : QString();
}

QStringList forTheWindow(const QStringList& arguments)
{
    if (arguments.size() <= 2 || isFile(textrules::commandLineFileName(arguments)))
        return arguments;
    const QString first = textrules::commandLineFileName(arguments.mid(0, 2));
    if (isFile(first))
        return {arguments.at(0), first};
    return arguments;
}

void enterDocumentFolder(const QStringList& arguments)
{
    const QString file = textrules::commandLineFileName(arguments);
    if (!file.startsWith(QLatin1Char('/')) || !isFile(file))
        return;
    // A folder that cannot be entered leaves the player where it started.
    [[maybe_unused]] const int entered
        = ::chdir(ui::encodeFileName(file.left(file.lastIndexOf(QLatin1Char('/')) + 1)).constData());
}

} // namespace command_line
