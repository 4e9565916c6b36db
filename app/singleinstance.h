// One running program per user: the first start listens on a local socket;
// a later start connects, asks the first to come to the front, and ends.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit CSingleInstance(const QString& name);
    ~CSingleInstance() override;

    // True when a running instance took the hand-over request.
    bool HandOverToRunning(int timeoutMs = 1000);
    // Listens for later starts; `activate` runs for each. False when the
    // name could not be taken (the program then runs without the check).
    bool Listen(std::function<void()> activate);

private:
    QString name_;
    QLocalServer* server_ = nullptr;
    std::function<void()> activate_;
};
