// The contents window, offscreen, on a torrent of 100,000 files: the time from the
// command to the painted window, and the time of each key typed into the filter
// until the tree is painted again. Then what the contents cost the list: 100,000
// entries of ordinary torrents built with and without them, side by side, the heap
// in use measured after each.
//
//   bench_contents [files=100000] [entries=100000]
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchTiming.h"
#include "ContentsModel.h"
#include "FakePlatform.h"
#include "TorrentFile.h"
#include "TorrentMaker.h"
#include "frm_Main.h"

using namespace TorrentMaker;

namespace {

// The bytes that the heap has handed out, small blocks and large ones alike.
size_t HeapInUse()
{
    const struct mallinfo2 Info = mallinfo2();
    return Info.uordblks + Info.hblkhd;
}

// An ordinary torrent: a folder of a few files, a comment; with Trackers, an
// announce-list of that many tiers of one tracker each.
TTorrentRecipe Ordinary(int Index)
{
    TTorrentRecipe Recipe;
    Recipe.Name = "Release " + std::to_string(Index);
    Recipe.Comment = "https://example.org/torrents/" + std::to_string(Index);
    Recipe.PieceLength = 262144;
    Recipe.PieceCount = 2000 + (Index * 37) % 2000;
    Recipe.Files = {{{"Release", "video.mkv"}, Recipe.PieceCount * Recipe.PieceLength - 331200},
                    {{"Release", "subtitles.srt"}, 80000},
                    {{"Release", "cover.jpg"}, 250000},
                    {{"readme.txt"}, 1200}};
    return Recipe;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication Application(argc, argv);
    const int FileCount = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int EntryCount = argc > 2 ? std::max(1, atoi(argv[2])) : 100000;
    QTemporaryDir Folder;

    // The torrent of many files, as bench/peers.py makes it: a thousand to a folder.
    TTorrentRecipe Many;
    Many.Name = "many";
    Many.PieceLength = 1 << 20;
    for (int i = 0; i < FileCount; ++i) {
        char Name[32];
        std::snprintf(Name, sizeof Name, "file%06d.dat", i);
        Many.Files.push_back({{"dir" + std::to_string(i / 1000), Name}, 1000 + i});
    }
    Many.PieceCount = 100;
    const QString ManyFile = WriteTorrent(Folder.path(), QStringLiteral("many.torrent"), Many);

    TFakePlatform Platform;
    TfrmKTZ Window(Platform, {});
    Window.show();
    if (!QTest::qWaitForWindowExposed(&Window)) std::printf("window not exposed\n");
    Window.AddVST(ManyFile);
    Window.VST->setCurrentIndex(Window.VSTModel->index(0, 0));

    // Open, paint, close; five times.
    TTimes Open;
    for (int Round = 0; Round < 5; ++Round) {
        Timed(Open, [&] {
            Window.mmContents->trigger();
            TfrmContents* Contents = Window.ContentsWindow();
            QCoreApplication::processEvents();
            Contents->vstFiles->viewport()->repaint();
        });
        if (Round < 4) {
            Window.ContentsWindow()->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    std::printf("%d files, %lld shown\n", FileCount, (long long)Window.ContentsWindow()->FilesModel->ShownFileCount());
    Open.Report("open the window");

    // Type a path's part key by key, then take it back.
    TfrmContents* Contents = Window.ContentsWindow();
    TTimes Keys, Back;
    const QString Typed = QStringLiteral("dir7/file00712");
    for (const QChar Key : Typed) {
        Timed(Keys, [&] {
            QTest::keyClicks(Contents->edtFilter, QString(Key));
            Contents->vstFiles->viewport()->repaint();
        });
    }
    std::printf("filter \"%s\": %lld files shown\n", qPrintable(Typed),
                (long long)Contents->FilesModel->ShownFileCount());
    for (qsizetype i = 0; i < Typed.size(); ++i) {
        Timed(Back, [&] {
            QTest::keyClick(Contents->edtFilter, Qt::Key_Backspace);
            Contents->vstFiles->viewport()->repaint();
        });
    }
    Keys.Report("a key into the filter");
    Back.Report("a backspace");
    Contents->close();
    Window.btnClear->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The list's memory: the same entries with and without their contents.
    std::vector<TTorrentFile> Torrents(100);
    for (size_t i = 0; i < Torrents.size(); ++i) {
        const QString File = WriteTorrent(Folder.path(), QStringLiteral("o%1.torrent").arg(i), Ordinary(int(i)));
        TFileStream Stream(QFile::encodeName(File).toStdString());
        Torrents[i].LoadFromStream(Stream);
    }
    auto ListBytes = [&](bool WithContents) {
        const size_t Before = HeapInUse();
        QList<TTorrentEntry> List;
        for (int i = 0; i < EntryCount; ++i) {
            TTorrentEntry Entry = MakeTorrentEntry(QStringLiteral("/home/user/Downloads/o%1.torrent").arg(i),
                                                   Torrents[size_t(i) % Torrents.size()]);
            if (!WithContents) Entry.Contents.Clear();
            List.append(std::move(Entry));
        }
        // Emptied contents still take their place in each entry the list has room
        // for: a list without the field at all, as before it, is that much smaller.
        const double Field = WithContents ? 0 : double(sizeof(TTorrentContents)) * double(List.capacity());
        return double(HeapInUse() - Before) - Field;
    };
    for (int Round = 0; Round < 2; ++Round) {
        const double Without = ListBytes(false);
        const double With = ListBytes(true);
        std::printf("%d entries: %.1f MB without the contents, %.1f MB with them (+%.1f%%, %.0f bytes an entry)\n",
                    EntryCount, Without / 1e6, With / 1e6, 100 * (With - Without) / Without,
                    (With - Without) / EntryCount);
    }
    Window.close();
    return 0;
}
