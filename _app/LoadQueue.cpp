#include "LoadQueue.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <cerrno>
#include <optional>
#include <utility>

#include "FolderWalk.h"
#include "LocalPath.h"
#include "TorrentEntry.h"

QString OpenFailureReason(int SystemError)
{
    switch (SystemError) {
    case 0: return QCoreApplication::translate("TLoadQueue", "это не обычный файл");
    case ENOENT: return QCoreApplication::translate("TLoadQueue", "файла нет");
    case EACCES:
    case EPERM: return QCoreApplication::translate("TLoadQueue", "нет прав на чтение");
    case EISDIR: return QCoreApplication::translate("TLoadQueue", "это папка");
    case ENOTDIR: return QCoreApplication::translate("TLoadQueue", "в пути файл вместо папки");
    case ENAMETOOLONG: return QCoreApplication::translate("TLoadQueue", "слишком длинное имя");
    case ELOOP: return QCoreApplication::translate("TLoadQueue", "слишком много символьных ссылок подряд");
    case EMFILE:
    case ENFILE: return QCoreApplication::translate("TLoadQueue", "открыто слишком много файлов");
    case EIO: return QCoreApplication::translate("TLoadQueue", "ошибка чтения с диска");
    default: return QCoreApplication::translate("TLoadQueue", "файл не открывается (код ошибки %1)").arg(SystemError);
    }
}

QString RefusedReason()
{
    return QCoreApplication::translate("TLoadQueue", "не торрент-файл или файл повреждён");
}

QString FolderFailureReason(const std::error_code& Error)
{
    if (Error.category() == std::system_category() || Error.category() == std::generic_category()) {
        switch (Error.value()) {
        case ENOENT: return QCoreApplication::translate("TLoadQueue", "папки нет");
        case EACCES:
        case EPERM: return QCoreApplication::translate("TLoadQueue", "нет прав на чтение папки");
        case ENOTDIR: return QCoreApplication::translate("TLoadQueue", "это не папка");
        case EMFILE:
        case ENFILE: return QCoreApplication::translate("TLoadQueue", "открыто слишком много файлов");
        case EIO: return QCoreApplication::translate("TLoadQueue", "ошибка чтения с диска");
        default: break;
        }
    }
    return QCoreApplication::translate("TLoadQueue", "папка не читается (код ошибки %1)").arg(Error.value());
}

struct TLoadQueue::TBatch {
    TSource Source = TSource::Drop;
    QStringList Sources;  // the paths as given
    qsizetype NextSource = 0;
    std::unique_ptr<TTorrentFolderWalk> Walk;  // the folder being opened
    QStringList Files;                         // the files found so far, in order
    qsizetype NextFile = 0;
    bool ReadyTold = false;
    TBatchReport Report;

    bool Expanded() const { return !Walk && NextSource == Sources.size(); }
};

TLoadQueue::TLoadQueue(THandlers Handlers, QObject* Parent) : QObject(Parent), FHandlers(std::move(Handlers))
{
    FTimer = new QTimer(this);
    FTimer->setSingleShot(true);
    FTimer->setInterval(0);
    connect(FTimer, &QTimer::timeout, this, [this] { Slice(false); });
}

TLoadQueue::~TLoadQueue() = default;

void TLoadQueue::Add(const QStringList& Paths, TSource Source)
{
    if (Paths.isEmpty()) return;
    auto Batch = std::make_shared<TBatch>();
    Batch->Source = Source;
    Batch->Sources = Paths;
    FBatches.push_back(std::move(Batch));
    Schedule();
}

void TLoadQueue::Schedule()
{
    if (!FBatches.empty() && !FInSlice) FTimer->start();
}

void TLoadQueue::RunToEnd()
{
    Slice(true);
}

void TLoadQueue::Cancel()
{
    if (FBatches.empty()) return;
    while (FBatches.size() > 1) FBatches.pop_back();
    FBatches.front()->Report.Cancelled = true;
    Schedule();
}

qsizetype TLoadQueue::Done() const
{
    return FBatches.empty() ? 0 : FBatches.front()->NextFile;
}

qsizetype TLoadQueue::Total() const
{
    return FBatches.empty() ? 0 : FBatches.front()->Files.size();
}

void TLoadQueue::Expand(TBatch& Batch)
{
    if (Batch.Walk) {
        TTorrentFolderWalk::TFound Found;
        if (!Batch.Walk->Next(Found)) {
            Batch.Walk.reset();
        } else if (Found.Error) {
            TLoadFailure Failure;
            Failure.Kind = TLoadFailure::TKind::FolderUnreadable;
            Failure.Path = PathFromLocal(QByteArray::fromStdString(Found.Path));
            Failure.Reason = FolderFailureReason(Found.Error);
            Batch.Report.Failures << Failure;
        } else {
            Batch.Files << PathFromLocal(QByteArray::fromStdString(Found.Path));
        }
        return;
    }
    const QString& Path = Batch.Sources[Batch.NextSource++];
    if (Path.isEmpty()) return;
    const std::string Local = PathToLocal(Path).toStdString();
    if (IsFolder(Local)) {
        Batch.Walk = std::make_unique<TTorrentFolderWalk>(Local);
    } else if (!PathExtension(Path).isEmpty()) {
        Batch.Files << Path;
    }
}

void TLoadQueue::Slice(bool Unbounded)
{
    // A handler's nested event loop may bring the timer round again: the slice that
    // is running goes on when the handler returns.
    if (FInSlice) return;
    FInSlice = true;
    QPointer<TLoadQueue> Self(this);
    QElapsedTimer Clock;
    Clock.start();
    int Loaded = 0;

    while (!FBatches.empty()) {
        const std::shared_ptr<TBatch> Batch = FBatches.front();
        if (!FLoadingTold) {
            FLoadingTold = true;
            FLoadingClock.start();
            if (FHandlers.Loading) FHandlers.Loading(true);
            if (!Self) return;
        }
        if (!Batch->Report.Cancelled && !Batch->Expanded()) {
            Expand(*Batch);
        } else if (!Batch->Report.Cancelled && !Batch->ReadyTold) {
            Batch->ReadyTold = true;
            if (FHandlers.BatchReady) FHandlers.BatchReady(Batch->Files.size());
            if (!Self) return;
        } else if (!Batch->Report.Cancelled && Batch->NextFile < Batch->Files.size()) {
            const QString Path = Batch->Files[Batch->NextFile++];
            TLoadFailure Failure;
            const TLoadResult Result = FHandlers.LoadFile(Path, Failure);
            if (!Self) return;
            ++Loaded;
            switch (Result) {
            case TLoadResult::Added:
                ++Batch->Report.Files;
                ++Batch->Report.Added;
                break;
            case TLoadResult::Duplicate:
                ++Batch->Report.Files;
                ++Batch->Report.Duplicates;
                break;
            case TLoadResult::Failed:
                ++Batch->Report.Files;
                if (Failure.Path.isEmpty()) Failure.Path = Path;
                Batch->Report.Failures << std::move(Failure);
                break;
            case TLoadResult::Ignored: break;
            }
        } else {
            // Its end: taken off the queue before it is told, so that what the
            // handler does meanwhile (a drop) queues behind the next one. The last
            // one's end of loading is told first: its report may stay open in a box,
            // and the window does not read as busy meanwhile. A batch queued while the
            // box is open begins loading anew.
            if (!FBatches.empty() && FBatches.front() == Batch) FBatches.pop_front();
            if (FBatches.empty() && FLoadingTold) {
                FLoadingTold = false;
                if (FHandlers.Loading) FHandlers.Loading(false);
                if (!Self) return;
            }
            if (FHandlers.BatchDone) FHandlers.BatchDone(Batch->Report);
            if (!Self) return;
        }
        if (!Unbounded && (Clock.elapsed() >= FSliceMs || (FMaxFilesPerSlice > 0 && Loaded >= FMaxFilesPerSlice)))
            break;
    }

    if (!FBatches.empty() && FHandlers.Progress && FLoadingClock.elapsed() >= FProgressDelayMs) {
        FHandlers.Progress(Done(), Total());
        if (!Self) return;
    }
    FInSlice = false;
    if (!FBatches.empty()) {
        FTimer->start();
    } else if (FLoadingTold) {
        FLoadingTold = false;
        if (FHandlers.Loading) FHandlers.Loading(false);
    }
}
