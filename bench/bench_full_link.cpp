// Full links of torrents whose tracker address is megabytes of non-ASCII text,
// through the main window offscreen with "Добавлять имя и трекеры" ticked: the load
// of each, the load of a small torrent after it, switching the links off and on, a
// selection and a repaint of the whole window, each with its wall and CPU time and
// the process's peak memory after it.
//
//   bench_full_link [MB ...]        (default: 1 4 16)
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>

#include "BenchTiming.h"
#include "FakePlatform.h"
#include "TorrentMaker.h"
#include "frm_Main.h"

using namespace TorrentMaker;

namespace {

// Runs Step and prints its wall and CPU time and the peak memory after it.
template <class F> void Timed(const char* What, F&& Step)
{
    const TStopwatch Watch;
    Step();
    QCoreApplication::processEvents();
    std::printf("  %-28s %9.1f ms wall %9.1f ms CPU   peak %7.0f MB\n", What, Watch.WallMs(), Watch.CpuMs(), PeakMB());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication Application(argc, argv);
    QList<double> Sizes;
    for (int i = 1; i < argc; ++i) Sizes << std::atof(argv[i]);
    if (Sizes.isEmpty()) Sizes = {1, 4, 16};

    QTemporaryDir Folder;
    const QString Small = WriteTorrent(Folder.path(), QStringLiteral("small.torrent"), TTorrentRecipe());
    TFakePlatform Platform;
    TfrmKTZ Window(Platform, {});
    Window.chkFull->setChecked(true);
    Window.show();
    if (!QTest::qWaitForWindowExposed(&Window)) std::printf("window not exposed\n");

    for (const double MB : Sizes) {
        TTorrentRecipe Recipe;
        Recipe.Name = "huge";
        // "я" is two bytes of UTF-8, each escaped to three characters in the link.
        std::string Announce = "http://t.example/";
        for (size_t Bytes = 0; Bytes < size_t(MB * 1048576); Bytes += 2) Announce += "я";
        Recipe.Announce = std::move(Announce);
        const QString File = WriteTorrent(Folder.path(), QStringLiteral("huge%1.torrent").arg(MB), Recipe);
        std::printf("%.0f MB announce, %d entries before:\n", MB, int(Window.Entries().size()));
        Timed("load", [&] { Window.AddVST(File); });
        Timed("select it",
              [&] { Window.VST->setCurrentIndex(Window.VSTModel->index(int(Window.Entries().size()) - 1, 1)); });
        Timed("repaint the window", [&] { Window.repaint(); });
        Timed("small torrent after it", [&] { Window.AddVST(Small); });
        Timed("links off", [&] { Window.chkFull->setChecked(false); });
        Timed("links on", [&] { Window.chkFull->setChecked(true); });
    }
    Window.close();
    return 0;
}
