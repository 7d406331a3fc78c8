// Many files into the running window, two ways: opened in one go through the
// window's open path (as a drop or the open dialog brings them), and handed over by
// later copies of the built program, started by xargs as a file manager's "open
// with" or `xargs velmora` starts them. The window is the real one, offscreen, with
// the real hand-off server wired to it as the program wires it. Run by
// bench/handoff_batch.sh, one mode per process, so that each has a peak of its own.
//
//   bench_handoff_batch make COUNT FOLDER       COUNT small torrents and FOLDER/list
//   bench_handoff_batch open LIST               prints: ms peak-KiB entries in-order
//   bench_handoff_batch handoff LIST VELMORA    prints: ms peak-KiB entries in-order
//                                               later-copies-peak-KiB xargs-ms
//
// The hand-off's time runs from the start of xargs until the window holds every
// entry; the open path's from the command until then. XDG_RUNTIME_DIR must name a
// private folder: this process takes the lock there and listens.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>

#include "FakePlatform.h"
#include "HandOffServer.h"
#include "OnlyOne.h"
#include "TorrentMaker.h"
#include "frm_Main.h"

using namespace TorrentMaker;

namespace {

long PeakKiB(int Who)
{
    rusage Usage{};
    getrusage(Who, &Usage);
    return Usage.ru_maxrss;
}

QStringList ReadList(const QString& FileName)
{
    QFile File(FileName);
    QStringList Paths;
    if (!File.open(QIODevice::ReadOnly)) return Paths;
    for (const QByteArray& Line : File.readAll().split('\n'))
        if (!Line.isEmpty()) Paths << QString::fromUtf8(Line);
    return Paths;
}

// Whether the window's entries are the listed files, in the list's order.
bool InOrder(const TfrmKTZ& Window, const QStringList& Paths)
{
    const QList<TTorrentEntry>& Entries = Window.Entries();
    if (Entries.size() != Paths.size()) return false;
    for (qsizetype I = 0; I < Paths.size(); ++I)
        if (Entries[I].FileName != QFileInfo(Paths[I]).fileName()) return false;
    return true;
}

int Make(int Count, const QString& Folder)
{
    QFile List(Folder + QStringLiteral("/list"));
    if (!List.open(QIODevice::WriteOnly)) return 2;
    for (int I = 0; I < Count; ++I) {
        TTorrentRecipe Recipe;
        Recipe.Name = "Release " + std::to_string(I);
        Recipe.Comment = "https://example.org/torrents/" + std::to_string(I);
        Recipe.PieceLength = 1 << 20;
        Recipe.Files = {{{"Release", "video.mkv"}, 0}, {{"readme.txt"}, 1200}};
        Recipe.PieceCount = 40 + I % 60;  // about 1 to 2 KB each
        Recipe.Files[0].Length = Recipe.PieceCount * Recipe.PieceLength - 2000;
        const QString Sub = Folder + QStringLiteral("/%1").arg(I / 1000, 3, 10, QLatin1Char('0'));
        if (I % 1000 == 0) QDir().mkpath(Sub);
        const QString Path =
            WriteBytes(Sub + QStringLiteral("/t%1.torrent").arg(I, 6, 10, QLatin1Char('0')), TorrentBytes(Recipe));
        List.write(Path.toUtf8() + '\n');
    }
    return 0;
}

int Open(const QStringList& Paths)
{
    TFakePlatform Platform;
    TfrmKTZ Window(Platform, {});
    Window.show();
    QCoreApplication::processEvents();
    Platform.OpenAnswers << Paths;
    QElapsedTimer Timer;
    Timer.start();
    Window.btnOpen->trigger();
    // The batch loads in slices from the event loop; on a busy machine one turn of
    // the loop holds only part of it.
    while (Window.Loading()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const qint64 Ms = Timer.elapsed();
    std::printf("%lld %ld %lld %d\n", (long long)Ms, PeakKiB(RUSAGE_SELF), (long long)Window.Entries().size(),
                int(InOrder(Window, Paths)));
    return 0;
}

int HandOver(const QString& ListFile, const QStringList& Paths, const QString& Program)
{
    if (!IsFirstInstance(VelmoraMutexName)) {
        std::fprintf(stderr, "bench_handoff_batch: cannot take the lock: %s\n", InstanceLockError().c_str());
        return 2;
    }
    TFakePlatform Platform;
    TfrmKTZ Window(Platform, {});
    THandOffServer Server;
    if (!Server.Listen(QString::fromStdString(RuntimeFolder()))) {
        std::fprintf(stderr, "bench_handoff_batch: cannot listen: %s\n", qPrintable(Server.ErrorString()));
        return 2;
    }
    Server.SetHandlers(
        [&Window](const QStringList& Batch) {
            Window.OpenHandedOver(Batch);
            return true;
        },
        [] {});
    Window.show();
    QCoreApplication::processEvents();

    QProcess Xargs;
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-window-system-in-a-later-copy"));
    Xargs.setProcessEnvironment(Env);
    Xargs.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer Timer;
    Timer.start();
    qint64 XargsMs = -1;
    QObject::connect(&Xargs, &QProcess::finished, [&] { XargsMs = Timer.elapsed(); });
    Xargs.start(QStringLiteral("xargs"),
                {QStringLiteral("-a"), ListFile, QStringLiteral("-d"), QStringLiteral("\n"), Program});
    while ((XargsMs < 0 || Window.Entries().size() < Paths.size()) && Timer.elapsed() < 3600 * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const qint64 Ms = Timer.elapsed();
    std::printf("%lld %ld %lld %d %ld %lld\n", (long long)Ms, PeakKiB(RUSAGE_SELF), (long long)Window.Entries().size(),
                int(InOrder(Window, Paths)), PeakKiB(RUSAGE_CHILDREN), (long long)XargsMs);
    return Xargs.exitCode() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication Application(argc, argv);
    const QStringList Args = Application.arguments();
    if (Args.size() == 4 && Args[1] == QLatin1String("make")) return Make(Args[2].toInt(), Args[3]);
    if (Args.size() == 3 && Args[1] == QLatin1String("open")) return Open(ReadList(Args[2]));
    if (Args.size() == 4 && Args[1] == QLatin1String("handoff")) return HandOver(Args[2], ReadList(Args[2]), Args[3]);
    std::fprintf(stderr, "usage: bench_handoff_batch make COUNT FOLDER | open LIST | handoff LIST VELMORA\n");
    return 2;
}
