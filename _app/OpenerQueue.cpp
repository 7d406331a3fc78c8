#include "OpenerQueue.h"

#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

TOpenerQueue::TOpenerQueue(QString Program, TFailed Failed, QObject* Parent)
    : QObject(Parent), FProgram(std::move(Program)), FFailed(std::move(Failed))
{
}

qsizetype TOpenerQueue::LongestArgument()
{
    qsizetype Longest = std::numeric_limits<qsizetype>::max();
#ifdef Q_OS_UNIX
#ifdef Q_OS_LINUX
    // Linux refuses (E2BIG) any one argument of 32 pages or more, its closing zero
    // included (MAX_ARG_STRLEN in the kernel's binfmts.h).
    const long Page = sysconf(_SC_PAGESIZE);
    Longest = 32 * qsizetype(Page > 0 ? Page : 4096) - 1;
#endif
    // The arguments and the environment, each with its zero and a pointer to it, share
    // ARG_MAX; the opener's own name, with room to spare, goes before the argument.
    const long ArgMax = sysconf(_SC_ARG_MAX);
    if (ArgMax > 0) {
        constexpr qsizetype Pointer = sizeof(char*);
        qsizetype Environment = 0;
        for (char** Entry = environ; *Entry; ++Entry) Environment += qsizetype(std::strlen(*Entry)) + 1 + Pointer;
        constexpr qsizetype ProgramRoom = 4096 + 4 * Pointer;
        Longest = std::min(Longest, qsizetype(ArgMax) - Environment - ProgramRoom - 1 - Pointer);
    }
#endif
    return std::max<qsizetype>(Longest, 0);
}

TOpenerQueue::~TOpenerQueue()
{
    // QProcess kills what it still runs when it is destroyed. An opener that is still
    // running (xdg-open without a desktop waits for the program that it started) is
    // let go instead, and runs on after this program has ended. The holder is never
    // destroyed, for that reason; it keeps the openers reachable to the end, and one
    // that ends while the program still runs is deleted then.
    static QObject* const LetGo = new QObject;
    for (QProcess* Opener : FOpeners.findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        if (Opener->state() == QProcess::NotRunning) continue;
        Opener->disconnect();
        Opener->setParent(LetGo);
        QObject::connect(Opener, &QProcess::finished, Opener, &QObject::deleteLater);
    }
}

void TOpenerQueue::Open(const QString& Argument, const QString& Link)
{
    const QString Named = Link.isEmpty() ? Argument : Link;
    // Measured in the bytes the program would be given; only a text near the limit
    // is converted to count them.
    const qsizetype Longest = LongestArgument();
    const bool TooLong =
        Argument.size() > Longest || (Argument.size() > Longest / 3 && QFile::encodeName(Argument).size() > Longest);
    if (TooLong) {
        QTimer::singleShot(0, this, [this, Named] {
            if (FFailed) FFailed(Named, TFailure::TooLong);
        });
        return;
    }
    FWaiting.push_back({Argument, Named});
    StartWaiting();
}

void TOpenerQueue::StartWaiting()
{
    while (FRunning < FMaxRunning && !FWaiting.empty()) {
        const TWaiting Item = std::move(FWaiting.front());
        FWaiting.pop_front();
        Start(Item);
    }
}

void TOpenerQueue::Start(const TWaiting& Item)
{
    const QString Link = Item.Link;
    auto* Opener = new QProcess(&FOpeners);
    Opener->setProgram(FProgram);
    Opener->setArguments({Item.Argument});
    // No pipes: the opener and the programs it starts may outlive this program.
    Opener->setStandardInputFile(QProcess::nullDevice());
    Opener->setProcessChannelMode(QProcess::ForwardedChannels);

    // The place is given back once: when the opener ends, fails to start or has
    // run for too long, whichever comes first.
    auto Holding = std::make_shared<bool>(true);
    auto Release = [this, Holding] {
        if (!*Holding) return;
        *Holding = false;
        --FRunning;
        // Not from inside QProcess's own signal: the next opener starts from the loop.
        QTimer::singleShot(0, this, [this] { StartWaiting(); });
    };
    auto* Slot = new QTimer(Opener);
    Slot->setSingleShot(true);
    connect(Slot, &QTimer::timeout, this, Release);
    connect(Opener, &QProcess::finished, this,
            [this, Opener, Link, Release](int ExitCode, QProcess::ExitStatus Status) {
                Opener->deleteLater();
                Release();
                if ((Status != QProcess::NormalExit || ExitCode != 0) && FFailed) FFailed(Link, TFailure::Failed);
            });
    connect(Opener, &QProcess::errorOccurred, this, [this, Opener, Link, Release](QProcess::ProcessError Error) {
        if (Error != QProcess::FailedToStart) return;
        Opener->deleteLater();
        Release();
        if (FFailed) FFailed(Link, TFailure::Failed);
    });
    ++FRunning;
    FMostRunning = std::max(FMostRunning, FRunning);
    FStarted << Item.Argument;
    Slot->start(FSlotTimeoutMs);
    Opener->start();
}
