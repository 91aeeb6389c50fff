#include "framework/file_controls.h"

#include "framework/errors.h"
#include "framework/file_controls_detail.h"
#include "framework/file_names.h"
#include "platform/fs/file_ops.h"

#include <QFileInfo>

#include <algorithm>

namespace ui {

namespace file_controls_detail {

namespace {

// Sorted by name without regard to case; names equal but for case keep a
// fixed order so that the list does not reshuffle between reads.
QStringList sortedNames(const std::vector<std::string>& found)
{
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(found.size());
    for (const std::string& name : found) {
        const QString decoded = text(name);
        keyed.emplace_back(decoded.toCaseFolded(), decoded);
    }
    std::sort(keyed.begin(), keyed.end());
    QStringList names;
    names.reserve(qsizetype(keyed.size()));
    for (auto& entry : keyed)
        names.append(std::move(entry.second));
    return names;
}

} // namespace

std::string bytes(const QString& path)
{
    return encodeFileName(path).toStdString();
}
QString text(const std::string& path)
{
    return decodeFileName(path);
}

QString currentFolder()
{
    return text(volumes::currentFolder());
}
QString parentFolder(const QString& path)
{
    return text(kernel::folderOf(bytes(path)));
}
QString joinPath(const QString& folder, const QString& name)
{
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}
bool isFolder(const QString& path)
{
    return volumes::isFolder(bytes(path));
}
bool exists(const QString& path)
{
    return volumes::exists(bytes(path));
}
bool isReadableFolder(const QString& path)
{
    // By the name the watcher gives the system: only the watcher asks.
    const QFileInfo info(path);
    return info.isDir() && info.isReadable();
}

// The entries of FOLDER, which becomes the process's current folder; a
// failure throws EInOutError with the system's error number and changes nothing.
QStringList enterFolder(const QString& folder, volumes::EntryKind kind, const volumes::NameMask* mask)
{
    std::vector<std::string> found;
    if (const int error = volumes::enterFolder(bytes(folder), kind, mask, found))
        throw EInOutError(error);
    return sortedNames(found);
}

} // namespace file_controls_detail

using namespace file_controls_detail;

QString absoluteFolderPath(const QString& path)
{
    return text(volumes::absolutePath(bytes(path)));
}

QList<Drive> drives()
{
    QList<Drive> all;
    for (const volumes::Drive& drive : volumes::drives())
        all.append({text(drive.path), text(drive.name)});
    return all;
}

QString driveOf(const QString& path)
{
    return text(volumes::driveOf(bytes(path)));
}

} // namespace ui
