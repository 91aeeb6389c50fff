#include "framework/file_controls.h"

#include "framework/errors.h"
#include "framework/file_controls_detail.h"
#include "framework/file_names.h"
#include "framework/guard.h"
#include "platform/fs/file_ops.h"
#include "platform/fs/volumes.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>

namespace ui {

using namespace file_controls_detail;

DriveComboBox::DriveComboBox(QWidget* parent) : QComboBox(parent)
{
    drive_ = driveOf(currentFolder());
    refreshDrives();
    connect(this, &QComboBox::activated, this, guarded([this](int index) { userPicked(index); }));
}

void DriveComboBox::refreshDrives()
{
    QList<Drive> all = drives();
    // A volume unmounted while current stays listed until the user leaves it.
    const auto isCurrent = [this](const Drive& d) { return d.path == drive_; };
    if (!drive_.isEmpty() && std::none_of(all.begin(), all.end(), isCurrent))
        all.append({drive_, drive_});
    const QSignalBlocker blocker(this);
    clear();
    for (const Drive& d : all) {
        addItem(d.name, d.path);
        setItemData(count() - 1, d.path, Qt::ToolTipRole);
    }
    setCurrentIndex(findData(drive_));
}

void DriveComboBox::setDrive(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString drive = driveOf(path);
    if (currentIndex() >= 0 && drive == drive_)
        return;
    select(drive);
    emit change();
}

void DriveComboBox::select(const QString& drive)
{
    drive_ = drive;
    int index = findData(drive);
    if (index < 0) {
        refreshDrives();
        index = findData(drive);
    }
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
}

void DriveComboBox::userPicked(int index)
{
    const QString drive = itemData(index).toString();
    if (drive.isEmpty() || drive == drive_)
        return;
    drive_ = drive;
    emit change();
}

void DriveComboBox::showPopup()
{
    refreshDrives();
    QComboBox::showPopup();
}

} // namespace ui
