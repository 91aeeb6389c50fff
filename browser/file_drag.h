#pragma once
// The drop-target component: placed on a window, it makes the window accept
// files dropped from the desktop and reports each drop as three lists and a
// count. It knows nothing about media.
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class QDropEvent;
class QMimeData;
class QWidget;

class TFileDrag : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList NameWithPath READ NameWithPath)
    Q_PROPERTY(QStringList NameOnly READ NameOnly)
    Q_PROPERTY(QStringList Extension READ Extension)
    Q_PROPERTY(int FileCount READ FileCount)
    Q_PROPERTY(bool EnableDrop READ EnableDrop WRITE setEnableDrop)

public:
    // Attaches to OWNER when it is a widget; any other owner leaves the
    // component detached for good: EnableDrop reads false and no drop comes.
    explicit TFileDrag(QObject* owner);
    ~TFileDrag() override;

    // Of the last drop, item i in entry i of each list: the full path, the
    // text after its last "/", and the text after the first dot of that name
    // (empty when it has none). The lists belong to the component.
    const QStringList& NameWithPath() const { return nameWithPath_; }
    const QStringList& NameOnly() const { return nameOnly_; }
    const QStringList& Extension() const { return extension_; }
    // Items of the last drop; 0 before the first.
    int FileCount() const { return fileCount_; }

    // Whether the owner window accepts dropped files; false on a new component.
    bool EnableDrop() const { return enableDrop_; }
    void setEnableDrop(bool on);

    // The component's one event: called once per drop with the component as
    // sender, after the lists are filled.
    std::function<void(QObject* sender)> OnDrop;

    // Files that arrive another way than by a drag (handed over by a later
    // start) are reported as a drop of PATHS, whether drops are enabled or not.
    void drop(const QStringList& paths);

    // The local paths a drag carries, in order; other URLs are left out.
    static QStringList localPaths(const QMimeData* data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStringList nameWithPath_;
    QStringList nameOnly_;
    QStringList extension_;
    int fileCount_ = 0;
    bool enableDrop_ = false;
    QPointer<QWidget> window_;
};
