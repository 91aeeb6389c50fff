#pragma once
// One running player per desktop session: a later start hands its files to
// the player already running, through the freedesktop Application interface
// under a well-known name on the session bus, and ends.
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>

namespace desktop {

// The object path the Application interface lives at for APP_ID
// ("io.github.quorvana.Quorvana" gives "/io/github/quorvana/Quorvana").
QString applicationPath(const QString& appId);

// The URI of a local file by its absolute name as the file system has it:
// bytes that are not UTF-8 travel percent-encoded, as they are.
QString fileUri(const QByteArray& path);

// The names of the local files among URIS, as the file system has them;
// other schemes are left out.
QList<QByteArray> localFileNames(const QStringList& uris);

// Turns a file name's bytes into text.
using NameDecoder = std::function<QString(const QByteArray& name)>;

// The local files among URIS, as paths made by DECODE; without one, as
// UTF-8, which loses bytes that are not.
QStringList localPaths(const QStringList& uris, const NameDecoder& decode = {});

// Asks the program running under APP_ID to open FILES (absolute names as
// the file system has them), or with QUEUE to queue them (its "queue"
// action). True once it has taken them; false when none
// runs there, when there is no session bus, or when it does not answer
// within a few seconds, and a program that wakes up later then no longer
// takes them.
bool handToRunningPlayer(const QString& appId, const QList<QByteArray>& files, bool queue = false);

class FileReceiver;

// A start's claim on APP_ID, taken before anything else: of several starts
// at once exactly one owns the name, and every other one hands its files to
// that one. The owner is reachable from the moment it owns the name; what
// it is asked waits, in the order asked, until a FileReceiver of this
// process takes over. DECODE makes the paths the receiver gets.
class NameClaim : public QObject {
    Q_OBJECT

public:
    explicit NameClaim(const QString& appId, NameDecoder decode = {}, QObject* parent = nullptr);
    ~NameClaim() override;

    bool owned() const { return owned_; }
    // True from the moment the process begins to end, ENDING's word
    // included.
    bool ending() const { return ending_ || (endingSoon_ && endingSoon_()); }
    const NameDecoder& decoder() const { return decode_; }
    // ENDING tells that the process has begun to end before its event loop
    // hears of it (a quit signal has arrived); it may be asked any time.
    void setEndingProbe(std::function<bool()> ending) { endingSoon_ = std::move(ending); }

    // The process is ending: the name goes at once, and a call that still
    // comes, or waits for the receiver, is refused, so that its start plays
    // the file itself.
    void endTaking();

    // For the adaptor: URIS to open or to queue, or an activation. REPLY is
    // the call's delayed answer, sent once the receiver has taken it (or
    // refused), and DEADLINE the moment after which its sender no longer
    // waits (0: none).
    struct Call {
        QStringList uris;
        bool activate = false;
        QDBusMessage reply;
        qint64 deadline = 0;
        bool queue = false;
    };
    void asked(Call call);

private:
    friend class FileReceiver;
    void refuseWaiting();

    bool tryToOwn();
    void attach(FileReceiver* receiver);
    void detach(FileReceiver* receiver);
    void deliverLater();
    void deliver();

    QString appId_;
    NameDecoder decode_;
    bool objectRegistered_ = false;
    bool owned_ = false;
    bool ending_ = false;
    std::function<bool()> endingSoon_;
    std::deque<Call> waiting_;
    FileReceiver* receiver_ = nullptr;
    bool deliveryPending_ = false;
};

class FileReceiver : public QObject {
    Q_OBJECT

public:
    // Takes the calls to APP_ID: those of CLAIM, the start's own, when given
    // (the calls that came before first), else of a claim of its own while
    // it lives, unless another process owns the name. OPEN gets the local
    // paths a later start hands over; ACTIVATE runs for a start without files.
    FileReceiver(const QString& appId, NameClaim* claim, std::function<void(const QStringList& paths)> open,
        std::function<void()> activate, QObject* parent = nullptr);
    ~FileReceiver() override;

    bool registered() const;
    // The player is ending (see NameClaim::endTaking).
    void endTaking();
    // It has begun to (see NameClaim::ending).
    bool ending() const { return claim_ && claim_->ending(); }

    // QUEUE gets the local paths a later start asks to queue.
    void setQueue(std::function<void(const QStringList& paths)> queue) { queue_ = std::move(queue); }

    // Run from the event loop, after the caller has its answer.
    void received(const QStringList& uris, bool queue = false);
    void activated();

private:
    friend class NameClaim;
    std::unique_ptr<NameClaim> ownClaim_;
    NameClaim* claim_ = nullptr;
    std::function<void(const QStringList&)> open_;
    std::function<void()> activate_;
    std::function<void(const QStringList&)> queue_;
};

} // namespace desktop
