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
    QStringList points = mountPoints();
    // A volume unmounted while current stays listed until the user leaves it.
    if (!drive_.isEmpty() && !points.contains(drive_))
        points.append(drive_);
    const QSignalBlocker blocker(this);
    clear();
    for (const QString& point : points)
        addItem(point, point);
    setCurrentIndex(int(points.indexOf(drive_)));
}

void DriveComboBox::setDrive(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString mountPoint = driveOf(path);
    if (currentIndex() >= 0 && mountPoint == drive_)
        return;
    select(mountPoint);
    emit change();
}

void DriveComboBox::select(const QString& mountPoint)
{
    drive_ = mountPoint;
    int index = findData(mountPoint);
    if (index < 0) {
        refreshDrives();
        index = findData(mountPoint);
    }
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
}

void DriveComboBox::userPicked(int index)
{
    const QString mountPoint = itemData(index).toString();
    if (mountPoint.isEmpty() || mountPoint == drive_)
        return;
    drive_ = mountPoint;
    emit change();
}

void DriveComboBox::showPopup()
{
    refreshDrives();
    QComboBox::showPopup();
}

} // namespace ui
