#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char kActivate[] = "activate\n";
}

CSingleInstance::CSingleInstance(const QString& name) : name_(name) {}

CSingleInstance::~CSingleInstance()
{
    if (server_)
        server_->close();
    if (lockFd_ >= 0) {
        // Removed while still held: a start waiting on this file finds it
        // gone once it gets the lock, and takes a new one (see Acquire).
        ::unlink(lockPath_.constData());
        ::close(lockFd_);  // releases the lock
    }
}

QString CSingleInstance::LockPath() const
{
    // Where the local socket lives (the temporary folder), so that whoever
    // shares the socket shares the lock.
    return QDir(QDir::tempPath()).filePath(name_ + QStringLiteral(".lock"));
}

bool CSingleInstance::Acquire(int timeoutMs)
{
    const QByteArray path = lockPath_ = QFile::encodeName(LockPath());
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (lockFd_ < 0) {
            lockFd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (lockFd_ < 0)
                return !HandOverToRunning();
        }
        if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) {
            // Held, but maybe on a file its last holder removed as it
            // ended: only the file that still bears the name counts.
            struct stat held{}, named{};
            if (::fstat(lockFd_, &held) == 0 && ::stat(path.constData(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino)
                return true;
            ::close(lockFd_);
            lockFd_ = -1;
            continue;
        }
        // The holder may still be starting and not listen yet; it may also
        // end before listening (a failed start), and the lock is then free.
        if (HandOverToRunning(200) || deadline.hasExpired()) {
            ::close(lockFd_);
            lockFd_ = -1;
            return false;
        }
        QEventLoop pause;
        QTimer::singleShot(50, &pause, &QEventLoop::quit);
        pause.exec();
    }
}

bool CSingleInstance::HandOverToRunning(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kActivate);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The answer says the running program took it; a program stuck in its
    // start-up still counts as running.
    socket.waitForReadyRead(timeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool CSingleInstance::Listen(std::function<void()> activate)
{
    activate_ = std::move(activate);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // A socket file left by a program that did not end cleanly (the
        // lock says no other program runs).
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_))
            return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (!s->readAll().contains("activate"))
                    return;
                s->write("ok\n");
                s->flush();
                if (activate_)
                    activate_();
            });
        }
    });
    return true;
}
