// The programs that hand links to the desktop, run a few at a time: a thousand
// links handed over at once must not start a thousand programs.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

class QProcess;

// Starts Program with one link as its argument for each link queued, in the order
// queued, with at most MaxRunning of them running at once. An opener that runs for
// longer than SlotTimeoutMs (one that waits for the program it started, as
// xdg-open does without a desktop) gives its place to the next link and runs on.
class TOpenerQueue : public QObject {
public:
    static constexpr int DefaultMaxRunning = 3;
    static constexpr int DefaultSlotTimeoutMs = 3000;

    enum class TFailure {
        Failed,   // the opener could not start or ended with an exit code other than 0
        TooLong,  // the argument is longer than the system hands to a program
    };
    // Failed learns of each link that no opener took, and why.
    using TFailed = std::function<void(const QString& Link, TFailure Why)>;
    TOpenerQueue(QString Program, TFailed Failed, QObject* Parent = nullptr);
    // Openers still running are let go and run on; links still waiting are dropped.
    ~TOpenerQueue() override;

    // Queues Argument for the program; a failure names Link (Argument when empty). An
    // argument longer than LongestArgument is not queued: the system would refuse to
    // start the program with it.
    void Open(const QString& Argument, const QString& Link = QString());

    // The longest argument, in bytes of the system's encoding of file names, that a
    // program started now can be given beside its own name, with this process's
    // environment: on Linux less than 32 pages (128 KiB), and all arguments and the
    // environment together within the system's ARG_MAX.
    static qsizetype LongestArgument();

    void SetMaxRunning(int Count) { FMaxRunning = Count; }
    void SetSlotTimeout(int Ms) { FSlotTimeoutMs = Ms; }

    int Running() const { return FRunning; }
    qsizetype Waiting() const { return qsizetype(FWaiting.size()); }
    // The arguments started so far, in order; for tests.
    const QStringList& Started() const { return FStarted; }
    int MostRunning() const { return FMostRunning; }

private:
    void StartWaiting();
    struct TWaiting {
        QString Argument;
        QString Link;
    };
    void Start(const TWaiting& Item);

    QString FProgram;
    TFailed FFailed;
    std::deque<TWaiting> FWaiting;
    QStringList FStarted;
    int FRunning = 0;  // openers holding a place
    int FMostRunning = 0;
    int FMaxRunning = DefaultMaxRunning;
    int FSlotTimeoutMs = DefaultSlotTimeoutMs;
    QObject FOpeners;  // parent of the openers still running
};
