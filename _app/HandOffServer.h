// The running copy's end of the hand-off: a local server in the window's event loop
// that takes the messages of later copies (the wire format and the later copy's
// side are in OnlyOne).
#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <list>
#include <memory>

#include "OnlyOne.h"

class QLocalServer;
class QLocalSocket;
class QTimer;

// Listens on the hand-off socket and delivers each message through the handlers,
// one message at a time across all connections, in the order of arrival on each.
// Until SetHandlers is called, messages wait (their senders wait with them). A
// handler may run nested event loops (a loading loop, a modal box): messages that
// arrive meanwhile wait until it has returned. A connection that breaks the protocol
// (a bad message, bytes sent before the answer, silence in the middle of a message
// or between messages, another user's process) is dropped.
class THandOffServer : public QObject {
public:
    // Text holds the sender's bytes as PathFromLocal carries them (a path that is
    // no UTF-8 opens as it was sent). False when the text cannot be taken (the
    // window has closed): the connection is then dropped unanswered, and its sender
    // reports that the text was not taken.
    using TTextHandler = std::function<bool(const QString& Text)>;
    using TForwardHandler = std::function<void()>;

    explicit THandOffServer(QObject* Parent = nullptr);
    ~THandOffServer() override;

    // Listens on HandOffSocketName in Folder, first removing what a copy that ended
    // without closing left there. Call it only while holding the lock.
    bool Listen(const QString& Folder);
    QString ErrorString() const { return FError; }
    QString SocketPath() const { return FPath; }

    // Forward runs before every message, Text for each text. Waiting messages are
    // delivered from the event loop, not from inside this call.
    void SetHandlers(TTextHandler OnText, TForwardHandler OnForward);

    // Stops listening and drops every connection.
    void Close();

    // Connections served at once; further ones wait to be accepted.
    static constexpr int MaxConnections = 64;
    // A connection that sends nothing for this long while it owes bytes is dropped.
    static constexpr int DefaultIdleTimeoutMs = 10000;
    void SetIdleTimeout(int Ms) { FIdleTimeoutMs = Ms; }

    int ConnectionCount() const { return static_cast<int>(FConnections.size()); }

private:
    struct TConnection;
    struct TQueued;

    static bool IsServed(const TConnection& Connection);
    void AcceptConnections();
    void Service(const std::shared_ptr<TConnection>& Connection);
    void Drop(std::shared_ptr<TConnection> Connection);
    void Forget(std::shared_ptr<TConnection> Connection);
    void SchedulePump();
    void Pump();

    QLocalServer* FServer = nullptr;
    QString FPath;
    QString FError;
    TTextHandler FOnText;
    TForwardHandler FOnForward;
    std::list<std::shared_ptr<TConnection>> FConnections;
    std::deque<std::shared_ptr<TConnection>> FQueue;  // connections with a message ready
    bool FBusy = false;
    bool FPumpScheduled = false;
    int FIdleTimeoutMs = DefaultIdleTimeoutMs;
};
