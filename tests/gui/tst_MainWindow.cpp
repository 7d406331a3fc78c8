// The main window driven through the platform double: loading by every way in,
// batches with failing files, auto-run, Run and Copy, Clear, the setting, drops,
// the details panel, untrusted texts and the layout.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>

#include "About.h"
#include "Contrast.h"
#include "PlatformQt.h"
#include "Exceptions.h"
#include "FakePlatform.h"
#include "TorrentMaker.h"
#include "frm_Main.h"

using namespace TorrentMaker;

namespace {

QString ReadAll(const QString& FileName)
{
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(File.readAll());
}

void WriteText(const QString& FileName, const QByteArray& Bytes)
{
    QFile File(FileName);
    QVERIFY(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
    File.write(Bytes);
}

QStringList Links(const TfrmKTZ& Window)
{
    QStringList Result;
    for (const TTorrentEntry& Entry : Window.Entries()) Result << Entry.Link;
    return Result;
}

QStringList Names(const TfrmKTZ& Window)
{
    QStringList Result;
    for (const TTorrentEntry& Entry : Window.Entries()) Result << Entry.FileName;
    return Result;
}

void SelectRow(TfrmKTZ& Window, int Row)
{
    Window.VST->setCurrentIndex(Window.VSTModel->index(Row, 0));
}

// Sends a drag over Target and drops the URLs there; true when the drag was taken.
bool Drop(QWidget* Target, const QList<QUrl>& Urls)
{
    QMimeData Data;
    Data.setUrls(Urls);
    const QPoint At = Target->rect().center();
    QDragEnterEvent Enter(At, Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Target, &Enter);
    if (!Enter.isAccepted()) return false;
    QDropEvent DropIt(QPointF(At), Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Target, &DropIt);
    return DropIt.isAccepted() && DropIt.dropAction() == Qt::CopyAction;
}

QList<QUrl> LocalUrls(const QStringList& Paths)
{
    QList<QUrl> Urls;
    for (const QString& Path : Paths) Urls << QUrl::fromLocalFile(Path);
    return Urls;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir* FFiles = nullptr;

    // A torrent in the test's folder.
    QString Make(const QString& Name, const TTorrentRecipe& Recipe = TTorrentRecipe())
    {
        return WriteTorrent(FFiles->path(), Name, Recipe);
    }
    QString MakeBytes(const QString& Name, const std::string& Bytes)
    {
        return WriteBytes(QDir(FFiles->path()).filePath(Name), Bytes);
    }
    QString Missing(const QString& Name) { return QDir(FFiles->path()).filePath(Name); }
    static TTorrentRecipe Named(const std::string& Name)
    {
        TTorrentRecipe Recipe;
        Recipe.Name = Name;
        return Recipe;
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // The resource's measures are those of an 8 pt desktop font; larger ones are
        // tried on their own.
        QFont Font = QApplication::font();
        Font.setPointSize(8);
        QApplication::setFont(Font);
    }
    void init() { FFiles = new QTemporaryDir(); }
    void cleanup()
    {
        delete FFiles;
        FFiles = nullptr;
    }

    void layout()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        QCOMPARE(W.windowTitle(), QStringLiteral("Velmora"));
        QCOMPARE(W.metaObject()->className(), "TfrmKTZ");
        QCOMPARE(W.size(), QSize(819, 657));
        QVERIFY(!W.windowIcon().isNull());

        QCOMPARE(W.ToolBar->height(), 29);
        const QList<QAction*> Tools = W.ToolBar->actions();
        QCOMPARE(Tools.size(), 3);
        QCOMPARE(Tools[0], W.btnOpen);
        QCOMPARE(Tools[1], W.btnClear);
        QCOMPARE(Tools[2], W.btnAbout);
        // The captions as they stand, the shortcut after them in the tool tip.
        QCOMPARE(W.btnOpen->text(), QStringLiteral("Открыть"));
        QCOMPARE(W.btnClear->text(), QStringLiteral("Очистить список"));
        QCOMPARE(W.btnAbout->text(), QStringLiteral("О программе"));
        QCOMPARE(W.btnOpen->toolTip(), QStringLiteral("Открыть (Ctrl+O)"));
        QCOMPARE(W.btnClear->toolTip(), QStringLiteral("Очистить список (Ctrl+Shift+Del)"));
        QCOMPARE(W.btnAbout->toolTip(), QStringLiteral("О программе (F1)"));
        QCOMPARE(W.ilTool.size(), 7);
        for (const QIcon& Icon : W.ilTool) QVERIFY(!Icon.pixmap(16, 16).isNull());

        QHeaderView* Header = W.VST->header();
        QCOMPARE(W.VSTModel->columnCount(), 2);
        QCOMPARE(W.VSTModel->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Файл"));
        QCOMPARE(W.VSTModel->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Магнитная ссылка"));
        QCOMPARE(Header->sectionSize(0), 380);
        QCOMPARE(Header->sectionSize(1), 400);
        QVERIFY(Header->sectionsMovable());
        QVERIFY(!Header->isHidden());
        QCOMPARE(W.VST->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(W.VST->selectionBehavior(), QAbstractItemView::SelectRows);

        QCOMPARE(W.pnBottom->height(), 164);
        QCOMPARE(W.pnAction->title(), QStringLiteral("Action"));
        // 185 wide, unless the desktop's face needs a few pixels more for the check box.
        QVERIFY(W.pnAction->width() >= 185 && W.pnAction->width() <= 200);
        QCOMPARE(W.chkAuto->text(), QStringLiteral("Запускать автоматически"));
        QCOMPARE(W.btnRun->text(), QStringLiteral("Запустить"));
        QCOMPARE(W.btnRun->geometry(), QRect(44 + (W.pnAction->width() - 185) / 2, 104, 75, 25));

        QCOMPARE(W.lblName->text(), QStringLiteral("Файл"));
        QVERIFY(W.lblName->font().bold());
        QCOMPARE(W.lblName->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
        QCOMPARE(W.lblTitle->text(), QStringLiteral("Название"));
        QCOMPARE(W.edtURI->text(), QStringLiteral("Магнитная ссылка"));
        QVERIFY(W.edtURI->isReadOnly());
        QCOMPARE(W.edtURI->height(), 21);
        QCOMPARE(W.lblSize->text(), QStringLiteral("Размер"));
        QCOMPARE(W.lblCount->text(), QStringLiteral("Файлов"));
        QCOMPARE(W.lblPieces->text(), QStringLiteral("Частей"));
        QCOMPARE(W.lblPieceLen->text(), QStringLiteral("Размер части"));
        QCOMPARE(W.lblAnons->text(), QStringLiteral("Источник"));
        QVERIFY(W.lblAnons->font().underline());
        QCOMPARE(W.lblStatus->text(), QStringLiteral("Ждём..."));
        QCOMPARE(W.lblStatus->width(), 100);
        QVERIFY(W.lblStatus->font().bold());
        QCOMPARE(W.pnText->text(), QString());

        const QList<QAction*> Items = W.pmVST->actions();
        QCOMPARE(Items.size(), 6);
        const QStringList Captions = {QStringLiteral("Копировать выделенное"),
                                      QStringLiteral("Сохранить как список (*.txt)"),
                                      QStringLiteral("Сохранить как HTML страницу"), QStringLiteral("Запустить")};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(Items[i]->text(), Captions[i]);
            QVERIFY(!Items[i]->icon().isNull());
        }
        QCOMPARE(Items[0], W.mmCopy);
        QCOMPARE(Items[1], W.mmAsList);
        QCOMPARE(Items[2], W.mmAsHTML);
        QCOMPARE(Items[3], W.mmRun);
        QVERIFY(Items[4]->isSeparator());
        QCOMPARE(Items[5]->text(), QStringLiteral("Выход"));
    }

    void detailLabelsArePlainText()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        for (QLabel* Label : {W.lblName, W.lblTitle, W.lblSize, W.lblCount, W.lblPieces, W.lblPieceLen,
                              static_cast<QLabel*>(W.lblAnons), W.pnText, W.lblStatus})
            QCOMPARE(Label->textFormat(), Qt::PlainText);
    }

    void commandLineLoading()
    {
        TFakePlatform Platform;
        TTorrentRecipe A = Named("first"), B = Named("second");
        B.PieceCount = 7;
        const QString PathA = Make("a.torrent", A), PathB = Make("b.torrent", B);
        TfrmKTZ W(Platform, {PathA, PathB});
        QCOMPARE(Names(W), QStringList({"a.torrent", "b.torrent"}));
        QCOMPARE(Links(W), QStringList({ExpectedLink(A), ExpectedLink(B)}));
        QCOMPARE(W.Entries()[1].PieceCount, 7);
        QCOMPARE(W.lblStatus->text(), QStringLiteral("Ждём..."));
        QVERIFY(Platform.Errors.isEmpty());
        QVERIFY(Platform.OpenedLinks.isEmpty());
    }

    void commandLineStopsAtUnopenableFile()
    {
        TFakePlatform Platform;
        const QString Gone = Missing("gone.torrent");
        TfrmKTZ W(Platform, {Make("a.torrent"), Gone, Make("c.torrent")});
        QCOMPARE(Names(W), QStringList({"a.torrent"}));
        QCOMPARE(Platform.Errors.size(), 1);
        QVERIFY2(Platform.Errors[0].startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(Gone)),
                 qPrintable(Platform.Errors[0]));
        QVERIFY(Platform.Errors[0].endsWith(u'.'));
    }

    void openDialog()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        const QStringList Files = {Make("one.torrent"), Make("two.TORRENT", Named("two")),
                                   Make("three.txt", Named("three"))};
        Platform.OpenAnswers << Files;
        QSignalSpy Inserted(W.VSTModel, &QAbstractItemModel::rowsInserted);
        W.btnOpen->trigger();
        QCOMPARE(Platform.OpenFilters, QStringList({"Torrent File (.torrent)|*.torrent"}));
        QCOMPARE(Names(W), QStringList({"one.torrent", "two.TORRENT", "three.txt"}));
        // The view learns of the batch's entries at the latest when it has loaded.
        QVERIFY(Inserted.size() >= 1 && Inserted.size() <= 3);
        QCOMPARE(W.VSTModel->rowCount(), 3);
        QVERIFY(Platform.Errors.isEmpty());

        Platform.OpenAnswers << QStringList();  // cancel
        W.btnOpen->trigger();
        QCOMPARE(W.Entries().size(), 3);
    }

    void unopenableFileEndsTheBatch()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        const QString Gone = Missing("gone.torrent");
        Platform.OpenAnswers << QStringList({Make("a.torrent"), Gone, Make("c.torrent")});
        W.btnOpen->trigger();
        QCOMPARE(Names(W), QStringList({"a.torrent"}));
        QCOMPARE(Platform.Errors.size(), 1);
        QVERIFY(Platform.Errors[0].startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(Gone)));
        QCOMPARE(W.lblStatus->text(), QStringLiteral("Ждём..."));

        // Called directly, AddVST raises for the caller to decide.
        QVERIFY_THROWS_EXCEPTION(EFOpenError, W.AddVST(Gone));
        QCOMPARE(W.lblStatus->text(), QStringLiteral("Ждём..."));
        QCOMPARE(W.Entries().size(), 1);

        // A folder cannot be opened either.
        const QString Folder = Missing("folder.d");
        QVERIFY(QDir().mkpath(Folder));
        QVERIFY_THROWS_EXCEPTION(EFOpenError, W.AddVST(Folder));
    }

    void refusedFilesAreReportedAndTheBatchGoesOn()
    {
        TFakePlatform Platform;
        WriteText(Platform.SettingsFile(), "[USER]\r\nAutoStart=1\r\n");
        TfrmKTZ W(Platform, {});
        QVERIFY(W.chkAuto->isChecked());
        const QString Garbage = MakeBytes("garbage.torrent", "this is no metainfo");
        const QString NoInfo = MakeBytes("noinfo.torrent", BDict({{"announce", BStr("http://t/a")}}));
        const QString NotDict = MakeBytes("list.torrent", BList({BInt(1)}));
        TTorrentRecipe A = Named("a"), C = Named("c");
        Platform.OpenAnswers << QStringList({Make("a.torrent", A), Garbage, NoInfo, NotDict, Make("c.torrent", C)});
        W.btnOpen->trigger();

        QCOMPARE(Names(W), QStringList({"a.torrent", "c.torrent"}));
        // Nothing of the refused files reaches the magnet handler.
        QCOMPARE(Platform.OpenedLinks, QStringList({ExpectedLink(A), ExpectedLink(C)}));
        QCOMPARE(Platform.Errors.size(), 3);
        QVERIFY(Platform.Errors[0].contains(Garbage));
        QVERIFY(Platform.Errors[0].contains(
            QStringLiteral("Error parsing file; does not appear to be valid bencoded metainfo")));
        QVERIFY(Platform.Errors[1].contains(NoInfo));
        QVERIFY(Platform.Errors[1].contains(QStringLiteral("Corrupt File: Missing \"info\" segment")));
        QVERIFY(Platform.Errors[2].contains(NotDict));
        QVERIFY(Platform.Errors[2].contains(QStringLiteral("Something bad happened")));
        QCOMPARE(W.lblStatus->text(), QStringLiteral("Ждём..."));
    }

    void torrentWithMessagesButHashIsAnEntry()
    {
        TFakePlatform Platform;
        TTorrentRecipe Recipe;
        Recipe.HasAnnounce = false;
        TfrmKTZ W(Platform, {Make("x.torrent", Recipe)});
        QCOMPARE(Links(W), QStringList({ExpectedLink(Recipe)}));
        QVERIFY(Platform.Errors.isEmpty());
    }

    void v2OnlyTorrentGetsItsSha256Link()
    {
        TFakePlatform Platform;
        TTorrentRecipe V2 = Named("v2");
        V2.MetaVersion = 2;
        V2.HasPieces = false;
        TTorrentRecipe Hybrid = Named("hybrid");
        Hybrid.MetaVersion = 2;
        TfrmKTZ W(Platform, {Make("v2.torrent", V2), Make("hybrid.torrent", Hybrid)});
        QVERIFY(Platform.Errors.isEmpty());
        QCOMPARE(Links(W), QStringList({ExpectedLink(V2), ExpectedLink(Hybrid)}));
        QVERIFY(W.Entries()[0].Link.startsWith(QStringLiteral("magnet:?xt=urn:btmh:1220")));
        QVERIFY(W.Entries()[1].Link.startsWith(QStringLiteral("magnet:?xt=urn:btih:")));
    }

    void extensionRule()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        W.lblStatus->setText(QStringLiteral("marker"));
        W.AddVST(QStringLiteral("?"));
        W.AddVST(QString());
        W.AddVST(Make("noextension"));
        // A point in a folder's name is no extension of the file.
        QVERIFY(QDir().mkpath(Missing("a.b")));
        W.AddVST(Make("a.b/file"));
        QCOMPARE(W.lblStatus->text(), QStringLiteral("marker"));
        QCOMPARE(W.Entries().size(), 0);
        QVERIFY(Platform.Errors.isEmpty());

        // A name ending in a point has the extension "." and is loaded; so are names
        // with a backslash or a colon, ordinary characters here.
        W.AddVST(Make("point."));
        W.AddVST(Make("back\\slash:colon.torrent"));
        QCOMPARE(Names(W), QStringList({"point.", "back\\slash:colon.torrent"}));
    }

    void sameFileTwiceGivesTwoEqualEntries()
    {
        TFakePlatform Platform;
        const QString Path = Make("same.torrent");
        TfrmKTZ W(Platform, {Path, Path});
        QCOMPARE(W.Entries().size(), 2);
        QCOMPARE(W.Entries()[0].Link, W.Entries()[1].Link);
        QCOMPARE(W.Entries()[0].FileName, W.Entries()[1].FileName);
    }

    void entryFields()
    {
        TFakePlatform Platform;
        TTorrentRecipe Multi;
        Multi.Name = "Сборник";
        Multi.Comment = "Комментарий";
        Multi.Encoding = "UTF-8";
        Multi.Private = true;
        Multi.PieceLength = 262144;
        Multi.PieceCount = 3;
        Multi.Files = {{{"a", "b.txt"}, 10}, {{"c.txt"}, 5}};
        TTorrentRecipe Single = Named("movie.avi");
        Single.Length = 700;
        TfrmKTZ W(Platform, {Make("multi.torrent", Multi), Make("single.torrent", Single)});
        QCOMPARE(W.Entries().size(), 2);

        const TTorrentEntry& M = W.Entries()[0];
        QCOMPARE(M.Title, QStringLiteral("Сборник"));
        QCOMPARE(M.Comment, QStringLiteral("Комментарий"));  // the ANSI code page is UTF-8 here
        QCOMPARE(M.Encoding, QStringLiteral("UTF-8"));
        QCOMPARE(M.Private, QStringLiteral("Private"));
        QCOMPARE(M.FileCount, 2);
        QCOMPARE(M.Size, 15);
        QCOMPARE(M.PieceLength, 262144);
        QCOMPARE(M.PieceCount, 3);
        QCOMPARE(M.FileList, QStringLiteral("a\\b.txt\r\nc.txt\r\n"));
        QCOMPARE(M.Link.size(), 60);

        const TTorrentEntry& S = W.Entries()[1];
        QCOMPARE(S.FileCount, 1);
        QCOMPARE(S.Size, 700);
        QCOMPARE(S.FileList, QString());
        QCOMPARE(S.Private, QString());
        QCOMPARE(S.Encoding, QString());
        QCOMPARE(S.Comment, QString());
    }

    void malformedUtf8TitleIsReplaced()
    {
        TFakePlatform Platform;
        TTorrentRecipe Recipe = Named("bad\xFFname");
        TfrmKTZ W(Platform, {Make("bad.torrent", Recipe)});
        QCOMPARE(W.Entries()[0].Title, QStringLiteral("bad\uFFFDname"));
    }

    void detailsPanel()
    {
        TFakePlatform Platform;
        TTorrentRecipe Recipe;
        Recipe.Name = "Фильм";
        Recipe.Comment = "https://example.org/about";
        Recipe.Encoding = "UTF-8";
        Recipe.PieceLength = 262144;
        Recipe.PieceCount = 6;
        Recipe.Length = 1536;
        TfrmKTZ W(Platform, {Make("film.torrent", Recipe), Make("other.torrent")});
        // The first entry becomes current, and so is shown; later ones leave the panel.
        QCOMPARE(W.VST->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(W.VST->currentIndex().row(), 0);
        QCOMPARE(W.lblName->text(), QStringLiteral("film.torrent"));
        QCOMPARE(W.lblTitle->text(), QStringLiteral("Название: Фильм"));
        QCOMPARE(W.edtURI->text(), ExpectedLink(Recipe));
        QCOMPARE(W.lblSize->text(), QStringLiteral("Размер: 1.50 kB"));
        QCOMPARE(W.lblCount->text(), QStringLiteral("Файлов: 1"));
        QCOMPARE(W.lblPieces->text(), QStringLiteral("Частей: 6"));
        QCOMPARE(W.lblPieceLen->text(), QStringLiteral("Размер части: 262144 байт (256 kB)"));
        QCOMPARE(W.lblAnons->text(), QStringLiteral("https://example.org/about"));
        QCOMPARE(W.lblAnons->Target(), QStringLiteral("https://example.org/about"));
        QCOMPARE(W.pnText->text(), QStringLiteral("UTF-8"));

        SelectRow(W, 1);
        QCOMPARE(W.lblName->text(), QStringLiteral("other.torrent"));
        QCOMPARE(W.pnText->text(), QString());
        QCOMPARE(W.VST->selectionModel()->selectedRows().size(), 1);

        // The columns keep their content wherever they stand.
        W.VST->header()->moveSection(0, 1);
        QCOMPARE(W.VSTModel->index(0, 0).data().toString(), QStringLiteral("film.torrent"));
        QCOMPARE(W.VSTModel->index(0, 1).data().toString(), ExpectedLink(Recipe));
    }

    void autoRunOn()
    {
        TFakePlatform Platform;
        WriteText(Platform.SettingsFile(), "[USER]\r\nAutoStart=1\r\n");
        TfrmKTZ W(Platform, {});
        QVERIFY(W.chkAuto->isChecked());
        TTorrentRecipe A = Named("a"), B = Named("b"), C = Named("c");
        QList<qsizetype> EntriesAtRun;
        QStringList StatusAtRun;
        Platform.OnOpenLink = [&](const QString&) {
            EntriesAtRun << W.Entries().size();
            StatusAtRun << W.lblStatus->text();
        };
        Platform.OpenAnswers << QStringList({Make("a.torrent", A), Make("b.torrent", B), Make("c.torrent", C)});
        W.btnOpen->trigger();
        QCOMPARE(Platform.OpenedLinks, QStringList({ExpectedLink(A), ExpectedLink(B), ExpectedLink(C)}));
        // Each link goes to the desktop once its entry is in the list, while loading.
        QCOMPARE(EntriesAtRun, QList<qsizetype>({1, 2, 3}));
        QCOMPARE(StatusAtRun, QStringList(3, QStringLiteral("Работаем...")));
        QCOMPARE(W.lblStatus->text(), QStringLiteral("Ждём..."));

        // Unticking affects the next file loaded.
        W.chkAuto->setChecked(false);
        W.AddVST(Make("d.torrent"));
        QCOMPARE(Platform.OpenedLinks.size(), 3);
    }

    // The full-link switch changes every place a link is used at once, and the
    // warning shows while the shown entry's link in use names no tracker.
    void fullLinkSwitch()
    {
        TFakePlatform Platform;
        QTemporaryDir DataHome;
        qputenv("XDG_DATA_HOME", DataHome.path().toUtf8());  // only the program's templates
        WriteText(Platform.Folder + QStringLiteral("fls/template.tpl"), "{CONTENT}");
        WriteText(Platform.Folder + QStringLiteral("fls/mid.tpl"), "{LINK}|{WARNING}");
        TTorrentRecipe Open = Named("open one"), Private = Named("p"), Lone = Named("lone");
        Private.Private = Lone.Private = true;
        Lone.HasAnnounce = false;
        const QString Tracker = QStringLiteral("&tr=http%3a%2f%2ftracker.example.org%2fannounce");
        const QStringList Bare = {ExpectedLink(Open), ExpectedLink(Private), ExpectedLink(Lone)};
        const QStringList Full = {ExpectedLink(Open) + "&dn=open%20one" + Tracker,
                                  ExpectedLink(Private) + "&dn=p" + Tracker, ExpectedLink(Lone) + "&dn=lone"};
        const QString Warning = QStringLiteral("Закрытый торрент: без трекера в ссылке пиров не найти");

        TfrmKTZ W(Platform, {Make("o.torrent", Open), Make("p.torrent", Private), Make("l.torrent", Lone)});
        W.SetExportNameQuestion([](QWidget*) { return QStringLiteral("x"); });
        QCOMPARE(W.chkFull->text(), QStringLiteral("Добавлять имя и трекеры"));
        QVERIFY(!W.chkFull->isChecked());
        QVERIFY(W.chkAuto->geometry().bottom() < W.chkFull->geometry().top());
        QVERIFY(W.chkFull->geometry().bottom() < W.btnRun->geometry().top());
        const QList<QWidget*> Panes = W.StatusBar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(Panes.indexOf(W.pnText) < Panes.indexOf(W.pnWarning));

        const QString ListFile = FFiles->filePath("links.txt"), PageFile = FFiles->filePath("page.html");
        // Everything that shows or uses the link of row Row, in both exports too.
        auto Check = [&](const QStringList& Links, int Row, bool Warned) {
            for (int k = 0; k < Links.size(); ++k) QCOMPARE(W.VSTModel->index(k, 1).data().toString(), Links[k]);
            QString Cell;
            W.VSTGetText(&W.Entries()[Row], 1, Cell);
            QCOMPARE(Cell, Links[Row]);
            QCOMPARE(W.edtURI->text(), Links[Row]);
            QCOMPARE(W.edtURI->toolTip(), Warned ? Warning : QString());
            QCOMPARE(W.pnWarning->text(), Warned ? Warning : QString());
            Platform.OpenedLinks.clear();
            Platform.Copied.clear();
            W.btnRun->click();
            W.mmCopy->trigger();
            QCOMPARE(Platform.OpenedLinks, QStringList{Links[Row]});
            QCOMPARE(Platform.Copied, QStringList{Links[Row]});
            Platform.SaveAnswers << ListFile << PageFile;
            W.mmAsListClick();
            W.mmAsHTMLClick();
            QCOMPARE(ReadAll(ListFile), Links.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
            const QString Page = ReadAll(PageFile);
            QVERIFY2(Page.contains(QString(Links[Row]).replace(QStringLiteral("&"), QStringLiteral("&amp;")) + u'|' +
                                   (Warned ? Warning : QString()) + QStringLiteral("\r\n")),
                     qPrintable(Page));
        };
        SelectRow(W, 1);
        Check(Bare, 1, true);  // private: the bare link names no tracker
        W.chkFull->setChecked(true);
        Check(Full, 1, false);
        SelectRow(W, 2);
        Check(Full, 2, true);  // private, and no tracker at all
        SelectRow(W, 0);
        Check(Full, 0, false);
        W.chkFull->setChecked(false);
        Check(Bare, 0, false);  // off: as before the switch existed

        // Auto-run hands over the link in use.
        W.chkFull->setChecked(true);
        W.chkAuto->setChecked(true);
        Platform.OpenedLinks.clear();
        W.AddVST(Make("p2.torrent", Private));
        QCOMPARE(Platform.OpenedLinks, QStringList{Full[1]});
        qunsetenv("XDG_DATA_HOME");
    }

    void autoRunOff()
    {
        TFakePlatform Platform;
        WriteText(Platform.SettingsFile(), "[USER]\r\nAutoStart=0\r\n");
        TfrmKTZ W(Platform, {Make("a.torrent"), Make("b.torrent")});
        QVERIFY(!W.chkAuto->isChecked());
        QCOMPARE(W.Entries().size(), 2);
        QVERIFY(Platform.OpenedLinks.isEmpty());
    }

    void runAndCopyBeforeAnyEntry()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        W.btnRun->click();
        W.mmRun->trigger();
        QVERIFY(Platform.OpenedLinks.isEmpty());  // the field holds a caption, no link
        W.mmCopy->trigger();
        QCOMPARE(Platform.Copied, QStringList({"Магнитная ссылка"}));
    }

    void runAndCopyAfterClear()
    {
        TFakePlatform Platform;
        TTorrentRecipe A = Named("a"), B = Named("b");
        TfrmKTZ W(Platform, {Make("a.torrent", A), Make("b.torrent", B)});
        SelectRow(W, 1);
        W.btnClear->trigger();
        QCOMPARE(W.Entries().size(), 0);
        QCOMPARE(W.VSTModel->rowCount(), 0);
        // The panel keeps what it showed; Run and Copy use its link.
        QCOMPARE(W.lblName->text(), QStringLiteral("b.torrent"));
        QCOMPARE(W.edtURI->text(), ExpectedLink(B));
        W.btnRun->click();
        W.mmRun->trigger();
        QCOMPARE(Platform.OpenedLinks, QStringList({ExpectedLink(B), ExpectedLink(B)}));
        W.mmCopy->trigger();
        QCOMPARE(Platform.Copied, QStringList({ExpectedLink(B)}));
        QCOMPARE(W.edtURI->selectedText(), ExpectedLink(B));  // stays selected

        // The list fills again after a clear.
        W.AddVST(Make("c.torrent"));
        QCOMPARE(Names(W), QStringList({"c.torrent"}));
    }

    // The window opens with the focus in the list, whose first entry becomes current
    // once there is one, however the entries arrive.
    void startsInTheList_data()
    {
        QTest::addColumn<QString>("Way");
        QTest::addColumn<int>("Current");  // -1: no current row
        QTest::newRow("empty") << "none" << -1;
        QTest::newRow("command line") << "command line" << 0;
        QTest::newRow("opened after the start") << "open" << 0;
        QTest::newRow("loaded again after a clear") << "clear" << 0;
        QTest::newRow("a later file leaves the current row") << "later" << 0;
    }

    void startsInTheList()
    {
        QFETCH(QString, Way);
        QFETCH(int, Current);
        TFakePlatform Platform;
        const TTorrentRecipe A = Named("a"), B = Named("b");
        const QStringList Files = {Make("a.torrent", A), Make("b.torrent", B)};
        TfrmKTZ W(Platform, Way == u"command line" ? Files : QStringList());
        W.show();
        QVERIFY(QTest::qWaitForWindowActive(&W));
        QCOMPARE(QApplication::focusWidget(), W.VST);
        if (Way == u"open" || Way == u"clear" || Way == u"later") {
            Platform.OpenAnswers << Files;
            W.btnOpen->trigger();
        }
        if (Way == u"clear") {
            W.btnClear->trigger();
            Platform.OpenAnswers << QStringList({Files[1], Files[0]});
            W.btnOpen->trigger();
        }
        if (Way == u"later") W.AddVST(Make("c.torrent"));
        QCOMPARE(W.VST->currentIndex().row(), Current);
        QCOMPARE(QApplication::focusWidget(), W.VST);
        // Copy from the keyboard at once takes the current entry's link.
        QTest::keyClick(W.VST, Qt::Key_C, Qt::ControlModifier);
        const QString First = Way == u"clear" ? ExpectedLink(B) : ExpectedLink(A);
        QCOMPARE(Platform.Copied, QStringList(Current < 0 ? QStringLiteral("Магнитная ссылка") : First));
    }

    // Every command from the keyboard: the key, where the focus is, what it did.
    void shortcuts_data()
    {
        QTest::addColumn<int>("Key");
        QTest::addColumn<int>("Modifiers");
        QTest::addColumn<QString>("Focus");  // "list" or "check box"
        QTest::addColumn<QString>("Does");
        const int Ctrl = Qt::ControlModifier, Shift = Qt::ShiftModifier, None = Qt::NoModifier;
        QTest::newRow("Ctrl+O opens") << int(Qt::Key_O) << Ctrl << "check box"
                                      << "open";
        QTest::newRow("Ctrl+Shift+Del clears") << int(Qt::Key_Delete) << (Ctrl | Shift) << "list"
                                               << "clear";
        QTest::newRow("F1 shows About") << int(Qt::Key_F1) << None << "list"
                                        << "about";
        QTest::newRow("Ctrl+C in the list copies the link") << int(Qt::Key_C) << Ctrl << "list"
                                                            << "copy";
        QTest::newRow("Ctrl+C elsewhere is not the list's") << int(Qt::Key_C) << Ctrl << "check box"
                                                            << "nothing";
        QTest::newRow("Return runs") << int(Qt::Key_Return) << None << "list"
                                     << "run";
        QTest::newRow("Enter runs") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "list"
                                    << "run";
        QTest::newRow("Ctrl+Return runs") << int(Qt::Key_Return) << Ctrl << "list"
                                          << "run";
        QTest::newRow("Ctrl+Enter runs") << int(Qt::Key_Enter) << int(Ctrl | Qt::KeypadModifier) << "list"
                                         << "run";
        QTest::newRow("Ctrl+S saves the list") << int(Qt::Key_S) << Ctrl << "check box"
                                               << "save list";
        QTest::newRow("Ctrl+Shift+S saves the page") << int(Qt::Key_S) << (Ctrl | Shift) << "list"
                                                     << "save page";
        QTest::newRow("Ctrl+Q leaves") << int(Qt::Key_Q) << Ctrl << "check box"
                                       << "exit";
        QTest::newRow("Shift+F10 opens the menu") << int(Qt::Key_F10) << Shift << "list"
                                                  << "menu";
    }

    void shortcuts()
    {
        QFETCH(int, Key);
        QFETCH(int, Modifiers);
        QFETCH(QString, Focus);
        QFETCH(QString, Does);
        TFakePlatform Platform;
        WriteText(Platform.Folder + QStringLiteral("fls/template.tpl"), "{CONTENT}");
        WriteText(Platform.Folder + QStringLiteral("fls/mid.tpl"), "{LINK}");
        const TTorrentRecipe A = Named("a"), B = Named("b");
        TfrmKTZ W(Platform, {Make("a.torrent", A), Make("b.torrent", B)});
        W.SetExportNameQuestion([](QWidget*) { return QStringLiteral("n"); });
        W.show();
        QVERIFY(QTest::qWaitForWindowActive(&W));
        SelectRow(W, 1);
        W.VST->setCurrentIndex(W.VSTModel->index(1, 0));  // the file name's cell is current
        QWidget* Target = Focus == u"list" ? static_cast<QWidget*>(W.VST) : W.chkAuto;
        Target->setFocus();
        QCOMPARE(QApplication::focusWidget(), Target);

        bool AboutShown = false;
        if (Does == u"about")
            QTimer::singleShot(0, [&] {
                auto* About = dynamic_cast<TAboutBox*>(QApplication::activeModalWidget());
                AboutShown = About != nullptr;
                if (About) About->OKButtonClick();
            });
        QTest::keyClick(Target, Qt::Key(Key), Qt::KeyboardModifiers(Modifiers));
        const bool MenuShown = W.pmVST->isVisible();
        W.pmVST->hide();

        QCOMPARE(Platform.OpenFilters.size(), Does == u"open" ? 1 : 0);
        QCOMPARE(W.Entries().size(), Does == u"clear" ? 0 : 2);
        QCOMPARE(AboutShown, Does == u"about");
        QCOMPARE(Platform.Copied, Does == u"copy" ? QStringList({ExpectedLink(B)}) : QStringList());
        QCOMPARE(Platform.OpenedLinks, Does == u"run" ? QStringList({ExpectedLink(B)}) : QStringList());
        QStringList Saved;
        if (Does == u"save list") Saved << QString::fromUtf8(SaveDialogFilter);
        if (Does == u"save page") Saved << QStringLiteral("HTML файл (.html)|*.html");
        QCOMPARE(Platform.SaveFilters, Saved);
        QCOMPARE(W.isVisible(), Does != u"exit");
        QCOMPARE(Platform.SettingWrites, Does == u"exit" ? 2 : 0);  // AutoStart and FullLink, on closing
        QCOMPARE(MenuShown, Does == u"menu");
        QVERIFY(Platform.Errors.isEmpty());
    }

    // The menu items show their keys, as the tool tips do.
    void menuShowsShortcuts()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        QCOMPARE(W.mmCopy->shortcut(), QKeySequence(QKeySequence::Copy));
        QCOMPARE(W.mmAsList->shortcut(), QKeySequence(QKeySequence::Save));
        QCOMPARE(W.mmAsHTML->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+S")));
        QCOMPARE(W.mmRun->shortcut(), QKeySequence(Qt::Key_Return));
        QCOMPARE(W.N2->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QCOMPARE(W.mmCopy->text(), QStringLiteral("Копировать выделенное"));
        QCOMPARE(W.btnRun->toolTip(), QStringLiteral("Запустить (Return)"));
    }

    // With the desktop's clipboard: Ctrl+C in the list puts the entry's link there,
    // not the text of the current cell.
    void copyKeyPutsTheLinkOnTheClipboard()
    {
        TQtPlatform Platform;
        const TTorrentRecipe A = Named("a");
        TfrmKTZ W(Platform, {Make("a.torrent", A)});
        W.show();
        QVERIFY(QTest::qWaitForWindowActive(&W));
        SelectRow(W, 0);
        W.VST->setFocus();
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(W.VST, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), ExpectedLink(A));
    }

    // When the desktop reports that a link found no program, the status bar says so
    // for a few seconds; Run itself has long returned.
    void linkWithoutProgram_data()
    {
        QTest::addColumn<QString>("Comment");
        QTest::addColumn<bool>("ByRun");
        QTest::addColumn<QString>("Note");
        QTest::newRow("Run") << QString() << true << "Нет программы для магнитных ссылок";
        QTest::newRow("comment link") << "https://example.org/" << false << "Ссылку не открыть: нет программы для неё";
    }

    void linkWithoutProgram()
    {
        QFETCH(QString, Comment);
        QFETCH(bool, ByRun);
        QFETCH(QString, Note);
        TFakePlatform Platform;
        TTorrentRecipe Recipe;
        Recipe.Comment = Comment.toStdString();
        TfrmKTZ W(Platform, {Make("a.torrent", Recipe)});
        W.show();
        QVERIFY(QTest::qWaitForWindowActive(&W));
        SelectRow(W, 0);
        W.VST->setFocus();
        QString Handed;
        Platform.OnOpenLink = [&](const QString& Link) { Handed = Link; };
        if (ByRun)
            QTest::keyClick(W.VST, Qt::Key_Return);
        else
            W.lblAnons->Click();
        QVERIFY(!Handed.isEmpty());
        QVERIFY(!W.lblNote->isVisible());
        Platform.LinkFailed(Handed);  // as the desktop does once xdg-open has ended
        QCOMPARE(W.lblNote->text(), Note);
        QVERIFY(W.lblNote->isVisible());
        QVERIFY(W.pnText->isVisible() && W.lblStatus->isVisible());  // beside the panes, not over them
        QVERIFY(Platform.Errors.isEmpty());                          // no box in the way
        W.ShowStatusNote(QStringLiteral("short"), 30);
        QTRY_VERIFY(!W.lblNote->isVisible());
    }

    // WCAG contrast of the two coloured labels on the window colour, with the palette
    // given before the window is built and changed while it is open.
    void readableColours_data()
    {
        QTest::addColumn<QColor>("Window");
        QTest::addColumn<QColor>("Link");
        QTest::addColumn<bool>("Light");
        QTest::newRow("light") << QColor(0xef, 0xef, 0xef) << QColor(0x00, 0x00, 0xff) << true;
        QTest::newRow("white") << QColor(Qt::white) << QColor(0x00, 0x66, 0xcc) << true;
        QTest::newRow("Adwaita dark") << QColor(0x35, 0x35, 0x35) << QColor(0x2a, 0x82, 0xda) << false;
        QTest::newRow("dark, default blue link") << QColor(0x20, 0x20, 0x20) << QColor(0x00, 0x00, 0xff) << false;
        QTest::newRow("black") << QColor(Qt::black) << QColor(0x00, 0x00, 0x80) << false;
        QTest::newRow("mid grey") << QColor(0x80, 0x80, 0x80) << QColor(0x80, 0x80, 0xff) << false;
    }

    void readableColours()
    {
        QFETCH(QColor, Window);
        QFETCH(QColor, Link);
        QFETCH(bool, Light);
        QPalette Palette = QApplication::palette();
        Palette.setColor(QPalette::Window, Window);
        Palette.setColor(QPalette::Link, Link);
        Palette.setColor(QPalette::LinkVisited, Link.darker(130));
        auto Check = [&](TfrmKTZ& W) {
            const QColor Shown = W.pnAnons->palette().color(QPalette::Window);
            QCOMPARE(Shown, Window);
            const QColor Name = W.lblName->palette().color(W.lblName->foregroundRole());
            QVERIFY2(ContrastRatio(Name, Shown) >= MinTextContrast, qPrintable(Name.name()));
            if (Light) QCOMPARE(Name, QColor(0, 0, 0x80));
            for (const QPalette::ColorRole Role : {QPalette::Link, QPalette::LinkVisited}) {
                const QColor Comment = W.lblAnons->palette().color(Role);
                QVERIFY2(ContrastRatio(Comment, Shown) >= MinTextContrast, qPrintable(Comment.name()));
            }
        };
        {
            const QPalette Desktop = QApplication::palette();
            QApplication::setPalette(Palette);
            TFakePlatform Platform;
            TfrmKTZ W(Platform, {});
            Check(W);
            QApplication::setPalette(Desktop);
        }
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        W.setPalette(Palette);
        Check(W);
    }

    void contrastRatio_data()
    {
        QTest::addColumn<QColor>("A");
        QTest::addColumn<QColor>("B");
        QTest::addColumn<double>("Ratio");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << 21.0;
        QTest::newRow("the same") << QColor(0x35, 0x35, 0x35) << QColor(0x35, 0x35, 0x35) << 1.0;
        QTest::newRow("#777 on white") << QColor(0x77, 0x77, 0x77) << QColor(Qt::white) << 4.48;
        QTest::newRow("navy on white, either order") << QColor(Qt::white) << QColor(0, 0, 0x80) << 16.0;
        QTest::newRow("navy on dark grey") << QColor(0, 0, 0x80) << QColor(0x35, 0x35, 0x35) << 1.3;
    }

    void contrastRatio()
    {
        QFETCH(QColor, A);
        QFETCH(QColor, B);
        QFETCH(double, Ratio);
        QVERIFY2(qAbs(ContrastRatio(A, B) - Ratio) < 0.05, qPrintable(QString::number(ContrastRatio(A, B))));
    }

    // A larger desktop font grows the fixed measures: no text is cut and the details
    // keep their order from top to bottom.
    void largerFonts_data()
    {
        QTest::addColumn<int>("Points");
        QTest::newRow("8 pt") << 8;
        QTest::newRow("11 pt") << 11;
        QTest::newRow("14 pt") << 14;
        QTest::newRow("6 pt is taken as 8") << 6;
    }

    void largerFonts()
    {
        QFETCH(int, Points);
        const QFont Saved = QApplication::font();
        QFont Font = Saved;
        Font.setPointSize(Points);
        QApplication::setFont(Font);
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        W.show();
        QVERIFY(QTest::qWaitForWindowExposed(&W));
        QApplication::setFont(Saved);
        QCOMPARE(W.font().pointSize(), std::max(8, Points));
        auto Fits = [](QWidget* Widget, const QString& Text, int Extra) {
            const QFontMetrics Metrics(Widget->font());
            QVERIFY2(Widget->height() >= Metrics.height(), qPrintable(Widget->objectName()));
            QVERIFY2(Widget->width() >= Metrics.horizontalAdvance(Text) + Extra, qPrintable(Widget->objectName()));
        };
        Fits(W.chkAuto, W.chkAuto->text(), 16);
        Fits(W.btnRun, W.btnRun->text(), 8);
        Fits(W.edtURI, QStringLiteral("Mg"), 0);
        Fits(W.lblStatus, QStringLiteral("Работаем..."), 0);
        QVERIFY(W.chkAuto->geometry().right() < W.pnAction->width());
        QVERIFY(W.btnRun->geometry().bottom() < W.pnAction->height());
        QVERIFY(W.btnRun->geometry().top() > W.chkAuto->geometry().bottom());
        int Top = -1;
        for (QWidget* Line :
             {static_cast<QWidget*>(W.lblName), static_cast<QWidget*>(W.lblTitle), static_cast<QWidget*>(W.edtURI),
              static_cast<QWidget*>(W.lblSize), static_cast<QWidget*>(W.lblCount), static_cast<QWidget*>(W.lblPieces),
              static_cast<QWidget*>(W.lblPieceLen), static_cast<QWidget*>(W.lblAnons)}) {
            QVERIFY2(Line->geometry().top() > Top, qPrintable(Line->objectName()));
            QVERIFY2(Line->height() >= Line->fontMetrics().height(), qPrintable(Line->objectName()));
            QVERIFY2(Line->geometry().bottom() < W.pnAnons->height(), qPrintable(Line->objectName()));
            Top = Line->geometry().bottom();
        }
        if (Points <= 8) {
            QCOMPARE(W.pnBottom->height(), 164);
            QCOMPARE(W.btnRun->size(), QSize(75, 25));
            QCOMPARE(W.btnRun->y(), 104);
        }
    }

    void settingRead_data()
    {
        QTest::addColumn<QByteArray>("File");
        QTest::addColumn<bool>("Checked");
        QTest::newRow("1") << QByteArray("[USER]\r\nAutoStart=1\r\n") << true;
        QTest::newRow("0") << QByteArray("[USER]\r\nAutoStart=0\r\n") << false;
        QTest::newRow("2") << QByteArray("[USER]\r\nAutoStart=2\r\n") << true;
        QTest::newRow("0x1") << QByteArray("[USER]\r\nAutoStart=0x1\r\n") << true;
        QTest::newRow("0X1f") << QByteArray("[USER]\r\nAutoStart=0X1f\r\n") << true;
        QTest::newRow("0x0") << QByteArray("[USER]\r\nAutoStart=0x0\r\n") << false;
        QTest::newRow("-1") << QByteArray("[USER]\r\nAutoStart=-1\r\n") << true;
        QTest::newRow("yes") << QByteArray("[USER]\r\nAutoStart=yes\r\n") << false;
        QTest::newRow("nothing") << QByteArray("[USER]\r\nAutoStart=\r\n") << false;
        QTest::newRow("other case") << QByteArray("[user]\nautostart = 1\n") << true;
        QTest::newRow("other section") << QByteArray("[OTHER]\r\nAutoStart=1\r\n") << false;
        QTest::newRow("empty file") << QByteArray() << false;
    }

    void settingRead()
    {
        QFETCH(QByteArray, File);
        QFETCH(bool, Checked);
        TFakePlatform Platform;
        WriteText(Platform.SettingsFile(), File);
        TfrmKTZ W(Platform, {});
        QCOMPARE(W.chkAuto->isChecked(), Checked);
        QVERIFY(!W.chkFull->isChecked());

        // "FullLink" beside it follows the same rule.
        WriteText(Platform.SettingsFile(),
                  QString::fromUtf8(File)
                      .replace(QStringLiteral("AutoStart"), QStringLiteral("FullLink"), Qt::CaseInsensitive)
                      .toUtf8());
        TfrmKTZ Full(Platform, {});
        QCOMPARE(Full.chkFull->isChecked(), Checked);
        QVERIFY(!Full.chkAuto->isChecked());
    }

    void settingMissingFileStartsUnchecked()
    {
        TFakePlatform Platform;
        QVERIFY(!QFile::exists(Platform.SettingsFile()));
        TfrmKTZ W(Platform, {});
        QVERIFY(!W.chkAuto->isChecked());  // although the resource has it checked
        QCOMPARE(W.ProgramFolder(), Platform.Folder);
        QCOMPARE(W.SettingsFileName(), Platform.SettingsFile());
    }

    void settingWrittenOnClose()
    {
        TFakePlatform Platform;
        {
            TfrmKTZ W(Platform, {});
            W.show();
            W.chkAuto->setChecked(true);
            W.close();  // the close box
        }
        QCOMPARE(ReadAll(Platform.SettingsFile()), QStringLiteral("[USER]\r\nAutoStart=1\r\nFullLink=0\r\n"));

        // Read back as checked; written "1" whatever number stood there; the rest of
        // the file stays as it was.
        WriteText(Platform.SettingsFile(), "; settings\n[Other]\nKey=Value\n[user]\nautostart=2\nMore=x\n");
        {
            TfrmKTZ W(Platform, {});
            QVERIFY(W.chkAuto->isChecked());
            W.show();
            W.N2->trigger();  // Выход
            QVERIFY(!W.isVisible());
        }
        QCOMPARE(ReadAll(Platform.SettingsFile()),
                 QStringLiteral("; settings\n[Other]\nKey=Value\n[user]\nautostart=1\nMore=x\nFullLink=0\n"));

        {
            TfrmKTZ W(Platform, {});
            W.chkAuto->setChecked(false);
            W.chkFull->setChecked(true);
            W.close();
        }
        QVERIFY(ReadAll(Platform.SettingsFile()).contains(QStringLiteral("autostart=0\n")));
        QVERIFY(ReadAll(Platform.SettingsFile()).contains(QStringLiteral("FullLink=1\n")));
    }

    void settingUnwritableStillCloses()
    {
        TFakePlatform Platform(false);  // no "fls" folder beside the program
        TfrmKTZ W(Platform, {});
        W.show();
        QVERIFY(QTest::qWaitForWindowExposed(&W));
        W.close();
        QVERIFY(!W.isVisible());
        QCOMPARE(Platform.Errors,
                 QStringList({QStringLiteral("Unable to write to %1fls/sets.ini.").arg(Platform.Folder)}));
        QVERIFY(!QDir(Platform.Folder + QStringLiteral("fls")).exists());  // the folder is not made
    }

    // A program folder the user may not write to, as a system-wide install: the
    // setting lives in the user's config folder, starting from the program's value.
    void settingInTheUsersConfigFolder()
    {
        QTemporaryDir Home;
        const QString Config = Home.path() + QStringLiteral("/.config");
        const QByteArray OldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Config));
        TFakePlatform Platform;
        Platform.ReadOnlyFolders << Platform.Folder + QStringLiteral("fls");
        const QString ProgramFile = Platform.SettingsFile(), UserFile = Config + QStringLiteral("/velmora/sets.ini");
        WriteText(ProgramFile, "[USER]\r\nAutoStart=1\r\n");
        {
            TfrmKTZ W(Platform, {});
            QCOMPARE(W.SettingsFileName(), UserFile);
            QVERIFY(W.chkAuto->isChecked());  // taken over from the program folder
            W.show();
            W.close();
        }
        QCOMPARE(ReadAll(UserFile), QStringLiteral("[USER]\r\nAutoStart=1\r\nFullLink=0\r\n"));
        QCOMPARE(QFileInfo(Config + QStringLiteral("/velmora")).permissions() & 0x0077, QFile::Permissions());
        QCOMPARE(QFileInfo(Config + QStringLiteral("/velmora")).permissions() & QFile::WriteOwner, QFile::WriteOwner);
        // From now on the user's file holds the setting.
        WriteText(UserFile, "[USER]\r\nAutoStart=0\r\n");
        {
            TfrmKTZ W(Platform, {});
            QVERIFY(!W.chkAuto->isChecked());
            W.chkAuto->setChecked(true);
            W.close();
        }
        QCOMPARE(ReadAll(UserFile), QStringLiteral("[USER]\r\nAutoStart=1\r\nFullLink=0\r\n"));
        QCOMPARE(ReadAll(ProgramFile), QStringLiteral("[USER]\r\nAutoStart=1\r\n"));
        QVERIFY(Platform.Errors.isEmpty());
        qputenv("XDG_CONFIG_HOME", OldConfig);
    }

    // Neither the program folder nor the config folder can be written: the message
    // names the user's file, and the window closes all the same.
    void settingUnwritableAnywhereStillCloses()
    {
        QTemporaryDir Home;
        WriteText(Home.filePath(QStringLiteral("file")), "not a folder");
        const QString Config = Home.filePath(QStringLiteral("file/.config"));
        const QByteArray OldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Config));
        TFakePlatform Platform;
        Platform.ReadOnlyFolders << Platform.Folder + QStringLiteral("fls");
        TfrmKTZ W(Platform, {});
        W.show();
        QVERIFY(QTest::qWaitForWindowExposed(&W));
        W.close();
        qputenv("XDG_CONFIG_HOME", OldConfig);
        QVERIFY(!W.isVisible());
        QCOMPARE(Platform.Errors, QStringList({QStringLiteral("Unable to write to %1/velmora/sets.ini.").arg(Config)}));
        QVERIFY(!QFile::exists(Platform.SettingsFile()));
    }

    void drops()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        const QStringList Files = {Make("d1.torrent"), Make("d2.torrent"), Make("d3.torrent")};
        QList<QUrl> Urls = LocalUrls(Files);
        Urls.insert(1, QUrl(QStringLiteral("https://example.org/remote.torrent")));  // not a local file
        QVERIFY(Drop(&W, Urls));
        QTRY_COMPARE(Names(W), QStringList({"d1.torrent", "d2.torrent", "d3.torrent"}));

        // Over the list as well.
        QVERIFY(Drop(W.VST->viewport(), LocalUrls({Make("d4.torrent")})));
        QTRY_COMPARE(W.Entries().size(), 4);
        QCOMPARE(W.Entries()[3].FileName, QStringLiteral("d4.torrent"));

        // Nothing local, nothing taken.
        QVERIFY(!Drop(&W, {QUrl(QStringLiteral("https://example.org/x.torrent"))}));
        QVERIFY(Platform.Errors.isEmpty());
    }

    void dropWithFailingFileAndLongPath()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        // Paths arrive whole, however long.
        const QString Deep = QStringLiteral("каталог-").repeated(8) + u'/' + QString(200, u'x');
        QVERIFY(QDir(FFiles->path()).mkpath(Deep));
        const QString Long = Make(Deep + QStringLiteral("/long.torrent"));
        QVERIFY(Long.size() > 256);
        const QString Gone = Missing("gone.torrent");
        QVERIFY(Drop(W.VST->viewport(), LocalUrls({Long, Gone, Make("after.torrent")})));
        QTRY_COMPARE(Platform.Errors.size(), 1);
        QCOMPARE(Names(W), QStringList({"long.torrent"}));
        QVERIFY(Platform.Errors[0].contains(Gone));

        // The window takes drops again afterwards.
        QVERIFY(Drop(&W, LocalUrls({Make("next.torrent")})));
        QTRY_COMPARE(W.Entries().size(), 2);
    }

    void handOff()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        W.WMCopyData(Make("h.torrent"));
        W.WMCopyData(QStringLiteral("?"));
        QCOMPARE(Names(W), QStringList({"h.torrent"}));
        W.WMCopyData(Missing("gone.torrent"));  // never raises
        QCOMPARE(Platform.Errors.size(), 1);
        QVERIFY(Platform.Errors[0].startsWith(QStringLiteral("Cannot open file")));
    }

    void nestedLoadDuringBatch()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        const QString Later = Make("handed.torrent");
        Platform.OpenAnswers << QStringList({Make("a.torrent"), Make("b.torrent")});
        // Arrives while the first file of the batch lets the waiting events through.
        QTimer::singleShot(0, &W, [&] { W.WMCopyData(Later); });
        W.btnOpen->trigger();
        QCOMPARE(Names(W), QStringList({"handed.torrent", "a.torrent", "b.torrent"}));
        QCOMPARE(W.lblStatus->text(), QStringLiteral("Ждём..."));
    }

    void clearDuringBatch()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {Make("old1.torrent"), Make("old2.torrent")});
        SelectRow(W, 0);
        Platform.OpenAnswers << QStringList({Make("a.torrent"), Make("b.torrent")});
        QTimer::singleShot(0, &W, [&] { W.btnClear->trigger(); });
        W.btnOpen->trigger();
        QCOMPARE(Names(W), QStringList({"a.torrent", "b.torrent"}));
        SelectRow(W, 1);
        QCOMPARE(W.lblName->text(), QStringLiteral("b.torrent"));
    }

    void closeDuringBatch()
    {
        TFakePlatform Platform;
        WriteText(Platform.SettingsFile(), "[USER]\r\nAutoStart=1\r\n");
        TfrmKTZ W(Platform, {});
        W.show();
        Platform.OpenAnswers << QStringList({Make("a.torrent"), Make("b.torrent"), Make("c.torrent")});
        // The user closes the window once the first link has gone to the desktop.
        Platform.OnOpenLink = [&](const QString&) { QTimer::singleShot(0, &W, [&] { W.close(); }); };
        W.btnOpen->trigger();
        QVERIFY(!W.isVisible());
        QCOMPARE(Names(W), QStringList({"a.torrent"}));
        QCOMPARE(Platform.OpenedLinks.size(), 1);
        QCOMPARE(Platform.SettingWrites, 2);
        QCOMPARE(W.lblStatus->text(), QStringLiteral("Ждём..."));
    }

    void windowDestroyedDuringBatch()
    {
        TFakePlatform Platform;
        QPointer<TfrmKTZ> W = new TfrmKTZ(Platform, {});
        Platform.OpenAnswers << QStringList({Make("a.torrent"), Make("b.torrent")});
        QTimer::singleShot(0, [&] { delete W.data(); });
        W->btnOpen->trigger();
        QVERIFY(W.isNull());
        QVERIFY(Platform.Errors.isEmpty());
    }

    void untrustedMarkupIsPlainText()
    {
        TFakePlatform Platform;
        TTorrentRecipe Recipe;
        Recipe.Name = "<b>bold</b><img src=\"x.png\">";
        Recipe.Comment = "<a href=\"file:///etc/passwd\">click</a>";
        Recipe.Encoding = "<i>enc</i>";
        TfrmKTZ W(Platform, {Make("<img src=x>name.torrent", Recipe)});
        W.show();
        QVERIFY(QTest::qWaitForWindowExposed(&W));
        SelectRow(W, 0);
        QCOMPARE(W.lblName->text(), QStringLiteral("<img src=x>name.torrent"));
        QCOMPARE(W.lblTitle->text(), QStringLiteral("Название: <b>bold</b><img src=\"x.png\">"));
        QCOMPARE(W.lblAnons->text(), QString::fromStdString(Recipe.Comment));
        QCOMPARE(W.pnText->text(), QStringLiteral("<i>enc</i>"));
        for (QLabel* Label : {W.lblName, W.lblTitle, static_cast<QLabel*>(W.lblAnons), W.pnText})
            QCOMPARE(Label->textFormat(), Qt::PlainText);
        QTest::mouseClick(W.lblAnons, Qt::LeftButton);
        QVERIFY(Platform.OpenedLinks.isEmpty());
    }

    void textsThatCouldDisguiseThemselves()
    {
        // A right-to-left override would list "invoice<RLO>fdp.exe.torrent" as
        // "invoice_exe.pdf.torrent", and a comment link as another address.
        TFakePlatform Platform;
        TTorrentRecipe Recipe;
        Recipe.Name =
            "Title \xE2\x80\xAE"
            "fdp.exe \x1B[31m";
        Recipe.Comment =
            "http://example.com/\xE2\x80\xAE"
            "evil.com";
        Recipe.Encoding = "UTF\xE2\x80\x8B-8";
        TfrmKTZ W(Platform, {Make(QStringLiteral("invoice\u202Efdp.exe.torrent"), Recipe)});
        W.show();
        QVERIFY(QTest::qWaitForWindowExposed(&W));
        QCOMPARE(W.VSTModel->data(W.VSTModel->index(0, 0), Qt::DisplayRole).toString(),
                 QStringLiteral("invoice<U+202E>fdp.exe.torrent"));
        SelectRow(W, 0);
        QCOMPARE(W.lblName->text(), QStringLiteral("invoice<U+202E>fdp.exe.torrent"));
        QCOMPARE(W.lblTitle->text(), QStringLiteral("Название: Title <U+202E>fdp.exe <U+001B>[31m"));
        QCOMPARE(W.lblAnons->text(), QStringLiteral("http://example.com/<U+202E>evil.com"));
        QCOMPARE(W.pnText->text(), QStringLiteral("UTF<U+200B>-8"));
        // The entry keeps what the file holds; a click opens the comment as stored.
        QCOMPARE(W.Entries().front().FileName, QStringLiteral("invoice\u202Efdp.exe.torrent"));
        QTest::mouseClick(W.lblAnons, Qt::LeftButton);
        QCOMPARE(Platform.OpenedLinks, QStringList{QStringLiteral("http://example.com/\u202Eevil.com")});
    }

    void commentLink_data()
    {
        QTest::addColumn<QString>("Comment");
        QTest::addColumn<bool>("Opens");
        QTest::newRow("https") << QStringLiteral("https://example.org/t/1") << true;
        QTest::newRow("http") << QStringLiteral("http://example.org/") << true;
        QTest::newRow("ftp") << QStringLiteral("ftp://files.example.org/pub") << true;
        QTest::newRow("upper case") << QStringLiteral("HTTPS://EXAMPLE.ORG/") << true;
        QTest::newRow("file") << QStringLiteral("file:///etc/passwd") << false;
        QTest::newRow("local path") << QStringLiteral("/usr/bin/xterm") << false;
        QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)") << false;
        QTest::newRow("magnet") << QStringLiteral("magnet:?xt=urn:btih:00") << false;
        QTest::newRow("program") << QStringLiteral("xterm") << false;
        QTest::newRow("plain words") << QStringLiteral("Ripped by someone") << false;
        QTest::newRow("empty") << QString() << false;
    }

    void commentLink()
    {
        QFETCH(QString, Comment);
        QFETCH(bool, Opens);
        TFakePlatform Platform;
        TTorrentRecipe Recipe;
        Recipe.Comment = Comment.toStdString();
        TfrmKTZ W(Platform, {Make("c.torrent", Recipe)});
        W.show();
        QVERIFY(QTest::qWaitForWindowExposed(&W));
        SelectRow(W, 0);
        QTest::mouseClick(W.lblAnons, Qt::LeftButton);
        QCOMPARE(Platform.OpenedLinks, Opens ? QStringList({Comment}) : QStringList());
        QCOMPARE(W.lblAnons->Visited(), Opens);
    }

    void initialCommentCaptionOpensNothing()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        W.lblAnons->Click();
        QVERIFY(Platform.OpenedLinks.isEmpty());
    }

    void longTextsDoNotWidenTheWindow()
    {
        TFakePlatform Platform;
        TTorrentRecipe Recipe;
        Recipe.Name = std::string(5000, 'N');
        Recipe.Comment = std::string(20 << 20, 'c') + "\nsecond line";
        TfrmKTZ W(Platform, {Make("long.torrent", Recipe)});
        W.show();
        QVERIFY(QTest::qWaitForWindowExposed(&W));
        SelectRow(W, 0);
        QVERIFY(W.minimumSizeHint().width() < 819);
        QCOMPARE(W.width(), 819);
        QCOMPARE(W.lblAnons->text().size(), qsizetype(20 << 20) + 12);
        W.repaint();  // a 20 MB comment paints like a short one
    }

    void aboutBox()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        W.show();
        QString Caption, Text, License;
        QSize Size;
        bool Default = false;
        QTimer::singleShot(0, [&] {
            auto* Box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(Box);
            auto* About = dynamic_cast<TAboutBox*>(Box);
            QVERIFY(About);
            Caption = About->windowTitle();
            Text = About->lblAbout->text();
            License = About->lblLicense->text();
            Size = About->size();
            Default = About->OKButton->isDefault();
            QVERIFY(!About->windowIcon().isNull());
            const Qt::WindowFlags Flags = About->windowFlags();
            QCOMPARE(Flags & Qt::WindowType_Mask, Qt::Dialog);
            QVERIFY(Flags & Qt::WindowCloseButtonHint);
            QVERIFY(!(Flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
            QTest::keyClick(About, Qt::Key_Return);  // the default button
        });
        W.btnAbout->trigger();
        QCOMPARE(Caption, QStringLiteral("О программе"));
        QCOMPARE(Text, QStringLiteral("Velmora\n\n0.9.3.19"));
        QCOMPARE(License, QStringLiteral("Распространяется по лицензии MIT"));
        QCOMPARE(Size, QSize(298, 147));
        QVERIFY(Default);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void missingEntryIsAnAssertion()
    {
        TFakePlatform Platform;
        TfrmKTZ W(Platform, {});
        QString Text;
        try {
            W.VSTGetText(nullptr, 0, Text);
            QFAIL("no assertion");
        } catch (const EAssertionFailed& E) {
            QVERIFY2(QString::fromUtf8(E.what()).startsWith(QStringLiteral("Assertion failure (_form/frm_Main, line ")),
                     E.what());
        }
        // A cell of another column keeps its text.
        TTorrentEntry Entry;
        Entry.FileName = QStringLiteral("f");
        Text = QStringLiteral("kept");
        W.VSTGetText(&Entry, 2, Text);
        QCOMPARE(Text, QStringLiteral("kept"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
