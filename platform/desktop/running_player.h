#pragma once
// One running player per desktop session: a later start hands its files to
// the player already running, through the freedesktop Application interface
// under a well-known name on the session bus, and ends.
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace desktop {

// The object path the Application interface lives at for APP_ID
// ("io.github.quorvana.Quorvana" gives "/io/github/quorvana/Quorvana").
QString applicationPath(const QString& appId);

// The local files among URIS, as paths; other schemes are left out.
QStringList localPaths(const QStringList& uris);

// Asks the program running under APP_ID to open FILES (absolute paths).
// True once it has taken them; false when none runs there, when there is
// no session bus, or when it does not answer within a few seconds.
bool handToRunningPlayer(const QString& appId, const QStringList& files);

class FileReceiver : public QObject {
    Q_OBJECT

public:
    // Owns APP_ID on the session bus while it lives, unless another process
    // does already. OPEN gets the local paths a later start hands over;
    // ACTIVATE runs for a start without files.
    FileReceiver(const QString& appId, std::function<void(const QStringList& paths)> open,
        std::function<void()> activate, QObject* parent = nullptr);
    ~FileReceiver() override;

    bool registered() const { return registered_; }

    // For the adaptor: run from the event loop, after the caller has its answer.
    void received(const QStringList& uris);
    void activated();

private:
    QString appId_;
    std::function<void(const QStringList&)> open_;
    std::function<void()> activate_;
    bool registered_ = false;
};

} // namespace desktop
