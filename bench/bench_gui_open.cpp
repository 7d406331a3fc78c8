// Loading through the main window, offscreen: 2,000 typical torrents (a few files,
// a few thousand pieces each) chosen at once in the open dialog, timed against the
// bare loader on the same files in the same run; then a list of 100,000 entries,
// scrolled and selected, with the time of each repaint.
//
//   bench_gui_open [torrents=2000] [entries=100000]
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchTiming.h"
#include "FakePlatform.h"
#include "TorrentFile.h"
#include "TorrentMaker.h"
#include "frm_Main.h"

using namespace TorrentMaker;

namespace {

// Counts the paints of a widget.
class TPaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* Event) override
    {
        if (Event->type() == QEvent::Paint) ++Paints;
        return false;
    }
};

TTorrentRecipe Typical(int Index)
{
    TTorrentRecipe Recipe;
    Recipe.Name = "Release " + std::to_string(Index);
    Recipe.Comment = "https://example.org/torrents/" + std::to_string(Index);
    Recipe.PieceLength = 262144;
    Recipe.Files = {{{"Release", "video.mkv"}, 0},
                    {{"Release", "subtitles.srt"}, 80000},
                    {{"Release", "cover.jpg"}, 250000},
                    {{"readme.txt"}, 1200}};
    Recipe.PieceCount = 2000 + (Index * 37) % 2000;  // 2,000 to 4,000 pieces
    Recipe.Files[0].Length = Recipe.PieceCount * Recipe.PieceLength - 331200;
    return Recipe;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication Application(argc, argv);
    const int TorrentCount = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;
    const int EntryCount = argc > 2 ? std::max(1, atoi(argv[2])) : 100000;

    QTemporaryDir Folder;
    QStringList Files;
    qint64 Bytes = 0;
    for (int i = 0; i < TorrentCount; ++i) {
        const std::string Torrent = TorrentBytes(Typical(i));
        Bytes += qint64(Torrent.size());
        Files << WriteBytes(Folder.filePath(QStringLiteral("t%1.torrent").arg(i)), Torrent);
    }
    std::printf("%d torrents, %.1f KB each on average\n", TorrentCount, double(Bytes) / TorrentCount / 1024);

    // The bare loader on the same files: open, decode, hash, free.
    QElapsedTimer Timer;
    Timer.start();
    double Cpu = ThreadCpuMs();
    size_t Hashes = 0;
    for (const QString& File : Files) {
        TFileStream Stream(QFile::encodeName(File).toStdString());
        TTorrentFile Torrent;
        if (Torrent.LoadFromStream(Stream) && !Torrent.InfoHash.empty()) ++Hashes;
    }
    const double LoaderMs = Milliseconds(Timer);
    const double LoaderCpu = ThreadCpuMs() - Cpu;

    // The window's own open path, the window on screen.
    TFakePlatform Platform;
    TfrmKTZ Window(Platform, {});
    Window.show();
    if (!QTest::qWaitForWindowExposed(&Window)) std::printf("window not exposed\n");
    TPaintCounter Counter;
    Window.VST->viewport()->installEventFilter(&Counter);
    Platform.OpenAnswers << Files;
    Timer.restart();
    Cpu = ThreadCpuMs();
    Window.btnOpen->trigger();
    // The files load from the event loop, a slice at a time.
    while (Window.Loading()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    const double WindowMs = Milliseconds(Timer);
    const double WindowCpu = ThreadCpuMs() - Cpu;

    std::printf("loader alone:        %8.1f ms, %.3f ms per file wall, %.3f ms CPU (%zu hashes)\n", LoaderMs,
                LoaderMs / TorrentCount, LoaderCpu / TorrentCount, Hashes);
    std::printf("through the window:  %8.1f ms, %.3f ms per file wall, %.3f ms CPU (%lld entries, %d errors)\n",
                WindowMs, WindowMs / TorrentCount, WindowCpu / TorrentCount, (long long)Window.Entries().size(),
                int(Platform.Errors.size()));
    std::printf("window / loader:     %8.2f wall, %.2f CPU\n", WindowMs / LoaderMs, WindowCpu / LoaderCpu);
    std::printf("list repaints:       %8d for %d entries (%.2f per entry)\n", Counter.Paints, TorrentCount,
                double(Counter.Paints) / TorrentCount);

    // A long list: small torrents, each its own (the list holds a torrent once).
    Window.btnClear->trigger();
    QStringList SmallFiles;
    for (int I = 0; I < EntryCount; ++I) {
        TTorrentRecipe Small;
        Small.PieceCount = 4;
        Small.Name = "small " + std::to_string(I);
        SmallFiles << WriteTorrent(Folder.path(), QStringLiteral("small%1.torrent").arg(I), Small);
    }
    Timer.restart();
    Platform.OpenAnswers << SmallFiles;
    Window.btnOpen->trigger();
    while (Window.Loading()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double FillMs = Milliseconds(Timer);
    std::printf("%lld entries loaded in %.0f ms (%.3f ms per entry)\n", (long long)Window.Entries().size(), FillMs,
                FillMs / EntryCount);

    // Each step changes what the list shows and is painted at once; its time is the
    // time until the user sees it.
    QTreeView* List = Window.VST;
    std::vector<double> Steps, StepsCpu;
    auto Step = [&](auto&& Change) {
        QElapsedTimer StepTimer;
        StepTimer.start();
        const double StepCpu = ThreadCpuMs();
        Change();
        List->viewport()->repaint();
        Steps.push_back(Milliseconds(StepTimer));
        StepsCpu.push_back(ThreadCpuMs() - StepCpu);
    };
    List->setFocus();
    Step([&] { List->scrollToBottom(); });
    Step([&] { List->setCurrentIndex(Window.VSTModel->index(EntryCount - 1, 0)); });
    for (int i = 0; i < 50; ++i) Step([&] { QTest::keyClick(List, Qt::Key_PageUp); });
    for (int i = 0; i < 50; ++i) Step([&] { QTest::keyClick(List, Qt::Key_Up); });
    Step([&] { QTest::keyClick(List, Qt::Key_Home); });
    Step([&] { List->verticalScrollBar()->setValue(List->verticalScrollBar()->maximum() / 2); });
    Step([&] { List->setCurrentIndex(Window.VSTModel->index(EntryCount / 2 + 3, 0)); });
    for (int i = 0; i < 50; ++i) Step([&] { QTest::keyClick(List, Qt::Key_PageDown); });
    Step([&] { QTest::keyClick(List, Qt::Key_End); });

    auto Report = [&](std::vector<double> Sorted, const char* What) {
        std::sort(Sorted.begin(), Sorted.end());
        double Sum = 0;
        for (double Ms : Sorted) Sum += Ms;
        std::printf("%zu scroll and select steps on %d entries, %s: mean %.2f ms, median %.2f ms, max %.2f ms\n",
                    Sorted.size(), EntryCount, What, Sum / double(Sorted.size()), Sorted[Sorted.size() / 2],
                    Sorted.back());
    };
    Report(Steps, "wall");
    Report(StepsCpu, "CPU");
    std::printf("selected: %s\n", qPrintable(Window.lblName->text()));
    Window.close();
    return 0;
}
