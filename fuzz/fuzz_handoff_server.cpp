// The running copy's hand-off server, the real one in a real event loop, against
// up to four clients that connect, send any bytes or whole messages, half-close,
// shut down or close at any point, while the handlers take a batch, refuse it, run
// an event loop of their own, close a client or close the server and listen again.
// No crash, no sanitizer report, never more connections than it serves at once,
// and once every client has gone, no connection left.
//
// The input is a script of one-byte operations (the low bits choose what, the
// high bits which client), some followed by their operands; each delivery of a
// message takes the next byte as what the handler does.
#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "HandOffServer.h"
#include "OnlyOne.h"

namespace {

void Check(bool Condition, const char* What)
{
    if (Condition) return;
    std::fprintf(stderr, "fuzz_handoff_server: %s\n", What);
    std::abort();
}

struct TScript {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
    size_t At = 0;
    bool More() const { return At < Size; }
    uint8_t Next() { return At < Size ? Data[At++] : 0; }
};

TScript Script;
std::array<int, 4> Clients;
THandOffServer* Server = nullptr;
QString Folder;

void Events(int Rounds)
{
    for (int I = 0; I < Rounds; ++I) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CloseClient(int K)
{
    if (Clients[K] >= 0) ::close(Clients[K]);
    Clients[K] = -1;
}

void Connect(int K)
{
    if (Clients[K] >= 0) return;
    const QByteArray Path = QFile::encodeName(Server->SocketPath());
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    std::memcpy(Address.sun_path, Path.constData(), size_t(Path.size()) + 1);
    const int Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    Check(Fd >= 0, "no socket");
    // The server may be closed just now; a refused connection is a closed client.
    if (::connect(Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof Address) != 0) {
        ::close(Fd);
        return;
    }
    Clients[K] = Fd;
}

void Send(int K, const std::string& Bytes)
{
    if (Clients[K] >= 0) (void)::send(Clients[K], Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
}

void Drain(int K)
{
    char Buffer[64];
    while (Clients[K] >= 0 && ::recv(Clients[K], Buffer, sizeof Buffer, MSG_DONTWAIT) > 0) {
    }
}

std::string Message(uint8_t Choice)
{
    switch (Choice % 6) {
    case 0: return EncodeHandOff(THandOffKind::Forward, {});
    case 1: return EncodeHandOff(THandOffKind::Text, "?");
    case 2: return EncodeHandOff(THandOffKind::Text, "");
    case 3: return EncodeHandOff(THandOffKind::Text, "/x/a.torrent");
    case 4: return EncodeHandOff(THandOffKind::Text, "/x/no-extension");
    default: return EncodeHandOff(THandOffKind::Text, std::string(Choice / 6, 'p'));
    }
}

// What a handler does with a delivery: the script's next byte says.
bool Handle()
{
    const uint8_t Action = Script.Next();
    switch (Action % 6) {
    case 2: return false;
    case 3: CloseClient((Action >> 4) % 4); return true;
    case 4: Events(1 + (Action >> 4) % 3); return true;
    case 5:
        Server->Close();
        Check(Server->Listen(Folder), "cannot listen again");
        return true;
    default: return true;
    }
}

void SetUp()
{
    static int Argc = 1;
    static char Name[] = "fuzz_handoff_server";
    static char* Argv[] = {Name, nullptr};
    static QCoreApplication Application(Argc, Argv);
    static QTemporaryDir Scratch;
    Check(Scratch.isValid(), "no scratch folder");
    Folder = Scratch.path();
    static THandOffServer TheServer;
    Server = &TheServer;
    Check(Server->Listen(Folder), "cannot listen");
    Server->SetHandlers([](const QStringList&) { return Handle(); }, [] { (void)Handle(); });
    Clients.fill(-1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    static const bool Ready = (SetUp(), true);
    (void)Ready;
    Script = {Data, Size, 0};
    while (Script.More()) {
        const uint8_t Op = Script.Next();
        const int K = (Op >> 4) % 4;
        switch (Op % 9) {
        case 0: Connect(K); break;
        case 1: {
            const size_t Length = Script.Next() % 64;
            std::string Bytes;
            while (Bytes.size() < Length && Script.More()) Bytes.push_back(char(Script.Next()));
            Send(K, Bytes);
            break;
        }
        case 2: Send(K, Message(Script.Next())); break;
        case 3: CloseClient(K); break;
        case 4:
            if (Clients[K] >= 0) ::shutdown(Clients[K], SHUT_WR);
            break;
        case 5:
            if (Clients[K] >= 0) ::shutdown(Clients[K], SHUT_RDWR);
            break;
        case 6: Events(1 + Script.Next() % 4); break;
        case 7: Drain(K); break;
        default:
            Events(1);
            Drain(K);
            break;
        }
        Check(Server->ConnectionCount() <= THandOffServer::MaxConnections, "more connections than served");
    }
    for (int K = 0; K < 4; ++K) CloseClient(K);
    // Every connection ends once its client has gone and its messages are handled.
    for (int Round = 0; Round < 1000 && Server->ConnectionCount() > 0; ++Round) {
        Events(1);
        if (Round > 10) ::usleep(100);
    }
    Check(Server->ConnectionCount() == 0, "a connection outlived its client");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
