// The running copy's end of the hand-off: a local server in the window's event loop
// that takes the messages of later copies (the wire format and the later copy's
// side are in OnlyOne).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <list>
#include <memory>

#include "OnlyOne.h"

class QLocalServer;
class QLocalSocket;
class QTimer;

// Listens on the hand-off socket and answers each text as soon as it has arrived;
// the texts of one connection up to its closing "?" are one batch, delivered at
// once through the batch handler, from the event loop, and "?" is answered when the
// handler has taken them. A sender that opens with Stream may send its texts
// without waiting for their answers. The handler only queues the batch, so no sender ever
// waits for a file to load or for a box that the window shows. Batches are
// delivered one at a time across all connections, each connection's texts in their
// order. Until SetHandlers is called, batches wait (their senders wait for "?").
// A connection that breaks the protocol (a bad message, bytes sent before an
// answer, a frame not whole within the frame timeout, another user's process) is
// dropped with what it sent; the texts of a sender that closed on its own are
// still delivered.
class THandOffServer : public QObject {
public:
    // Texts hold the sender's bytes as PathFromLocal carries them (a path that is
    // no UTF-8 opens as it was sent), without the closing "?". False when the batch
    // cannot be taken (the window is closing): the sender is then told so.
    using TBatchHandler = std::function<bool(const QStringList& Texts)>;
    using TForwardHandler = std::function<void()>;

    explicit THandOffServer(QObject* Parent = nullptr);
    ~THandOffServer() override;

    // Listens on HandOffSocketName in Folder, first removing what a copy that ended
    // without closing left there. Call it only while holding the lock.
    bool Listen(const QString& Folder);
    QString ErrorString() const { return FError; }
    QString SocketPath() const { return FPath; }

    // Forward runs before every batch and for a request to come forward. Waiting
    // batches are delivered from the event loop, not from inside this call.
    void SetHandlers(TBatchHandler OnBatch, TForwardHandler OnForward);

    // Stops listening and drops every connection.
    void Close();

    // Connections served at once; further ones wait to be accepted, up to
    // ListenBacklog of them in the system's queue (which the system may cap).
    static constexpr int MaxConnections = 64;
    static constexpr int ListenBacklog = 4096;
    // A batch grows at most this large before what has come is delivered on its own.
    static constexpr qsizetype MaxBatchBytes = 16 * 1024 * 1024;
    // Each message must arrive whole within this time from the moment the sender
    // may send it (the connection's start, or the answer to the message before).
    static constexpr int DefaultFrameTimeoutMs = 10000;
    void SetFrameTimeout(int Ms) { FFrameTimeoutMs = Ms; }

    int ConnectionCount() const { return static_cast<int>(FConnections.size()); }

private:
    struct TConnection;
    struct TDelivery;

    static bool IsServed(const TConnection& Connection);
    void AcceptConnections();
    void Service(const std::shared_ptr<TConnection>& Connection);
    bool Answer(const std::shared_ptr<TConnection>& Connection, const QByteArray& Bytes);
    void Deliver(const std::shared_ptr<TConnection>& Connection, bool Answered, bool Forward);
    void Drop(std::shared_ptr<TConnection> Connection);
    void Forget(std::shared_ptr<TConnection> Connection);
    void SchedulePump();
    void Pump();

    QLocalServer* FServer = nullptr;
    QString FPath;
    QString FError;
    TBatchHandler FOnBatch;
    TForwardHandler FOnForward;
    std::list<std::shared_ptr<TConnection>> FConnections;
    std::deque<TDelivery> FQueue;  // batches and requests waiting for the handlers
    bool FBusy = false;
    bool FPumpScheduled = false;
    int FFrameTimeoutMs = DefaultFrameTimeoutMs;
};
