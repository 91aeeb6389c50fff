#include "platform/shell/windows_programs.h"

#include "platform/base/ascii.h"
#include "platform/base/process.h"
#include "platform/shell/desktop_applications.h"
#include "platform/shell/shell.h"
#include "platform/shell/start.h"

#include <mutex>

namespace shell {

namespace {

// The desktop's counterparts of the Windows programs the player names, in
// order of preference.
const std::vector<Program>& soundSettingsPrograms()
{
    static const std::vector<Program> programs = {
        {"pavucontrol", {}},
        {"pavucontrol-qt", {}},
        {"gnome-control-center", {"sound"}},
        {"systemsettings", {"kcm_pulseaudio"}},
        {"systemsettings5", {"kcm_pulseaudio"}},
        {"cinnamon-settings", {"sound"}},
        {"mate-volume-control", {}},
        {"xfce4-pulseaudio-plugin", {}},
    };
    return programs;
}

const std::vector<Program>& waveEditors()
{
    static const std::vector<Program> programs = {
        {"audacity", {}},
        {"tenacity", {}},
        {"ocenaudio", {}},
        {"mhwaveedit", {}},
        {"sweep", {}},
    };
    return programs;
}

std::mutex& desktopMutex()
{
    static std::mutex m;
    return m;
}

Desktop& givenDesktop()
{
    static Desktop desktop;
    return desktop;
}

Desktop desktop()
{
    std::lock_guard lock(desktopMutex());
    return givenDesktop();
}

int startMultimediaPanel(const std::string& directory)
{
    const Desktop given = desktop();
    if (given.panelProgram.empty() || given.panelArguments.empty())
        return ErrFileNotFound;
    return codeFor(base::process::startDetached(given.panelProgram, given.panelArguments, directory));
}

// What stands in for a Windows editor: an application of the desktop that
// edits the file, never one that would only play it (the running program
// itself, were it the default for the file, least of all).
int openWithOtherEditor(const std::vector<std::string>& documents, const std::string& directory)
{
    return openWithEditorOtherThan(desktop().ownDesktopEntry, documents, directory);
}

// The control panel's Multimedia applet is whatever the Desktop names; the
// control panel's other applets have no stand-in.
int startControlPanel(const std::string& parameters, const std::string& directory)
{
    if (base::ascii::toLower(parameters).find("mmsys.cpl") != std::string::npos)
        return startMultimediaPanel(directory);
    return ErrFileNotFound;
}

// An installed wave editor edits best; else any the desktop has for the file.
int startWaveEditor(const std::string& parameters, const std::string& directory)
{
    const std::vector<std::string> arguments = splitParameters(parameters);
    const int result = startFirstInstalled(waveEditors(), arguments, directory);
    return result == ErrFileNotFound ? openWithOtherEditor(arguments, directory) : result;
}

struct WindowsProgram {
    const char* name; // without ".exe"
    int (*start)(const std::string& parameters, const std::string& directory);
};

constexpr WindowsProgram kWindowsPrograms[] = {
    {"rundll32", startControlPanel},
    {"sndrec32", startWaveEditor},
};

} // namespace

int startWindowsProgram(const std::string& name, const std::string& parameters, const std::string& directory)
{
    using base::ascii::equalIgnoringCase;
    // Settings brought from Windows name programs by their Windows paths.
    const std::string program = name.substr(name.find_last_of("\\/") + 1);
    for (const WindowsProgram& known : kWindowsPrograms) {
        if (equalIgnoringCase(program, known.name) || equalIgnoringCase(program, std::string(known.name) + ".exe"))
            return known.start(parameters, directory);
    }
    // Any other Windows program was an editor for the file it is given.
    if (program.size() > 4 && equalIgnoringCase(program.substr(program.size() - 4), ".exe"))
        return openWithOtherEditor(splitParameters(parameters), directory);
    return ErrFileNotFound;
}

Desktop setDesktop(Desktop desktop)
{
    std::lock_guard lock(desktopMutex());
    std::swap(givenDesktop(), desktop);
    return desktop;
}

bool soundSettingsInstalled()
{
    for (const auto& program : soundSettingsPrograms())
        if (!base::process::findInPath(program.name).empty())
            return true;
    return false;
}

int openSoundSettings()
{
    return startFirstInstalled(soundSettingsPrograms(), {}, {});
}

} // namespace shell
