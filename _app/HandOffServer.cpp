#include "HandOffServer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <exception>

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include "LocalPath.h"

struct THandOffServer::TConnection {
    QPointer<QLocalSocket> Socket;
    QTimer* Frame = nullptr;  // the deadline of the message under way
    THandOffDecoder Decoder;
    QStringList Batch;  // texts that have arrived, not yet delivered
    qsizetype BatchBytes = 0;
    quint64 Frames = 0;      // whole messages so far
    bool Pending = false;    // the sender waits for the answer to "?" or Forward
    bool Streaming = false;  // the sender sends texts without waiting for their answers
    bool Gone = false;       // the sender closed; its batch may still be delivered
    bool Dropped = false;    // broke the protocol; nothing more is delivered
};

struct THandOffServer::TDelivery {
    std::shared_ptr<TConnection> Connection;
    QStringList Texts;
    bool Answered = false;  // the sender waits for its answer
    bool Forward = false;   // a request to come forward, no batch
};

THandOffServer::THandOffServer(QObject* Parent) : QObject(Parent) {}

THandOffServer::~THandOffServer()
{
    Close();
}

bool THandOffServer::Listen(const QString& Folder)
{
    Close();
    FPath = Folder + QLatin1Char('/') + QLatin1String(HandOffSocketName);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    FServer->setMaxPendingConnections(MaxConnections);
    // Many later copies may start at once (a file manager's "open with" on a
    // selection, xargs): those beyond the system's queue would have to try again.
    FServer->setListenBacklogSize(ListenBacklog);
    // Only the lock's holder gets here, so whatever lies at the path is what an
    // ended copy left behind.
    QLocalServer::removeServer(FPath);
    if (!FServer->listen(FPath)) {
        FError = FServer->errorString();
        delete FServer;
        FServer = nullptr;
        return false;
    }
    connect(FServer, &QLocalServer::newConnection, this, &THandOffServer::AcceptConnections);
    return true;
}

void THandOffServer::SetHandlers(TBatchHandler OnBatch, TForwardHandler OnForward)
{
    FOnBatch = std::move(OnBatch);
    FOnForward = std::move(OnForward);
    if (!FQueue.empty()) SchedulePump();
}

void THandOffServer::Close()
{
    if (FServer) {
        FServer->close();
        delete FServer;
        FServer = nullptr;
    }
    while (!FConnections.empty()) Drop(FConnections.front());
    FQueue.clear();
}

void THandOffServer::AcceptConnections()
{
    while (FServer && static_cast<int>(FConnections.size()) < MaxConnections && FServer->hasPendingConnections()) {
        QLocalSocket* Socket = FServer->nextPendingConnection();
        if (!Socket) break;
        Socket->setParent(this);

        // The folder is closed to others; a process of another user that got in
        // anyway (root acting for someone else, say) is not served.
        ucred Peer{};
        socklen_t Size = sizeof(Peer);
        if (::getsockopt(static_cast<int>(Socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &Peer, &Size) != 0 ||
            Peer.uid != ::geteuid()) {
            Socket->abort();
            delete Socket;
            continue;
        }

        auto Connection = std::make_shared<TConnection>();
        Connection->Socket = Socket;
        Connection->Frame = new QTimer(Socket);
        Connection->Frame->setSingleShot(true);
        Connection->Frame->setInterval(FFrameTimeoutMs);
        FConnections.push_back(Connection);

        std::weak_ptr<TConnection> Weak = Connection;
        connect(Socket, &QLocalSocket::readyRead, this, [this, Weak] {
            if (auto C = Weak.lock()) Service(C);
        });
        connect(Socket, &QLocalSocket::disconnected, this, [this, Weak] {
            if (auto C = Weak.lock()) {
                Service(C);
                if (C->Dropped || C->Gone) return;
                C->Gone = true;
                // What arrived was answered: the sender took it as received.
                if (!C->Batch.isEmpty()) Deliver(C, false, false);
                Forget(C);
            }
        });
        // A trickle of bytes does not keep a place: the deadline is for the whole
        // message. What arrived meanwhile is read first, in case the event loop was
        // held up longer than the sender.
        connect(Connection->Frame, &QTimer::timeout, this, [this, Weak] {
            auto C = Weak.lock();
            if (!C || C->Pending) return;
            const quint64 Before = C->Frames;
            Service(C);
            if (IsServed(*C) && !C->Pending && C->Frames == Before) Drop(C);
        });
        Connection->Frame->start();
        Service(Connection);
    }
}

// Whether the connection still has its socket and timer: false once it was
// dropped, its sender closed, or the server forgot it.
bool THandOffServer::IsServed(const TConnection& Connection)
{
    return Connection.Socket && Connection.Frame && !Connection.Dropped && !Connection.Gone;
}

void THandOffServer::Service(const std::shared_ptr<TConnection>& Connection)
{
    if (!IsServed(*Connection)) return;
    QLocalSocket* Socket = Connection->Socket;
    if (Connection->Pending) {
        // A sender waits for the answer before it says more.
        if (Socket->bytesAvailable() > 0) Drop(Connection);
        return;
    }
    THandOffDecoder& Decoder = Connection->Decoder;
    const quint64 FramesBefore = Connection->Frames;
    qsizetype Acks = 0;  // answers owed, written together
    for (;;) {
        while (Decoder.State() == THandOffDecoder::TState::NeedMore && Socket->bytesAvailable() > 0) {
            const QByteArray Chunk = Socket->read(static_cast<qint64>(Decoder.Wanted()));
            if (Chunk.isEmpty()) break;
            Decoder.Feed(std::string_view(Chunk.constData(), static_cast<std::size_t>(Chunk.size())));
        }
        if (!IsServed(*Connection)) return;
        if (Decoder.State() == THandOffDecoder::TState::Bad) {
            Drop(Connection);
            return;
        }
        if (Decoder.State() == THandOffDecoder::TState::NeedMore) break;
        // Only a sender that said it streams may send before its answer.
        if (!Connection->Streaming && Socket->bytesAvailable() > 0) {
            Drop(Connection);
            return;
        }
        const THandOffMessage Message = Decoder.Take();
        ++Connection->Frames;
        if (Message.Kind == THandOffKind::Stream) {
            Connection->Streaming = true;
            ++Acks;
            continue;
        }
        if (Message.Kind == THandOffKind::Forward || Message.Text == HandOffEndMark) {
            // Nothing may follow before its answer, which comes once the window has
            // taken the batch.
            if (Socket->bytesAvailable() > 0) {
                Drop(Connection);
                return;
            }
            if (Acks > 0 && !Answer(Connection, QByteArray(Acks, HandOffAck))) return;
            Connection->Pending = true;
            Connection->Frame->stop();
            Deliver(Connection, true, Message.Kind == THandOffKind::Forward);
            return;
        }
        Connection->Batch << PathFromLocal(
            QByteArray(Message.Text.data(), static_cast<qsizetype>(Message.Text.size())));
        Connection->BatchBytes += static_cast<qsizetype>(Message.Text.size());
        if (Connection->BatchBytes > MaxBatchBytes) Deliver(Connection, false, false);
        ++Acks;
    }
    if (Acks > 0 && !Answer(Connection, QByteArray(Acks, HandOffAck))) return;
    // Each whole message sets a new deadline for the next; a trickle that makes no
    // message whole keeps the old one.
    if (Connection->Frames != FramesBefore) Connection->Frame->start();
}

// Writes answer bytes; false when the connection is no longer served after them.
bool THandOffServer::Answer(const std::shared_ptr<TConnection>& Connection, const QByteArray& Bytes)
{
    if (!IsServed(*Connection)) return false;
    // A sender that has gone makes the write fail; the socket then reports its
    // disconnection from inside flush, which forgets the connection.
    Connection->Socket->write(Bytes);
    Connection->Socket->flush();
    return IsServed(*Connection);
}

// Queues the connection's batch (or its request to come forward) for the handlers.
void THandOffServer::Deliver(const std::shared_ptr<TConnection>& Connection, bool Answered, bool Forward)
{
    TDelivery Delivery;
    Delivery.Connection = Connection;
    Delivery.Texts = std::move(Connection->Batch);
    Delivery.Answered = Answered;
    Delivery.Forward = Forward;
    Connection->Batch = QStringList();
    Connection->BatchBytes = 0;
    FQueue.push_back(std::move(Delivery));
    SchedulePump();
}

void THandOffServer::Drop(std::shared_ptr<TConnection> Connection)
{
    Connection->Dropped = true;
    if (Connection->Socket) Connection->Socket->abort();
    Forget(Connection);
}

// Lets go of a connection's socket; a batch of it that is still queued stays in
// the queue and is delivered unless the connection was dropped.
void THandOffServer::Forget(std::shared_ptr<TConnection> Connection)
{
    FConnections.remove(Connection);
    if (QLocalSocket* Socket = Connection->Socket) {
        Socket->disconnect(this);
        Socket->deleteLater();
    }
    Connection->Socket = nullptr;
    Connection->Frame = nullptr;
    // A place is free for a connection that waited to be accepted.
    if (FServer && FServer->hasPendingConnections())
        QMetaObject::invokeMethod(this, &THandOffServer::AcceptConnections, Qt::QueuedConnection);
}

void THandOffServer::SchedulePump()
{
    if (FPumpScheduled) return;
    FPumpScheduled = true;
    QMetaObject::invokeMethod(this, &THandOffServer::Pump, Qt::QueuedConnection);
}

// Delivers the queued batches. It always runs from the event loop, so that what a
// handler raises reaches the application's handler past no frame of Qt's socket
// code. A handler that runs a nested event loop all the same holds the next
// batches until it returns; a call from inside returns at once.
void THandOffServer::Pump()
{
    FPumpScheduled = false;
    if (FBusy || !FOnBatch) return;
    FBusy = true;
    std::exception_ptr Raised;
    while (!FQueue.empty() && !Raised) {
        TDelivery Delivery = std::move(FQueue.front());
        FQueue.pop_front();
        const std::shared_ptr<TConnection>& Connection = Delivery.Connection;
        if (Connection->Dropped) continue;
        bool Taken = true;
        try {
            if (FOnForward) FOnForward();
            if (!Delivery.Forward) Taken = FOnBatch(Delivery.Texts);
        } catch (...) {
            Raised = std::current_exception();
        }
        if (!Delivery.Answered) continue;
        Connection->Pending = false;
        if (!Taken) {
            // Said before the connection closes, so that the sender knows why.
            Answer(Connection, QByteArray(1, HandOffRefused));
            Drop(Connection);
        } else if (Answer(Connection, QByteArray(1, HandOffAck))) {
            Connection->Frame->start();
            Service(Connection);
        }
    }
    FBusy = false;
    if (Raised) {
        if (!FQueue.empty()) SchedulePump();
        std::rethrow_exception(Raised);
    }
}
