#include "browser/file_drag.h"

#include "core/textrules.h"
#include "framework/file_names.h"
#include "framework/guard.h"

#include <QDropEvent>
#include <QMimeData>
#include <QSysInfo>
#include <QUrl>
#include <QWidget>

namespace {

bool isLocalFile(const QUrl& url)
{
    if (!url.isLocalFile())
        return false;
    const QString host = url.host();
    return host.isEmpty() || host == QStringLiteral("localhost") || host == QSysInfo::machineHostName();
}

// Never accept a move: the source would delete the file once we said yes.
bool acceptAsCopy(QDropEvent* event)
{
    if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else if (event->possibleActions() & Qt::LinkAction)
        event->setDropAction(Qt::LinkAction);
    else
        return false;
    event->accept();
    return true;
}

} // namespace

TFileDrag::TFileDrag(QObject* owner) : QObject(owner)
{
    if (auto* window = qobject_cast<QWidget*>(owner)) {
        window_ = window;
        window->installEventFilter(this);
    } else {
        enableDrop_ = false;
    }
    setEnableDrop(enableDrop_);
}

TFileDrag::~TFileDrag()
{
    if (window_)
        window_->removeEventFilter(this);
    setEnableDrop(false);
}

void TFileDrag::setEnableDrop(bool on)
{
    enableDrop_ = on;
    if (window_)
        window_->setAcceptDrops(on);
}

QStringList TFileDrag::localPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!isLocalFile(url))
            continue;
        // From the encoded form: toLocalFile() would turn bytes that are not
        // UTF-8 into U+FFFD and the path would no longer name the file.
        const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!bytes.isEmpty())
            paths.append(ui::decodeFileName(bytes));
    }
    return paths;
}

bool TFileDrag::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_ || !enableDrop_)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (localPaths(drag->mimeData()).isEmpty())
            return false;
        if (!acceptAsCopy(drag))
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* dropped = static_cast<QDropEvent*>(event);
        const QStringList paths = localPaths(dropped->mimeData());
        if (paths.isEmpty())
            return false;
        if (!acceptAsCopy(dropped)) {
            dropped->ignore();
            return true;
        }
        drop(paths);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

void TFileDrag::drop(const QStringList& paths)
{
    nameWithPath_.clear();
    nameOnly_.clear();
    extension_.clear();
    fileCount_ = int(paths.size());
    for (const QString& path : paths) {
        nameWithPath_.append(path);
        nameOnly_.append(path.mid(path.lastIndexOf(u'/') + 1));
        extension_.append(textrules::textAfterFirstDot(path));
    }
    if (OnDrop)
        ui::guard([this] { OnDrop(this); });
}
