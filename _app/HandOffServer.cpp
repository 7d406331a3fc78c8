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
    QTimer* Idle = nullptr;
    THandOffDecoder Decoder;
    THandOffMessage Message;
    bool Pending = false;  // Message waits in the queue or is being delivered
    bool Gone = false;     // the sender closed; Message may still be delivered
    bool Dropped = false;  // broke the protocol; nothing more is delivered
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

void THandOffServer::SetHandlers(TTextHandler OnText, TForwardHandler OnForward)
{
    FOnText = std::move(OnText);
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
        Connection->Idle = new QTimer(Socket);
        Connection->Idle->setSingleShot(true);
        Connection->Idle->setInterval(FIdleTimeoutMs);
        FConnections.push_back(Connection);

        std::weak_ptr<TConnection> Weak = Connection;
        connect(Socket, &QLocalSocket::readyRead, this, [this, Weak] {
            if (auto C = Weak.lock()) Service(C);
        });
        connect(Socket, &QLocalSocket::disconnected, this, [this, Weak] {
            if (auto C = Weak.lock()) {
                Service(C);
                C->Gone = true;
                Forget(C);
            }
        });
        connect(Connection->Idle, &QTimer::timeout, this, [this, Weak] {
            if (auto C = Weak.lock(); C && !C->Pending) Drop(C);
        });
        Connection->Idle->start();
        Service(Connection);
    }
}

// Whether the connection still has its socket and timer: false once it was
// dropped, its sender closed, or the server forgot it.
bool THandOffServer::IsServed(const TConnection& Connection)
{
    return Connection.Socket && Connection.Idle && !Connection.Dropped && !Connection.Gone;
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
    bool Progress = false;
    while (Decoder.State() == THandOffDecoder::TState::NeedMore && Socket->bytesAvailable() > 0) {
        const QByteArray Chunk = Socket->read(static_cast<qint64>(Decoder.Wanted()));
        if (Chunk.isEmpty()) break;
        Decoder.Feed(std::string_view(Chunk.constData(), static_cast<std::size_t>(Chunk.size())));
        Progress = true;
    }
    if (!IsServed(*Connection)) return;
    switch (Decoder.State()) {
    case THandOffDecoder::TState::Bad: Drop(Connection); return;
    case THandOffDecoder::TState::Ready:
        if (Socket->bytesAvailable() > 0) {
            Drop(Connection);
            return;
        }
        Connection->Message = Decoder.Take();
        Connection->Pending = true;
        Connection->Idle->stop();
        FQueue.push_back(Connection);
        SchedulePump();
        return;
    case THandOffDecoder::TState::NeedMore:
        if (Progress) Connection->Idle->start();
        return;
    }
}

void THandOffServer::Drop(std::shared_ptr<TConnection> Connection)
{
    Connection->Dropped = true;
    if (Connection->Socket) Connection->Socket->abort();
    Forget(Connection);
}

// Lets go of a connection's socket; a message of it that is still queued stays in
// the queue and is delivered unless the connection was dropped.
void THandOffServer::Forget(std::shared_ptr<TConnection> Connection)
{
    FConnections.remove(Connection);
    if (QLocalSocket* Socket = Connection->Socket) {
        Socket->disconnect(this);
        Socket->deleteLater();
    }
    Connection->Socket = nullptr;
    Connection->Idle = nullptr;
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

// Delivers the queued messages. It always runs from the event loop, so that what a
// handler raises reaches the application's handler past no frame of Qt's socket
// code. While a handler runs, a nested event loop may call here again; that call
// returns at once and the outer one goes on with what was queued meanwhile.
void THandOffServer::Pump()
{
    FPumpScheduled = false;
    if (FBusy || !FOnText) return;
    FBusy = true;
    std::exception_ptr Raised;
    while (!FQueue.empty() && !Raised) {
        const std::shared_ptr<TConnection> Connection = FQueue.front();
        FQueue.pop_front();
        if (Connection->Dropped) continue;
        const THandOffMessage Message = std::move(Connection->Message);
        Connection->Message = {};
        bool Taken = true;
        try {
            if (FOnForward) FOnForward();
            if (Message.Kind == THandOffKind::Text)
                Taken = FOnText(
                    PathFromLocal(QByteArray(Message.Text.data(), static_cast<qsizetype>(Message.Text.size()))));
        } catch (...) {
            Raised = std::current_exception();
        }
        Connection->Pending = false;
        if (!Taken) {
            Drop(Connection);
        } else if (IsServed(*Connection)) {
            // A sender that has gone makes the write fail; the socket then reports
            // its disconnection from inside flush, which forgets the connection.
            Connection->Socket->write(&HandOffAck, 1);
            Connection->Socket->flush();
            if (IsServed(*Connection)) {
                Connection->Idle->start();
                Service(Connection);
            }
        }
    }
    FBusy = false;
    if (Raised) {
        if (!FQueue.empty()) SchedulePump();
        std::rethrow_exception(Raised);
    }
}
