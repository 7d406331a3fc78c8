// Loading files in batches from the event loop: a drop, a choice in the open
// dialog, the command line or a later copy's hand-off becomes one batch; its
// folders open into the torrents below them, and its files load a slice at a time,
// so that the window stays responsive, shows how far it is and can be stopped.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <system_error>

class QTimer;

// Why one path of a batch gave no entry.
struct TLoadFailure {
    enum class TKind { CannotOpen, Refused, FolderUnreadable };
    TKind Kind = TKind::CannotOpen;
    QString Path;              // as it was loaded, in PathFromLocal's form
    QString Reason;            // in Russian, for the batch's summary
    std::exception_ptr Error;  // CannotOpen: what the box of a lone failure shows
    QStringList Messages;      // Refused: the loader's messages
};

// The reason for a summary: a file that could not be opened (SystemError an errno
// value, 0 for a path that names no regular file), a file the loader refused, a
// folder that could not be read.
QString OpenFailureReason(int SystemError);
QString RefusedReason();
QString FolderFailureReason(const std::error_code& Error);

// What loading one file gave.
enum class TLoadResult { Added, Duplicate, Ignored, Failed };

// A batch at its end.
struct TBatchReport {
    qsizetype Files = 0;  // the files tried
    qsizetype Added = 0;
    qsizetype Duplicates = 0;
    bool Cancelled = false;
    QList<TLoadFailure> Failures;  // in the order met
};

class TLoadQueue : public QObject {
public:
    enum class TSource { Drop, OpenDialog, CommandLine, HandOff };

    // Loads one file; fills Failure when it returns Failed.
    using TLoadFile = std::function<TLoadResult(const QString& Path, TLoadFailure& Failure)>;

    // Each may run a nested event loop (a question, a message box) and may even
    // destroy the queue; nothing of the queue is touched afterwards unless it lives.
    struct THandlers {
        TLoadFile LoadFile;
        // The first batch begins; the last has ended (told before its BatchDone).
        std::function<void(bool Loading)> Loading;
        // A batch's files are known (its folders opened), before the first of them loads.
        std::function<void(qsizetype Files)> BatchReady;
        // How far the current batch is, after each slice once loading has taken
        // longer than the progress delay.
        std::function<void(qsizetype Done, qsizetype Total)> Progress;
        std::function<void(const TBatchReport& Report)> BatchDone;
    };

    explicit TLoadQueue(THandlers Handlers, QObject* Parent = nullptr);
    ~TLoadQueue() override;

    // Queues a batch behind those already waiting; loading starts from the event
    // loop. Paths keep their order; a folder stands for the torrents below it (the walk
    // of TTorrentFolderWalk), a path without an extension is passed over.
    void Add(const QStringList& Paths, TSource Source);

    // Loads everything queued before returning (the window's own command line).
    void RunToEnd();

    // Stops after the file that is loading: the current batch ends (its report says
    // so), the batches waiting behind it are dropped. What was loaded stays.
    void Cancel();

    bool IsLoading() const { return !FBatches.empty(); }
    // The current batch's files done and known.
    qsizetype Done() const;
    qsizetype Total() const;

    // How long a slice loads before the events get their turn.
    void SetSliceMilliseconds(int Ms) { FSliceMs = Ms; }
    // At most this many files per slice (0: no limit); for tests.
    void SetMaxFilesPerSlice(int Files) { FMaxFilesPerSlice = Files; }
    // How long loading runs before its progress is shown.
    static constexpr int DefaultProgressDelayMs = 500;
    void SetProgressDelay(int Ms) { FProgressDelayMs = Ms; }

private:
    struct TBatch;

    void Schedule();
    void Slice(bool Unbounded);
    // One step of opening the batch's paths: a path, or one entry of a folder's walk.
    static void Expand(TBatch& Batch);

    THandlers FHandlers;
    std::deque<std::shared_ptr<TBatch>> FBatches;
    QTimer* FTimer = nullptr;
    QElapsedTimer FLoadingClock;  // since the first batch began
    bool FLoadingTold = false;
    bool FInSlice = false;
    int FSliceMs = 40;
    int FMaxFilesPerSlice = 0;
    int FProgressDelayMs = DefaultProgressDelayMs;
};
