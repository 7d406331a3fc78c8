// The contents window: the tree of a torrent's files (folders, order, sizes, pad
// files left out), a single-file torrent, the filter, copying, following the main
// list's current entry, its facts, and a torrent whose names are hostile.
#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "ContentsModel.h"
#include "DetailLabels.h"
#include "FakePlatform.h"
#include "TorrentMaker.h"
#include "frm_Main.h"

using namespace TorrentMaker;

namespace {

// A file entry of "files"; Extra adds keys such as "attr" or "path.utf-8".
std::string FileEntry(const std::vector<std::string>& Path, int64_t Length,
                      std::map<std::string, std::string> Extra = {})
{
    std::vector<std::string> Elements;
    for (const std::string& Element : Path) Elements.push_back(BStr(Element));
    Extra["length"] = BInt(Length);
    Extra["path"] = BList(Elements);
    return BDict(Extra);
}

std::string Torrent(const std::map<std::string, std::string>& Info, std::map<std::string, std::string> Root = {})
{
    std::map<std::string, std::string> FullInfo = Info;
    FullInfo.try_emplace("name", BStr("example"));
    FullInfo["piece length"] = BInt(16384);
    FullInfo["pieces"] = BStr(PieceBytes(2));
    Root.try_emplace("announce", BStr("http://tracker.example.org/announce"));
    Root["info"] = BDict(FullInfo);
    return BDict(Root);
}

// b/x.txt 10, a/y.bin 20, z.txt 5, a/c/k 3, A.txt 1, and two pad files: one by
// its "attr", one in ".pad".
std::string MultiFile()
{
    return Torrent(
        {{"files", BList({FileEntry({"b", "x.txt"}, 10), FileEntry({"a", "y.bin"}, 20),
                          FileEntry({"a", "pad0"}, 100, {{"attr", BStr("p")}}), FileEntry({"z.txt"}, 5),
                          FileEntry({"a", "c", "k"}, 3), FileEntry({".pad", "7"}, 7), FileEntry({"A.txt"}, 1)})}});
}

QStringList RowNames(const QAbstractItemModel& Model, const QModelIndex& Parent = QModelIndex())
{
    QStringList Names;
    for (int Row = 0; Row < Model.rowCount(Parent); ++Row) Names << Model.index(Row, 0, Parent).data().toString();
    return Names;
}

QModelIndex Find(const QAbstractItemModel& Model, const QString& Path)
{
    QModelIndex At;
    for (const QString& Name : Path.split(u'/')) {
        const int Row = RowNames(Model, At).indexOf(Name);
        if (Row < 0) return QModelIndex();
        At = Model.index(Row, 0, At);
    }
    return At;
}

QString Cell(const QAbstractItemModel& Model, const QString& Path, int Column, int Role = Qt::DisplayRole)
{
    const QModelIndex Name = Find(Model, Path);
    return Model.index(Name.row(), Column, Name.parent()).data(Role).toString();
}

}  // namespace

class TestContents : public QObject {
    Q_OBJECT

    QTemporaryDir* FFiles = nullptr;
    TFakePlatform* FPlatform = nullptr;
    TfrmKTZ* FWindow = nullptr;

    // The main window with the files loaded, the first current, its contents open.
    TfrmContents* Open(const std::vector<std::string>& Torrents)
    {
        for (size_t i = 0; i < Torrents.size(); ++i)
            FWindow->AddVST(WriteBytes(FFiles->filePath(QStringLiteral("t%1.torrent").arg(i)), Torrents[i]));
        FWindow->VST->setCurrentIndex(FWindow->VSTModel->index(0, 0));
        FWindow->mmContents->trigger();
        return FWindow->ContentsWindow();
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init()
    {
        FFiles = new QTemporaryDir();
        FPlatform = new TFakePlatform();
        FWindow = new TfrmKTZ(*FPlatform, {});
    }
    void cleanup()
    {
        delete FWindow;
        delete FPlatform;
        delete FFiles;
    }

    void treeOfManyFiles()
    {
        TfrmContents* Contents = Open({MultiFile()});
        QVERIFY(Contents);
        QVERIFY(Contents->isVisible());
        const TContentsModel& Model = *Contents->FilesModel;
        // Folders first, then files, each by name without regard to case; pads gone.
        QCOMPARE(RowNames(Model), (QStringList{"a", "b", "A.txt", "z.txt"}));
        QCOMPARE(RowNames(Model, Find(Model, "a")), (QStringList{"c", "y.bin"}));
        QCOMPARE(Cell(Model, "a", TContentsModel::ColumnSize), QStringLiteral("23 B"));
        QCOMPARE(Cell(Model, "a", TContentsModel::ColumnFiles), QStringLiteral("2"));
        QCOMPARE(Cell(Model, "a/y.bin", TContentsModel::ColumnSize), QStringLiteral("20 B"));
        QCOMPARE(Cell(Model, "a/y.bin", TContentsModel::ColumnSize, Qt::ToolTipRole), QStringLiteral("20 байт"));
        QCOMPARE(Cell(Model, "a/y.bin", TContentsModel::ColumnFiles), QString());
        QCOMPARE(Contents->lblCount->text(), QStringLiteral("5 файлов, 39 B"));
        QCOMPARE(Contents->windowTitle(), QStringLiteral("Содержимое: t0.torrent"));
        // A small tree opens whole.
        QVERIFY(Contents->vstFiles->isExpanded(Find(Model, "a/c")));
    }

    void numbersByTheirValue()
    {
        TfrmContents* Contents =
            Open({Torrent({{"files", BList({FileEntry({"t10.txt"}, 1), FileEntry({"t2.txt"}, 1),
                                            FileEntry({"T1.txt"}, 1), FileEntry({"t02.txt"}, 1)})}})});
        QCOMPARE(RowNames(*Contents->FilesModel), (QStringList{"T1.txt", "t02.txt", "t2.txt", "t10.txt"}));
    }

    void singleFile()
    {
        TfrmContents* Contents = Open({Torrent({{"name", BStr("movie.avi")}, {"length", BInt(700)}})});
        const TContentsModel& Model = *Contents->FilesModel;
        QCOMPARE(RowNames(Model), QStringList{"movie.avi"});
        QCOMPARE(Cell(Model, "movie.avi", TContentsModel::ColumnSize), QStringLiteral("700 B"));
        QCOMPARE(Contents->lblCount->text(), QStringLiteral("1 файл, 700 B"));
    }

    void filter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("shown");  // the files' paths
        QTest::addColumn<QString>("count");
        QTest::newRow("a file's name") << "y" << QStringList{"a/y.bin"} << "1 файл, 20 B";
        QTest::newRow("across folders, any case") << "A/C" << QStringList{"a/c/k"} << "1 файл, 3 B";
        QTest::newRow("a folder") << "a/" << QStringList{"a/c/k", "a/y.bin"} << "2 файла, 23 B";
        QTest::newRow("an extension") << ".TXT" << QStringList{"b/x.txt", "A.txt", "z.txt"} << "3 файла, 16 B";
        QTest::newRow("nothing") << "nothing" << QStringList{} << "0 файлов, 0 B";
        QTest::newRow("a pad file's name") << "pad" << QStringList{} << "0 файлов, 0 B";
    }
    void filter()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, shown);
        QFETCH(QString, count);
        TfrmContents* Contents = Open({MultiFile()});
        QTest::keyClicks(Contents->edtFilter, typed);
        const TContentsModel& Model = *Contents->FilesModel;
        QStringList Files;
        std::function<void(const QModelIndex&)> Walk = [&](const QModelIndex& Parent) {
            for (int Row = 0; Row < Model.rowCount(Parent); ++Row) {
                const QModelIndex Index = Model.index(Row, 0, Parent);
                if (Model.IsFolder(Index))
                    Walk(Index);
                else
                    Files << Model.Path(Index);
            }
        };
        Walk(QModelIndex());
        QCOMPARE(Files, shown);
        QCOMPARE(Contents->lblCount->text(), count);
        // A folder shows the size of what is shown below it.
        if (typed == "y") QCOMPARE(Cell(Model, "a", TContentsModel::ColumnSize), QStringLiteral("20 B"));
        Contents->edtFilter->clear();
        QCOMPARE(Contents->lblCount->text(), QStringLiteral("5 файлов, 39 B"));
    }

    void copy()
    {
        TfrmContents* Contents = Open({MultiFile()});
        const TContentsModel& Model = *Contents->FilesModel;
        QItemSelectionModel* Selection = Contents->vstFiles->selectionModel();
        // Picked bottom up; copied in the tree's order.
        Selection->select(Find(Model, "z.txt"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Selection->select(Find(Model, "a/y.bin"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Contents->vstFiles->setFocus();
        QTest::keyClick(Contents->vstFiles, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("a/y.bin\nz.txt"));

        // A hash field copies its whole hash when nothing in it is selected.
        Contents->edtHash->deselect();
        QTest::keyClick(Contents->edtHash, Qt::Key_C, Qt::ControlModifier);
        const QString Hash = Contents->edtHash->text();
        QCOMPARE(Hash.size(), 40);
        QCOMPARE(QGuiApplication::clipboard()->text(), Hash);
        QVERIFY(FWindow->Entries()[0].Link.endsWith(Hash));
    }

    void followsTheCurrentEntry()
    {
        TfrmContents* Contents = Open({Torrent({{"name", BStr("movie.avi")}, {"length", BInt(700)}}), MultiFile()});
        QCOMPARE(RowNames(*Contents->FilesModel), QStringList{"movie.avi"});
        FWindow->VST->setCurrentIndex(FWindow->VSTModel->index(1, 0));
        QCOMPARE(FWindow->ContentsWindow(), Contents);
        QCOMPARE(Contents->windowTitle(), QStringLiteral("Содержимое: t1.torrent"));
        QCOMPARE(RowNames(*Contents->FilesModel), (QStringList{"a", "b", "A.txt", "z.txt"}));

        // Escape closes it; the list's moves then open nothing.
        QPointer<TfrmContents> Closing(Contents);
        QTest::keyClick(Contents->vstFiles, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(Closing.isNull());
        FWindow->VST->setCurrentIndex(FWindow->VSTModel->index(0, 0));
        QVERIFY(!FWindow->ContentsWindow());

        // A double-click on a row opens it on that row's entry.
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow));
        const QRect Row = FWindow->VST->visualRect(FWindow->VSTModel->index(1, 0));
        QTest::mouseClick(FWindow->VST->viewport(), Qt::LeftButton, {}, Row.center());
        QTest::mouseDClick(FWindow->VST->viewport(), Qt::LeftButton, {}, Row.center());
        QVERIFY(FWindow->ContentsWindow());
        QCOMPARE(FWindow->ContentsWindow()->windowTitle(), QStringLiteral("Содержимое: t1.torrent"));
    }

    void inTheMenuAfterRun()
    {
        const QList<QAction*> Items = FWindow->pmVST->actions();
        QCOMPARE(Items.indexOf(FWindow->mmContents), Items.indexOf(FWindow->mmRun) + 1);
        QCOMPARE(FWindow->mmContents->text(), QStringLiteral("Содержимое…"));
        QCOMPARE(FWindow->mmContents->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_I));
        // Nothing current: nothing to show.
        FWindow->mmContents->trigger();
        QVERIFY(!FWindow->ContentsWindow());
    }

    void facts()
    {
        TTorrentRecipe Hybrid;
        Hybrid.MetaVersion = 2;
        Hybrid.Private = true;
        std::string Bytes = TorrentBytes(Hybrid);
        // The root's extra keys, spliced in before "creation date".
        const std::string Extra = BStr("announce-list") +
                                  BList({BList({BStr("http://a.example/1"), BStr("udp://a.example:2")}),
                                         BList({BStr("http://b.example/3")})}) +
                                  BStr("comment") + BStr("https://example.org/x") + BStr("created by") +
                                  BStr("mktorrent 1.1");
        Bytes.insert(Bytes.find("13:creation date"), Extra);
        Bytes.insert(Bytes.size() - 1, BStr("url-list") + BStr("https://seed.example/files/"));
        TfrmContents* Contents = Open({Bytes});
        QCOMPARE(Contents->lblName->text(), QStringLiteral("example"));
        QCOMPARE(Contents->lblSize->text(), QStringLiteral("976.56 kB (1000000 байт)"));
        QCOMPARE(Contents->lblPieces->text(), QStringLiteral("4"));
        QCOMPARE(Contents->lblPieceLen->text(), QStringLiteral("262144 байт (256 kB)"));
        QCOMPARE(Contents->lblPrivate->text(), QStringLiteral("да"));
        QCOMPARE(Contents->lblCreated->text(),
                 QLocale().toString(QDateTime::fromSecsSinceEpoch(1700000000).toLocalTime(), QLocale::ShortFormat));
        QCOMPARE(Contents->lblCreatedBy->text(), QStringLiteral("mktorrent 1.1"));
        QCOMPARE(Contents->lblComment->WebTarget(), QStringLiteral("https://example.org/x"));
        QCOMPARE(Contents->edtHash->text(), FWindow->Entries()[0].Link.mid(20));
        QCOMPARE(Contents->edtHashV2->text(), HexDigest(InfoBytes(Hybrid), QCryptographicHash::Sha256));
        QCOMPARE(Contents->edtTrackers->toPlainText(),
                 QStringLiteral("Уровень 1\n    http://a.example/1\n    udp://a.example:2\nУровень 2\n"
                                "    http://b.example/3"));
        QCOMPARE(Contents->edtWebSeeds->toPlainText(), QStringLiteral("https://seed.example/files/"));
    }

    void hostileNames()
    {
        const std::string Rlo = "\xE2\x80\xAE";
        const std::string Bytes = Torrent(
            {{"name", BStr("raw name")},
             {"name.utf-8", BStr("evil" + Rlo + "fdp.exe")},
             {"files", BList({FileEntry({"<b>bold", "line\nbreak.txt"}, 4,
                                        {{"path.utf-8", BList({BStr("<b>bold"), BStr("x" + Rlo + "txt.exe")})}}),
                              FileEntry({"<i>", "\x01\xff.bin"}, 2)})}},
            {{"comment", BStr("<a href=\"https://evil.example\">click</a>")},
             {"created by", BStr("tool\xE2\x80\x8Fname")},
             {"announce-list", BList({BList({BStr("http://t.example/" + Rlo + "x")})})}});
        TfrmContents* Contents = Open({Bytes});
        const TContentsModel& Model = *Contents->FilesModel;
        QCOMPARE(RowNames(Model), (QStringList{"<b>bold", "<i>"}));
        // The UTF-8 path wins, its direction mark made visible.
        QCOMPARE(RowNames(Model, Find(Model, "<b>bold")), QStringList{"x<U+202E>txt.exe"});
        QCOMPARE(RowNames(Model, Find(Model, "<i>")), QStringList{QStringLiteral("<U+0001>\uFFFD.bin")});
        QCOMPARE(Contents->lblName->text(), QStringLiteral("evil<U+202E>fdp.exe"));
        QCOMPARE(Contents->lblCreatedBy->text(), QStringLiteral("tool<U+200F>name"));
        QVERIFY(Contents->lblComment->WebTarget().isEmpty());
        QCOMPARE(Contents->lblComment->text(), QStringLiteral("<a href=\"https://evil.example\">click</a>"));
        QVERIFY(Contents->edtTrackers->toPlainText().contains(QStringLiteral("http://t.example/<U+202E>x")));
        // Nothing of it is read as markup.
        for (QLabel* Label : std::initializer_list<QLabel*>{Contents->lblName, Contents->lblCreatedBy,
                                                            Contents->lblComment, Contents->lblCount})
            QCOMPARE(Label->textFormat(), Qt::PlainText);
        QCOMPARE(Contents->windowTitle(), QStringLiteral("Содержимое: t0.torrent"));
    }
};

QTEST_MAIN(TestContents)
#include "tst_Contents.moc"
