#include "singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {
const char kActivate[] = "activate\n";
}

CSingleInstance::CSingleInstance(const QString& name) : name_(name) {}

CSingleInstance::~CSingleInstance()
{
    if (server_)
        server_->close();
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
        // A socket file left by a program that did not end cleanly.
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
