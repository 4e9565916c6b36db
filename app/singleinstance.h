// One running program per user: the first start takes an exclusive lock on
// a file beside the local socket, then listens on the socket; a later start
// finds the lock held, connects, asks the first to come to the front, and
// ends. The lock, not the socket, decides who runs: two starts at the same
// moment cannot both find no socket and both listen. The system releases
// the lock when the holder ends, however it ends.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit CSingleInstance(const QString& name);
    ~CSingleInstance() override;

    // Takes the lock. True when this start is the one that runs; false when
    // another holds it: that one runs, and this start has handed over to it
    // (asked it to come to the front) or, when it never answered within
    // `timeoutMs`, simply ends. A lock file that cannot be opened lets this
    // start run (the check is then the socket's alone).
    bool Acquire(int timeoutMs = 20000);
    // True when a running instance took the hand-over request.
    bool HandOverToRunning(int timeoutMs = 1000);
    // Listens for later starts; `activate` runs for each. False when the
    // name could not be taken (the program then runs without the check).
    bool Listen(std::function<void()> activate);
    // The lock file's path (in the folder of the socket).
    QString LockPath() const;

private:
    QString name_;
    int lockFd_ = -1;
    QByteArray lockPath_;  // of the lock held
    QLocalServer* server_ = nullptr;
    std::function<void()> activate_;
};
