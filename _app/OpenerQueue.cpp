#include "OpenerQueue.h"

#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

TOpenerQueue::TOpenerQueue(QString Program, std::function<void(const QString& Link)> Failed, QObject* Parent)
    : QObject(Parent), FProgram(std::move(Program)), FFailed(std::move(Failed))
{
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
    FWaiting.push_back({Argument, Link.isEmpty() ? Argument : Link});
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
                if ((Status != QProcess::NormalExit || ExitCode != 0) && FFailed) FFailed(Link);
            });
    connect(Opener, &QProcess::errorOccurred, this, [this, Opener, Link, Release](QProcess::ProcessError Error) {
        if (Error != QProcess::FailedToStart) return;
        Opener->deleteLater();
        Release();
        if (FFailed) FFailed(Link);
    });
    ++FRunning;
    FMostRunning = std::max(FMostRunning, FRunning);
    FStarted << Item.Argument;
    Slot->start(FSlotTimeoutMs);
    Opener->start();
}
