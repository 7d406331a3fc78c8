// The exports: template reading, the replacement rule, the page and the list as
// written, the export-name dialog, and both commands of the main window driven
// through a test double of the platform.
//
// With VELMORA_EXPORT_SAMPLE set to a folder, writeSample() also writes pages built
// from the shipped templates there, for a look in a browser (tools/render-export.sh).
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include "Bencode.h"
#include "DisplayText.h"
#include "Exceptions.h"
#include "Export.h"
#include "FileSizeLimit.h"
#include "Platform.h"
#include "TextCodec.h"
#include "TorrentEntry.h"
#include "fer_Exp.h"
#include "frm_Main.h"

namespace {

const QString CRLF = QStringLiteral("\r\n");
const QString Link1 = QStringLiteral("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567");
const QString Link2 = QStringLiteral("magnet:?xt=urn:btih:89abcdef0123456789abcdef0123456789abcdef");
const QString Link3 = QStringLiteral("magnet:?xt=urn:btih:fedcba9876543210fedcba9876543210fedcba98");

TTorrentEntry Entry(const QString& Title, const QString& Link = Link1)
{
    TTorrentEntry E;
    E.FileName = Title + QStringLiteral(".torrent");
    E.Title = Title;
    E.FileCount = 1;
    E.Size = 1536;
    E.Link = Link;
    E.PieceLength = 262144;
    E.PieceCount = 7;
    return E;
}

// Lines, each followed by CR LF.
QString Lines(const QStringList& Items)
{
    QString Text;
    for (const QString& Item : Items) Text += Item + CRLF;
    return Text;
}

QByteArray ReadAll(const QString& FileName)
{
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly)) return QByteArray("<unreadable>");
    return File.readAll();
}

void WriteAll(const QString& FileName, const QByteArray& Bytes)
{
    QFile File(FileName);
    QVERIFY(File.open(QIODevice::WriteOnly));
    QCOMPARE(File.write(Bytes), Bytes.size());
}

// The message of what F raises, or "<nothing raised>".
QString RaisedMessage(const std::function<void()>& F)
{
    try {
        F();
    } catch (const std::exception& E) {
        return QString::fromUtf8(E.what());
    }
    return QStringLiteral("<nothing raised>");
}

// Acts on the export-name dialog once its modal loop runs.
void AnswerNameDialog(const std::function<void(TfrmExp&)>& Act)
{
    QTimer::singleShot(0, [Act] {
        QWidget* Modal = QApplication::activeModalWidget();
        if (auto* Dialog = dynamic_cast<TfrmExp*>(Modal))
            Act(*Dialog);
        else if (Modal)
            Modal->close();
    });
}

QString Decoded(const QByteArray& Page)
{
    return QString::fromUtf8(Page.mid(3));
}

// A platform whose dialogs answer from scripts and record what they were asked.
class TExportPlatform : public TPlatform {
public:
    QString Folder;                       // the program folder, ending in '/'
    std::function<QString()> NameAnswer;  // the export-name dialog; unset: the real one
    std::function<QString()> SaveAnswer;  // the save dialog
    QStringList SaveFilters, SaveExtensions, Errors;
    int NameAsked = 0;

    void OpenLink(QWidget*, const QString&) override {}
    QString ReadSetting(const QString&, const QString&, const QString&, const QString& Default) override
    {
        return Default;
    }
    void WriteSetting(const QString&, const QString&, const QString&, const QString&) override {}
    void CopyFieldText(QLineEdit*, const QString&) override {}
    void CopyText(const QString&) override {}
    bool Ask(QWidget*, const QString&) override { return false; }
    void ShowSummary(QWidget*, const QString& Message, const QString&) override { Errors << Message; }
    QStringList ChooseOpenFiles(QWidget*, const QString&) override { return {}; }
    QString ChooseSaveFile(QWidget*, const QString& Filter, const QString& DefaultExtension) override
    {
        SaveFilters << Filter;
        SaveExtensions << DefaultExtension;
        return SaveAnswer ? SaveAnswer() : QString();
    }
    void ShowErrorBox(QWidget*, const QString& Message) override { Errors << Message; }
    QString ProgramFolder() override { return Folder; }
    bool CanWriteFolder(const QString&) override { return true; }
    QString AskExportName(QWidget* Owner)
    {
        ++NameAsked;
        return NameAnswer ? NameAnswer() : ::AskExportName(Owner);
    }
};

// Bencoded single-file metainfo with the given name, size and piece length, and a
// multi-file variant; enough for the loader to build an entry.
QByteArray BString(const QByteArray& S)
{
    return QByteArray::fromStdString(Bencode::String(S.toStdString()));
}

QByteArray SingleFileTorrent(const QByteArray& Name, qint64 Length, const QByteArray& Comment = {})
{
    QByteArray Info = "d6:lengthi" + QByteArray::number(Length) + "e4:name" + BString(Name) +
                      "12:piece lengthi16384e6:pieces" + BString(QByteArray(20, 'p')) + "e";
    QByteArray Root = "d8:announce" + BString("http://tracker.example/announce");
    if (!Comment.isEmpty()) Root += "7:comment" + BString(Comment);
    return Root + "4:info" + Info + "e";
}

QByteArray TwoFileTorrent(const QByteArray& Name)
{
    QByteArray Info =
        "d5:filesl"
        "d6:lengthi10e4:pathl" +
        BString("dir") + BString("a.txt") +
        "ee"
        "d6:lengthi20e4:pathl" +
        BString("b.txt") +
        "ee"
        "e4:name" +
        BString(Name) + "12:piece lengthi16384e6:pieces" + BString(QByteArray(20, 'q')) + "7:privatei1ee";
    return "d8:announce" + BString("http://tracker.example/announce") + "4:info" + Info + "e";
}

}  // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    // Template reading.
    void decodeTextFile_data();
    void decodeTextFile();
    void lineForm_data();
    void lineForm();
    void readTextFileGivesLineFormOfEveryEncoding_data();
    void readTextFileGivesLineFormOfEveryEncoding();
    void readTextFileFailures();

    // The replacement rule.
    void replacePlaceholder_data();
    void replacePlaceholder();
    void htmlEscape();
    void fileListHtml_data();
    void fileListHtml();

    // Blocks and pages.
    void entryBlockReplacesTheTenPlaceholdersInOrder();
    void entryPlaceholdersInValuesFollowTheOrder();
    void privateMark();
    void pageWithEmptyList();
    void pageWithoutOrWithTwoContents();
    void threeEntriesInListOrder();
    void emptyEntryTemplateGivesAnEmptyLinePerEntry();
    void pageLinesAllEndInCrLf();
    void hostileValuesAreEscaped();
    void displayText_data();
    void displayText();
    void pageShowsWhatCouldDisguiseItself();
    void amplifyingValuesAreRefused();
    void largeListWithTheShippedTemplatesIsExported();
    void exportTime_data();
    void exportTime();
    void currentExportTimeReadsTheClock();

    // Output bytes.
    void pageBytesAreUtf8WithBom();
    void linkList();
    void writeReplacesWholeFile();
    void writeFailures();
    void failedWriteLeavesOldFileWhole_data();
    void failedWriteLeavesOldFileWhole();

    // The export-name dialog.
    void dialogLayout();
    void dialogOpensWithTextSelected();
    void dialogIgnoresEnterAndEscape();
    void dialogResults();
    void askExportNameRunsTheDialog();

    // The commands of the main window.
    void htmlExportEndToEnd();
    void htmlExportWithEmptyListAndCancelledSave();
    void htmlExportMissingTemplate();
    void htmlExportTakesEntriesAfterTheNameDialog();
    void htmlExportUsersOwnTemplates_data();
    void htmlExportUsersOwnTemplates();
    void listExportEndToEnd();
    void listExportUnwritableTarget();

    void writeSample();

private:
    // The user's data folder ($XDG_DATA_HOME), empty unless a test fills it.
    QTemporaryDir FDataHome;
    // A program folder with fls/ holding the given templates.
    void MakeFolder(QTemporaryDir& Dir, const QByteArray& Page, const QByteArray& Mid);
    QString WriteTorrent(const QTemporaryDir& Dir, const QString& Name, const QByteArray& Bytes);
};

void TestExport::initTestCase()
{
    // Sizes read "1.50 kB" whatever the machine's locale.
    QLocale::setDefault(QLocale::c());
    // Templates of the user's own would take the place of each test's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(FDataHome.path()));
    // The dialog's measures are those of an 8 pt desktop font.
    QFont Font = QApplication::font();
    Font.setPointSize(8);
    QApplication::setFont(Font);
}

// --- Template reading --------------------------------------------------------------

void TestExport::decodeTextFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QString Cyr = QStringLiteral("Имя {TITLE}");
    QStringEncoder Le(QStringConverter::Utf16LE), Be(QStringConverter::Utf16BE);
    const QByteArray LeBytes = Le.encode(Cyr), BeBytes = Be.encode(Cyr);

    QTest::newRow("no mark: UTF-8") << Cyr.toUtf8() << Cyr;
    QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBF") + Cyr.toUtf8() << Cyr;
    QTest::newRow("UTF-16 LE mark") << QByteArray("\xFF\xFE") + LeBytes << Cyr;
    QTest::newRow("UTF-16 BE mark") << QByteArray("\xFE\xFF") + BeBytes << Cyr;
    QTest::newRow("UTF-16 LE without mark is bytes") << LeBytes.left(2) << QString::fromUtf8(LeBytes.left(2));
    QTest::newRow("second mark stays") << QByteArray(
                                              "\xEF\xBB\xBF\xEF\xBB\xBF"
                                              "a")
                                       << QStringLiteral("\uFEFFa");
    QTest::newRow("malformed UTF-8") << QByteArray(
                                            "a\xFF"
                                            "b")
                                     << QStringLiteral("a\uFFFDb");
    QTest::newRow("cut UTF-8 at the end") << QByteArray("a\xD0") << QStringLiteral("a\uFFFD");
    QTest::newRow("odd UTF-16 LE") << QByteArray(
                                          "\xFF\xFE"
                                          "a\0b",
                                          5)
                                   << QStringLiteral("a\uFFFD");
    QTest::newRow("mark only") << QByteArray("\xFF\xFE") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestExport::decodeTextFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(DecodeTextFile(bytes), text);
}

void TestExport::lineForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lines");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("no final break") << "a"
                                    << "a\r\n";
    QTest::newRow("LF") << "a\nb\n"
                        << "a\r\nb\r\n";
    QTest::newRow("lone CR") << "a\rb"
                             << "a\r\nb\r\n";
    QTest::newRow("CR LF") << "a\r\nb\r\n"
                           << "a\r\nb\r\n";
    QTest::newRow("CR CR LF is two ends") << "a\r\r\nb"
                                          << "a\r\n\r\nb\r\n";
    QTest::newRow("LF CR is two ends") << "a\n\rb"
                                       << "a\r\n\r\nb\r\n";
    QTest::newRow("empty lines") << "\n\n"
                                 << "\r\n\r\n";
    QTest::newRow("only CR") << "\r"
                             << "\r\n";
}

void TestExport::lineForm()
{
    QFETCH(QString, text);
    QFETCH(QString, lines);
    QCOMPARE(ToLineForm(text), lines);
}

void TestExport::readTextFileGivesLineFormOfEveryEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QString Text = QStringLiteral("<p>{TITLE}</p>\n<b>Привет</b>");
    QStringEncoder Le(QStringConverter::Utf16LE), Be(QStringConverter::Utf16BE);
    QTest::newRow("UTF-8 LF, no final break") << Text.toUtf8();
    QTest::newRow("UTF-8 mark CR") << QByteArray("\xEF\xBB\xBF") + QString(Text).replace(u'\n', u'\r').toUtf8();
    QTest::newRow("UTF-16 LE") << QByteArray("\xFF\xFE") + QByteArray(Le.encode(Text + CRLF));
    QTest::newRow("UTF-16 BE") << QByteArray("\xFE\xFF") + QByteArray(Be.encode(Text));
}

void TestExport::readTextFileGivesLineFormOfEveryEncoding()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir Dir;
    const QString Name = Dir.filePath(QStringLiteral("t.tpl"));
    WriteAll(Name, bytes);
    QCOMPARE(ReadTextFile(Name), Lines({"<p>{TITLE}</p>", QStringLiteral("<b>Привет</b>")}));
}

void TestExport::readTextFileFailures()
{
    QTemporaryDir Dir;
    const QString Missing = Dir.filePath(QStringLiteral("fls/mid.tpl"));
    QCOMPARE(RaisedMessage([&] { ReadTextFile(Missing); }),
             QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(Missing));

    // A relative name is reported with its full path.
    const QString Old = QDir::currentPath();
    QDir::setCurrent(Dir.path());
    const QString Relative = RaisedMessage([] { ReadTextFile(QStringLiteral("nothing.tpl")); });
    QDir::setCurrent(Old);
    QCOMPARE(Relative, QStringLiteral("Cannot open file \"%1\". No such file or directory")
                           .arg(QDir(Dir.path()).absoluteFilePath(QStringLiteral("nothing.tpl"))));

    const QString Folder = RaisedMessage([&] { ReadTextFile(Dir.path()); });
    QVERIFY2(Folder.startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(Dir.path())), qPrintable(Folder));
}

// --- The replacement rule ----------------------------------------------------------

void TestExport::replacePlaceholder_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("result");
    QTest::newRow("upper") << "<{TITLE}>"
                           << "X"
                           << "<X>";
    QTest::newRow("lower") << "<{title}>"
                           << "X"
                           << "<X>";
    QTest::newRow("mixed") << "<{TiTlE}>"
                           << "X"
                           << "<X>";
    QTest::newRow("every occurrence") << "{TITLE}-{title}-{Title}"
                                      << "X"
                                      << "X-X-X";
    QTest::newRow("adjacent") << "{TITLE}{TITLE}"
                              << "ab"
                              << "abab";
    QTest::newRow("inserted text not scanned again") << "{TITLE}"
                                                     << "{TITLE}{title}"
                                                     << "{TITLE}{title}";
    QTest::newRow("value completes a placeholder") << "{TIT{TITLE}"
                                                   << "LE}"
                                                   << "{TITLE}";
    QTest::newRow("overlap: first wins") << "{TITLE}TITLE}"
                                         << "X"
                                         << "XTITLE}";
    QTest::newRow("cut placeholder") << "{TITLE"
                                     << "X"
                                     << "{TITLE";
    QTest::newRow("empty value") << "a{TITLE}b"
                                 << ""
                                 << "ab";
    QTest::newRow("only ASCII letters fold")
        << QStringLiteral("{T\u0130TLE}{TITLE\u017F}") << "X" << QStringLiteral("{T\u0130TLE}{TITLE\u017F}");
    QTest::newRow("none") << "text"
                          << "X"
                          << "text";
    QTest::newRow("empty text") << ""
                                << "X"
                                << "";
}

void TestExport::replacePlaceholder()
{
    QFETCH(QString, text);
    QFETCH(QString, value);
    QFETCH(QString, result);
    QCOMPARE(ReplacePlaceholder(text, u"{TITLE}", value), result);
}

void TestExport::htmlEscape()
{
    QCOMPARE(HtmlEscape(u"<a href=\"x\" title='y'>&amp;</a>"),
             QStringLiteral("&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;amp;&lt;/a&gt;"));
    QCOMPARE(HtmlEscape(u"Имя {NAME}"), QStringLiteral("Имя {NAME}"));
    // No control character reaches the page raw, whatever did not pass DisplayText.
    QCOMPARE(HtmlEscape(QStringView(u"a\0b\ac\x1B\x7F\u0085\td\r\n", 12)),
             QStringLiteral("a\uFFFDb\uFFFDc\uFFFD\uFFFD\uFFFD\td\r\n"));
}

void TestExport::fileListHtml_data()
{
    QTest::addColumn<QString>("fileList");
    QTest::addColumn<QString>("html");
    QTest::newRow("single-file torrent") << ""
                                         << "";
    QTest::newRow("one line") << "a.txt\r\n"
                              << "a.txt<br>";
    QTest::newRow("two lines") << "dir\\a.txt\r\nb.txt\r\n"
                               << "dir\\a.txt<br>b.txt<br>";
    QTest::newRow("markup in a name") << "<i>&.txt\r\n"
                                      << "&lt;i&gt;&amp;.txt<br>";
    QTest::newRow("literal <br> in a name") << "<br>\r\n"
                                            << "&lt;br&gt;<br>";
}

void TestExport::fileListHtml()
{
    QFETCH(QString, fileList);
    QFETCH(QString, html);
    QCOMPARE(FileListHtml(fileList), html);
}

// --- Blocks and pages --------------------------------------------------------------

void TestExport::entryBlockReplacesTheTenPlaceholdersInOrder()
{
    TTorrentEntry E = Entry(QStringLiteral("Фильм"));
    E.FileCount = 2;
    E.PieceCount = 12;
    E.Comment = QStringLiteral("http://tracker/1");
    E.FileList = QStringLiteral("a\r\nb\r\n");
    E.Encoding = QStringLiteral("UTF-8");
    E.Private = QStringLiteral("Private");
    const QString Template = Lines({"{title}|{Len}|{COUNT}|{pieces}|{COMMENT}",
                                    "{PIECELEN}|{LINK}|{FILELIST}|{ENCODING}|{PRIVATE}|{CONTENT}|{NAME}"});
    QCOMPARE(BuildEntryBlock(Template, E), Lines({QStringLiteral("Фильм|1.50 kB|2|12|http://tracker/1"),
                                                  "256 kB|" + Link1 + "|a<br>b<br>|UTF-8|Private|{CONTENT}|{NAME}"}));
}

void TestExport::entryPlaceholdersInValuesFollowTheOrder()
{
    // Values are placed in the order TITLE LEN COUNT PIECES COMMENT PIECELEN LINK
    // FILELIST ENCODING PRIVATE; placeholder text in a value is replaced by the later
    // steps only, and {NAME}/{TIME} by the page's steps.
    TTorrentEntry E = Entry(QStringLiteral("T {COMMENT}"));
    E.Comment = QStringLiteral("{TITLE} {LINK} {NAME} {len}");
    const QString Page =
        BuildExportPage(Lines({"{CONTENT}"}), Lines({"{TITLE}"}), {E}, QStringLiteral("Имя"), QStringLiteral("now"));
    QCOMPARE(Page, Lines({"T {TITLE} " + Link1 + " Имя {len}", "", ""}));

    // {NAME} is the last step, so a name holding placeholders stays as typed.
    const QString Named = BuildExportPage(Lines({"{NAME} {TIME}"}), QString(), {}, QStringLiteral("{TIME} {CONTENT}"),
                                          QStringLiteral("now"));
    QCOMPARE(Named, Lines({"{TIME} {CONTENT} now"}));
}

void TestExport::privateMark()
{
    TTorrentEntry Open = Entry(QStringLiteral("a"));
    TTorrentEntry Closed = Entry(QStringLiteral("b"));
    Closed.Private = QStringLiteral("Private");
    QCOMPARE(BuildEntryBlock(Lines({"[{PRIVATE}]"}), Open), Lines({"[]"}));
    QCOMPARE(BuildEntryBlock(Lines({"[{PRIVATE}]"}), Closed), Lines({"[Private]"}));
}

void TestExport::pageWithEmptyList()
{
    const QString Page =
        BuildExportPage(Lines({"<h1>{NAME}</h1>", "<main>{CONTENT}</main>", "{TIME}"}), Lines({"<p>{TITLE}</p>"}), {},
                        QStringLiteral("Экспорт"), QStringLiteral("2.01.2024 - 15:04:05"));
    QCOMPARE(Page, Lines({QStringLiteral("<h1>Экспорт</h1>"), "<main></main>", "2.01.2024 - 15:04:05"}));
}

void TestExport::pageWithoutOrWithTwoContents()
{
    const QList<TTorrentEntry> Two = {Entry(QStringLiteral("A")), Entry(QStringLiteral("B"))};
    const QString Mid = Lines({"{TITLE}"});
    QCOMPARE(BuildExportPage(Lines({"<body>", "</body>"}), Mid, Two, QString(), QString()),
             Lines({"<body>", "</body>"}));
    QCOMPARE(BuildExportPage(Lines({"{CONTENT}--", "{content}"}), Mid, Two, QString(), QString()),
             Lines({"A", "", "B", "", "--", "A", "", "B", "", ""}));
}

void TestExport::threeEntriesInListOrder()
{
    const QList<TTorrentEntry> Three = {Entry(QStringLiteral("Первый"), Link1), Entry(QStringLiteral("Второй"), Link2),
                                        Entry(QStringLiteral("Третий"), Link3)};
    const QString Page = BuildExportPage(Lines({"<main>", "{CONTENT}</main>"}),
                                         Lines({"<a href=\"{LINK}\">{TITLE}</a>"}), Three, QString(), QString());
    QCOMPARE(Page, Lines({"<main>", QStringLiteral("<a href=\"%1\">Первый</a>").arg(Link1), "",
                          QStringLiteral("<a href=\"%1\">Второй</a>").arg(Link2), "",
                          QStringLiteral("<a href=\"%1\">Третий</a>").arg(Link3), "", "</main>"}));
}

void TestExport::emptyEntryTemplateGivesAnEmptyLinePerEntry()
{
    const QList<TTorrentEntry> Three = {Entry("a"), Entry("b"), Entry("c")};
    QCOMPARE(BuildExportPage(Lines({"[", "{CONTENT}]"}), QString(), Three, QString(), QString()),
             Lines({"[", "", "", "", "]"}));
}

void TestExport::pageLinesAllEndInCrLf()
{
    // LF-only templates without a final break, and values with lone CR and LF.
    QTemporaryDir Dir;
    WriteAll(Dir.filePath("page.tpl"), "<main>\n{CONTENT}</main>\n{NAME}");
    WriteAll(Dir.filePath("mid.tpl"), "<p>{COMMENT}</p>\r<i>{TITLE}</i>");
    TTorrentEntry E = Entry(QStringLiteral("a\rb"));
    E.Comment = QStringLiteral("line1\nline2\r\nline3");
    const QString Page = BuildExportPage(ReadTextFile(Dir.filePath("page.tpl")), ReadTextFile(Dir.filePath("mid.tpl")),
                                         {E}, QStringLiteral("n\n"), QString());
    QCOMPARE(Page, Lines({"<main>", "<p>line1", "line2", "line3</p>", "<i>a", "b</i>", "", "</main>", "n", ""}));
}

void TestExport::hostileValuesAreEscaped()
{
    TTorrentEntry E = Entry(QStringLiteral("<script>alert(1)</script>"));
    E.Comment = QStringLiteral("\"><img src=x onerror=alert(2)>");
    E.FileList = QStringLiteral("<svg onload=alert(3)>.txt\r\nok & fine.txt\r\n");
    E.Encoding = QStringLiteral("</title><script>");
    const QString Page = BuildExportPage(Lines({"<title>{NAME}</title>{CONTENT}"}),
                                         Lines({"<h2 title=\"{TITLE}\">{TITLE}</h2><p data-x='{COMMENT}'>{COMMENT}</p>",
                                                "<div>{FILELIST}</div><i>{ENCODING}</i>"}),
                                         {E}, QStringLiteral("<b>'name'</b>"), QString());
    QVERIFY2(!Page.contains(u"<script"), qPrintable(Page));
    QVERIFY(!Page.contains(u"<img"));
    QVERIFY(!Page.contains(u"<svg"));
    QVERIFY(!Page.contains(u"<b>"));
    QVERIFY(Page.contains(u"<p data-x='&quot;&gt;&lt;img src=x onerror=alert(2)&gt;'>"));
    QVERIFY(Page.contains(u"<title>&lt;b&gt;&#39;name&#39;&lt;/b&gt;</title>"));
    QVERIFY(Page.contains(u"<h2 title=\"&lt;script&gt;alert(1)&lt;/script&gt;\">"));
    QVERIFY(Page.contains(u"<div>&lt;svg onload=alert(3)&gt;.txt<br>ok &amp; fine.txt<br></div>"));
    QVERIFY(Page.contains(u"<i>&lt;/title&gt;&lt;script&gt;</i>"));
}

void TestExport::displayText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain text unchanged")
        << QStringLiteral("Привет, мир (1080p) ∑") << QStringLiteral("Привет, мир (1080p) ∑");
    QTest::newRow("right-to-left override in a file name")
        << QStringLiteral("invoice\u202Efdp.exe.torrent") << QStringLiteral("invoice<U+202E>fdp.exe.torrent");
    QTest::newRow("a link that would read as another address")
        << QStringLiteral("http://example.com/\u202Eevil.com") << QStringLiteral("http://example.com/<U+202E>evil.com");
    QTest::newRow("every directional control")
        << QStringLiteral("\u061C\u200E\u200F\u202A\u202B\u202C\u202D\u2066\u2067\u2068\u2069")
        << QStringLiteral("<U+061C><U+200E><U+200F><U+202A><U+202B><U+202C><U+202D><U+2066><U+2067><U+2068><U+2069>");
    QTest::newRow("invisible format characters")
        << QStringLiteral("a\u200Bb\uFEFFc\u2060d\u00ADe") << QStringLiteral("a<U+200B>b<U+FEFF>c<U+2060>d<U+00AD>e");
    QTest::newRow("a format character beyond the first plane")
        << QString::fromUcs4(U"tag\U000E0041") << QStringLiteral("tag<U+E0041>");
    QTest::newRow("controls, line separators")
        << QStringLiteral("a\0b\ac\x1B[31md\x7F\u0085\u2028\u2029")
        << QStringLiteral("a<U+0000>b<U+0007>c<U+001B>[31md<U+007F><U+0085><U+2028><U+2029>");
    QTest::newRow("tab and line ends stay") << QStringLiteral("a\tb\r\nc\n") << QStringLiteral("a\tb\r\nc\n");
    QTest::newRow("joiners that scripts and emoji need stay")
        << QString::fromUcs4(U"\U0001F469\u200D\U0001F4BB \u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645")
        << QString::fromUcs4(U"\U0001F469\u200D\U0001F4BB \u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645");
    QTest::newRow("Arabic and Hebrew text stays")
        << QStringLiteral("\u0633\u0644\u0627\u0645 \u05E9\u05DC\u05D5\u05DD")
        << QStringLiteral("\u0633\u0644\u0627\u0645 \u05E9\u05DC\u05D5\u05DD");
    // velmora-cli escapes on the terminal what the window escapes (and TAB, LF, CR,
    // which would break its line): every character, as the core's table has it.
    QString Every, Escaped;
    for (char32_t C = 0; C <= 0x10FFFF; ++C) {
        if (C >= 0xD800 && C <= 0xDFFF) continue;
        // Not fromUcs4, which would take U+FEFF for a byte-order mark and drop it.
        const QChar Pair[2] = {QChar(QChar::highSurrogate(C)), QChar(QChar::lowSurrogate(C))};
        const QString Char = C < 0x10000 ? QString(QChar(char16_t(C))) : QString(Pair, 2);
        Every += Char;
        const bool Hidden = IsHiddenCharacter(C) && C != u'\t' && C != u'\n' && C != u'\r';
        Escaped += Hidden ? QStringLiteral("<U+%1>").arg(uint(C), 4, 16, QLatin1Char('0')).toUpper() : Char;
    }
    QTest::newRow("every character as the command line escapes it") << Every << Escaped;
}

void TestExport::displayText()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(DisplayText(text), shown);
}

void TestExport::pageShowsWhatCouldDisguiseItself()
{
    TTorrentEntry E = Entry(QStringLiteral("invoice\u202Efdp.exe"));
    E.Comment = QStringLiteral("http://example.com/\u202Eevil.com \0\a\x1B[2J");
    E.FileList = QStringLiteral("a\u2066b\x01.txt\r\n");
    E.Encoding = QStringLiteral("UTF\u200B-8");
    const QString Page = BuildExportPage(Lines({"{NAME}{CONTENT}"}), Lines({"{TITLE}|{COMMENT}|{FILELIST}|{ENCODING}"}),
                                         {E}, QStringLiteral("n\x1B\0"), QString());
    QCOMPARE(
        Page,
        Lines(
            {QStringLiteral(
                 "n&lt;U+001B&gt;&lt;U+0000&gt;invoice&lt;U+202E&gt;fdp.exe|http://example.com/&lt;U+202E&gt;evil.com "
                 "&lt;U+0000&gt;&lt;U+0007&gt;&lt;U+001B&gt;[2J|"
                 "a&lt;U+2066&gt;b&lt;U+0001&gt;.txt<br>|UTF&lt;U+200B&gt;-8"),
             "", ""}));
    for (QChar C : Page) QVERIFY2(C.category() != QChar::Other_Control || C == u'\r' || C == u'\n', qPrintable(Page));
}

void TestExport::amplifyingValuesAreRefused()
{
    // Each "{COMMENT}" of the title becomes the comment, each "{FILELIST}" of that the
    // file list: without a bound, a few megabytes would become terabytes.
    TTorrentEntry E = Entry(QString());
    for (int I = 0; I < 100000; ++I) E.Title += u"{COMMENT}";
    for (int I = 0; I < 100000; ++I) E.Comment += u"{FILELIST}";
    for (int I = 0; I < 10000; ++I) E.FileList += QStringLiteral("some/file/name.bin\r\n");
    const QString Message = RaisedMessage([&] { BuildEntryBlock(Lines({"{TITLE}"}), E); });
    QCOMPARE(Message, QStringLiteral("The export page would be longer than %1 characters").arg(MaxExportLength));

    // Many entries, each multiplying itself within the bound, that together are not:
    // every "{LINK}" of a title becomes the link, 60 times its own length.
    TTorrentEntry Linked = Entry(QString());
    for (int I = 0; I < 100000; ++I) Linked.Title += u"{LINK}";
    const QList<TTorrentEntry> Many(20, Linked);
    const QList<TTorrentEntry> One(1, Linked);
    const QString Page = Lines({"{CONTENT}"}), Mid = Lines({"{TITLE}"});
    QCOMPARE(RaisedMessage([&] { BuildExportPage(Page, Mid, Many, {}, {}); }),
             QStringLiteral("The export page would be longer than %1 characters")
                 .arg(ExportLengthBound(Page, Mid, Many, {}, {})));
    QCOMPARE(BuildExportPage(Page, Mid, One, {}, {}).size(), 100000 * Link1.size() + 6);
}

void TestExport::largeListWithTheShippedTemplatesIsExported()
{
    // A list as large as a collection of a few tens of thousands of torrents gives a
    // page longer than the fixed bound alone would let through; it is honest, every
    // character comes from a template or a value, so it is built.
    const QString Folder = QStringLiteral(VELMORA_SOURCE_DIR "/fls/");
    const QString PageTemplate = ReadTextFile(Folder + QStringLiteral("template.tpl"));
    const QString EntryTemplate = ReadTextFile(Folder + QStringLiteral("mid.tpl"));
    TTorrentEntry E = Entry(QStringLiteral("Some.Show.S01.1080p.WEB-DL.x264-GROUP"));
    E.Comment = QStringLiteral("https://tracker.example/details.php?id=123456");
    for (int I = 0; I < 8; ++I) E.FileList += QStringLiteral("Some.Show.S01E0%1.1080p.mkv (1.37 GB)\r\n").arg(I);
    E.FileCount = 8;
    const QList<TTorrentEntry> Entries(60000, E);
    const QString Page = BuildExportPage(PageTemplate, EntryTemplate, Entries, QStringLiteral("Экспорт"),
                                         QStringLiteral("01.02.2024 - 03:04:05"));
    QVERIFY2(Page.size() > MaxExportLength, qPrintable(QString::number(Page.size())));
    QCOMPARE(Page.count(QStringLiteral("<article class=\"card\">")), Entries.size());
}

void TestExport::exportTime_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("en_US: 12-hour, designator after") << "en_US"
                                                      << "1/2/24 - 3:04:05 PM";
    QTest::newRow("ru_RU") << "ru_RU"
                           << "02.01.2024 - 15:04:05";
    QTest::newRow("zh_CN: zone in front") << "zh_CN"
                                          << "2024/1/2 - 15:04:05";
    QTest::newRow("ko_KR: designator in front") << "ko_KR" << QStringLiteral("24. 1. 2. - 오후 3시 4분 5초");
    QTest::newRow("bg_BG: quoted text kept") << "bg_BG" << QStringLiteral("2.01.24 г. - 15:04:05 ч.");
}

void TestExport::exportTime()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QCOMPARE(FormatExportTime(QLocale(locale), QDate(2024, 1, 2), QTime(15, 4, 5)), text);
}

void TestExport::currentExportTimeReadsTheClock()
{
    const QDateTime Before = QDateTime::currentDateTime();
    const QString Text = CurrentExportTime();
    const QDateTime After = QDateTime::currentDateTime();
    bool Matched = false;
    for (QDateTime T = Before.addMSecs(-Before.time().msec()); T <= After && !Matched; T = T.addSecs(1))
        Matched = Text == FormatExportTime(QLocale::system(), T.date(), T.time());
    QVERIFY2(Matched, qPrintable(Text));
}

// --- Output bytes ------------------------------------------------------------------

void TestExport::pageBytesAreUtf8WithBom()
{
    QCOMPARE(EncodeExportPage(QStringLiteral("Я\r\n")), QByteArray("\xEF\xBB\xBF\xD0\xAF\r\n"));
    QCOMPARE(EncodeExportPage(QString()), QByteArray("\xEF\xBB\xBF"));
}

void TestExport::linkList()
{
    QCOMPARE(EncodeLinkList({}), QByteArray());
    QCOMPARE(EncodeLinkList({Link1}), (Link1 + CRLF).toLatin1());
    QCOMPARE(EncodeLinkList({Link1, Link2, Link1}), (Link1 + CRLF + Link2 + CRLF + Link1 + CRLF).toLatin1());
}

void TestExport::writeReplacesWholeFile()
{
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("out.html");
    WriteAll(Name, QByteArray(5000, 'o'));
    WriteFileWhole(Name, "new");
    QCOMPARE(ReadAll(Name), QByteArray("new"));
    WriteFileWhole(Name, QByteArray());
    QCOMPARE(QFileInfo(Name).size(), 0);
    QCOMPARE(QDir(Dir.path()).entryList(QDir::Files), QStringList{"out.html"});
}

void TestExport::writeFailures()
{
    QTemporaryDir Dir;
    const QString NoFolder = Dir.filePath("missing/out.html");
    QCOMPARE(RaisedMessage([&] { WriteFileWhole(NoFolder, "x"); }),
             QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(NoFolder));
    const QString Folder = RaisedMessage([&] { WriteFileWhole(Dir.path(), "x"); });
    QVERIFY2(Folder.startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(Dir.path())), qPrintable(Folder));
}

void TestExport::failedWriteLeavesOldFileWhole_data()
{
    // A file-size limit makes the write fail, as a full disk would: at once, or
    // half-way. A new file small enough for a write buffer fails only as it is
    // flushed, and that failure must stop the replacement too.
    QTest::addColumn<int>("OldSize");
    QTest::addColumn<int>("NewSize");
    QTest::addColumn<int>("Limit");
    QTest::newRow("100 KB, room for 4 KB") << 16 << 100000 << 4096;
    QTest::newRow("a short list over 54 KB, no room") << 54000 << 122 << 0;
    QTest::newRow("a 10 KB page over 54 KB, room for 4 KB") << 54000 << 10000 << 4096;
}

void TestExport::failedWriteLeavesOldFileWhole()
{
    QFETCH(int, OldSize);
    QFETCH(int, NewSize);
    QFETCH(int, Limit);
    QTemporaryDir Dir;
    const QString Name = Dir.filePath("old.html");
    QByteArray Old = "the old export\r\n";
    Old = Old.repeated(OldSize / Old.size() + 1).left(OldSize);
    WriteAll(Name, Old);

    QString Message;
    {
        const TFileSizeLimit FullDisk(Limit);
        QVERIFY(FullDisk.Set());
        Message = RaisedMessage([&] { WriteFileWhole(Name, QByteArray(NewSize, 'n')); });
    }

    QCOMPARE(Message, QStringLiteral("Unable to write to %1. File too large").arg(Name));
    QCOMPARE(ReadAll(Name), Old);
    QCOMPARE(QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.html"});
}

// --- The export-name dialog --------------------------------------------------------

void TestExport::dialogLayout()
{
    QWidget Owner;
    TfrmExp Dialog(&Owner);
    QCOMPARE(Dialog.windowTitle(), QStringLiteral("    Имя экспорта"));
    const Qt::WindowFlags Flags = Dialog.windowFlags();
    QCOMPARE(Flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(Flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(Flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint)));
    QCOMPARE(Dialog.size(), QSize(345, 67));
    QCOMPARE(Dialog.minimumSize(), Dialog.maximumSize());

    QCOMPARE(Dialog.edtName->geometry(), QRect(9, 8, 345 - 18, 21));
    QCOMPARE(Dialog.edtName->text(), QStringLiteral("* Экспорт магнитных ссылок *"));
    QCOMPARE(Dialog.btnClose->text(), QStringLiteral("Отмена"));
    QCOMPARE(Dialog.btnClose->geometry(), QRect(262, 35, 75, 25));
    QCOMPARE(Dialog.btnOK->text(), QStringLiteral("OK"));
    QCOMPARE(Dialog.btnOK->geometry(), QRect(8, 35, 75, 25));
    for (QPushButton* Button : {Dialog.btnClose, Dialog.btnOK}) {
        QVERIFY(!Button->isDefault());
        QVERIFY(!Button->autoDefault());
    }

    // Tab order: edtName, btnClose, btnOK, and round again.
    QCOMPARE(Dialog.edtName->nextInFocusChain(), static_cast<QWidget*>(Dialog.btnClose));
    QCOMPARE(Dialog.btnClose->nextInFocusChain(), static_cast<QWidget*>(Dialog.btnOK));

    // Centred over its owner.
    Owner.setGeometry(100, 120, 819, 657);
    Owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Owner));
    Dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Dialog));
    QVERIFY2(
        (Dialog.frameGeometry().center() - Owner.frameGeometry().center()).manhattanLength() <= 1,
        qPrintable(
            QStringLiteral("%1,%2").arg(Dialog.frameGeometry().center().x()).arg(Dialog.frameGeometry().center().y())));
}

void TestExport::dialogOpensWithTextSelected()
{
    TfrmExp Dialog(nullptr);
    Dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&Dialog));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Dialog.edtName));
    QCOMPARE(Dialog.edtName->selectedText(), ExportDefaultName);
    QTest::keyClicks(Dialog.edtName, QStringLiteral("Mine"));
    QCOMPARE(Dialog.edtName->text(), QStringLiteral("Mine"));

    // Tab walks the order edtName, btnClose, btnOK.
    QTest::keyClick(&Dialog, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Dialog.btnClose));
    QTest::keyClick(&Dialog, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Dialog.btnOK));
}

void TestExport::dialogIgnoresEnterAndEscape()
{
    TfrmExp Dialog(nullptr);
    QSignalSpy Finished(&Dialog, &QDialog::finished);
    Dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&Dialog));
    // From the field and from each focused button.
    for (QWidget* Target : {static_cast<QWidget*>(Dialog.edtName), static_cast<QWidget*>(Dialog.btnClose),
                            static_cast<QWidget*>(Dialog.btnOK)}) {
        Target->setFocus();
        for (Qt::Key Key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(Target, Key);
        QVERIFY(Dialog.isVisible());
    }
    QCOMPARE(Finished.count(), 0);
}

void TestExport::dialogResults()
{
    {
        TfrmExp Dialog(nullptr);
        Dialog.show();
        Dialog.edtName->setText(QStringLiteral("Моя подборка"));
        QTest::mouseClick(Dialog.btnOK, Qt::LeftButton);
        QCOMPARE(Dialog.result(), int(QDialog::Accepted));
        QCOMPARE(Dialog.ExportName(), QStringLiteral("Моя подборка"));
    }
    {
        TfrmExp Dialog(nullptr);
        Dialog.show();
        Dialog.edtName->clear();
        QTest::mouseClick(Dialog.btnOK, Qt::LeftButton);
        QCOMPARE(Dialog.ExportName(), QString());
    }
    {
        TfrmExp Dialog(nullptr);
        Dialog.show();
        Dialog.edtName->setText(QStringLiteral("typed"));
        QTest::mouseClick(Dialog.btnClose, Qt::LeftButton);
        QVERIFY(!Dialog.isVisible());
        QCOMPARE(Dialog.ExportName(), ExportDefaultName);
    }
    {
        // The close box.
        TfrmExp Dialog(nullptr);
        Dialog.show();
        Dialog.edtName->setText(QStringLiteral("typed"));
        QVERIFY(Dialog.close());
        QCOMPARE(Dialog.ExportName(), ExportDefaultName);
    }
}

void TestExport::askExportNameRunsTheDialog()
{
    // The platform's own dialog, modal, answered by clicks from inside its loop.
    TExportPlatform Platform;
    QWidget Owner;
    const auto& Answer = AnswerNameDialog;
    Answer([](TfrmExp& D) {
        QCOMPARE(D.edtName->text(), ExportDefaultName);
        D.edtName->clear();
        D.btnOK->click();
    });
    QCOMPARE(Platform.AskExportName(&Owner), QString());
    Answer([](TfrmExp& D) {
        D.edtName->setText("x");
        D.btnClose->click();
    });
    QCOMPARE(Platform.AskExportName(&Owner), ExportDefaultName);
    // A new dialog each time: the text typed before is gone.
    Answer([](TfrmExp& D) { D.btnOK->click(); });
    QCOMPARE(Platform.AskExportName(&Owner), ExportDefaultName);
}

// --- The commands of the main window -----------------------------------------------

void TestExport::MakeFolder(QTemporaryDir& Dir, const QByteArray& Page, const QByteArray& Mid)
{
    QVERIFY(QDir(Dir.path()).mkpath("fls"));
    if (!Page.isNull()) WriteAll(Dir.filePath("fls/template.tpl"), Page);
    if (!Mid.isNull()) WriteAll(Dir.filePath("fls/mid.tpl"), Mid);
}

QString TestExport::WriteTorrent(const QTemporaryDir& Dir, const QString& Name, const QByteArray& Bytes)
{
    const QString FileName = Dir.filePath(Name);
    WriteAll(FileName, Bytes);
    return FileName;
}

void TestExport::htmlExportEndToEnd()
{
    QTemporaryDir Dir;
    MakeFolder(Dir, "<h1>{NAME}</h1>\n{CONTENT}<footer>{time}</footer>",
               "<p>{TITLE}|{LEN}|{COUNT}|{PIECES}|{PIECELEN}|{FILELIST}|{PRIVATE}|{COMMENT}|{LINK}</p>");
    TExportPlatform Platform;
    Platform.Folder = Dir.path() + u'/';
    Platform.NameAnswer = [] { return QStringLiteral("Моё <имя>"); };
    const QString Target = Dir.filePath("export.html");
    Platform.SaveAnswer = [&] { return Target; };

    TfrmKTZ Window(Platform, {});
    Window.SetExportNameQuestion([&Platform](QWidget* Owner) { return Platform.AskExportName(Owner); });
    Window.AddVST(WriteTorrent(Dir, "one.torrent", SingleFileTorrent("One", 1536, "<b>c</b>")));
    Window.AddVST(WriteTorrent(Dir, "two.torrent", TwoFileTorrent("Two")));
    Window.AddVST(WriteTorrent(Dir, "three.torrent", SingleFileTorrent("Three", 3 << 20)));
    QCOMPARE(Window.Entries().size(), 3);

    Window.mmAsHTMLClick();
    QCOMPARE(Platform.NameAsked, 1);
    QCOMPARE(Platform.SaveFilters, QStringList{QStringLiteral("HTML файл (.html)|*.html")});
    QCOMPARE(Platform.SaveExtensions, QStringList{".txt"});

    const QByteArray Bytes = ReadAll(Target);
    QVERIFY(Bytes.startsWith("\xEF\xBB\xBF"));
    const QString Page = Decoded(Bytes);
    const QStringList PageLines = Page.split(CRLF);
    QCOMPARE(PageLines.size(), 9);  // 1 + 3 blocks with their empty lines + footer + the end
    QCOMPARE(PageLines[0], QStringLiteral("<h1>Моё &lt;имя&gt;</h1>"));
    const auto& E = Window.Entries();
    QCOMPARE(PageLines[1], QStringLiteral("<p>One|1.50 kB|1|1|16 kB|||&lt;b&gt;c&lt;/b&gt;|%1</p>").arg(E[0].Link));
    QCOMPARE(PageLines[2], QString());
    QVERIFY2(PageLines[3].startsWith(QStringLiteral("<p>Two|30 B|2|1|16 kB|") +
                                     HtmlEscape(E[1].FileList.section(CRLF, 0, 0)) + "<br>"),
             qPrintable(PageLines[3]));
    QVERIFY(PageLines[3].endsWith(QStringLiteral("<br>|Private||%1</p>").arg(E[1].Link)));
    QCOMPARE(PageLines[5], QStringLiteral("<p>Three|3.00 MB|1|1|16 kB||||%1</p>").arg(E[2].Link));
    QVERIFY(PageLines[7].startsWith("<footer>") && PageLines[7].contains(" - "));
    QCOMPARE(PageLines[8], QString());
    QVERIFY(Platform.Errors.isEmpty());
}

void TestExport::htmlExportWithEmptyListAndCancelledSave()
{
    QTemporaryDir Dir;
    MakeFolder(Dir, "<main>{CONTENT}</main>{NAME}", "{TITLE}");
    TExportPlatform Platform;  // the real name dialog
    Platform.Folder = Dir.path() + u'/';
    const QString Target = Dir.filePath("empty.html");
    Platform.SaveAnswer = [&] { return Target; };
    TfrmKTZ Window(Platform, {});
    Window.SetExportNameQuestion([&Platform](QWidget* Owner) { return Platform.AskExportName(Owner); });

    // Cancel in the name dialog exports under the default name.
    AnswerNameDialog([](TfrmExp& D) {
        D.edtName->setText("typed");
        D.btnClose->click();
    });
    Window.mmAsHTMLClick();
    QCOMPARE(ReadAll(Target), QByteArray("\xEF\xBB\xBF<main></main>") + ExportDefaultName.toUtf8() + "\r\n");

    // An emptied field and OK export with an empty name.
    AnswerNameDialog([](TfrmExp& D) {
        D.edtName->clear();
        D.btnOK->click();
    });
    Window.mmAsHTMLClick();
    QCOMPARE(ReadAll(Target), QByteArray("\xEF\xBB\xBF<main></main>\r\n"));

    // Cancelling the save dialog writes nothing and says nothing.
    QFile::remove(Target);
    Platform.SaveAnswer = [] { return QString(); };
    AnswerNameDialog([](TfrmExp& D) { D.btnOK->click(); });
    Window.mmAsHTMLClick();
    QVERIFY(!QFile::exists(Target));
    QCOMPARE(Platform.SaveFilters.size(), 3);
    QVERIFY(Platform.Errors.isEmpty());
}

void TestExport::htmlExportMissingTemplate()
{
    for (const char* Missing : {"mid.tpl", "template.tpl"}) {
        QTemporaryDir Dir;
        MakeFolder(Dir, QByteArray(Missing) == "template.tpl" ? QByteArray() : QByteArray("{CONTENT}"),
                   QByteArray(Missing) == "mid.tpl" ? QByteArray() : QByteArray("{TITLE}"));
        TExportPlatform Platform;
        Platform.Folder = Dir.path() + u'/';
        Platform.NameAnswer = [] { return QStringLiteral("n"); };
        Platform.SaveAnswer = [&] { return Dir.filePath("out.html"); };
        TfrmKTZ Window(Platform, {});
        Window.SetExportNameQuestion([&Platform](QWidget* Owner) { return Platform.AskExportName(Owner); });
        Window.SetExportNameQuestion([&Platform](QWidget* Owner) { return Platform.AskExportName(Owner); });

        const QString Message = RaisedMessage([&] { Window.mmAsHTMLClick(); });
        QCOMPARE(Message, QStringLiteral("Cannot open file \"%1\". No such file or directory")
                              .arg(Dir.filePath(QStringLiteral("fls/") + Missing)));
        QCOMPARE(Platform.NameAsked, 1);          // after the name dialog
        QVERIFY(Platform.SaveFilters.isEmpty());  // before the save dialog
        QVERIFY(!QFile::exists(Dir.filePath("out.html")));
    }
}

void TestExport::htmlExportTakesEntriesAfterTheNameDialog()
{
    QTemporaryDir Dir;
    MakeFolder(Dir, "{CONTENT}", "{TITLE}");
    TExportPlatform Platform;
    Platform.Folder = Dir.path() + u'/';
    TfrmKTZ Window(Platform, {});
    Window.SetExportNameQuestion([&Platform](QWidget* Owner) { return Platform.AskExportName(Owner); });
    const QString First = WriteTorrent(Dir, "a.torrent", SingleFileTorrent("A", 2048));
    const QString Second = WriteTorrent(Dir, "b.torrent", SingleFileTorrent("B", 2048));
    Window.AddVST(First);
    // A file handed over while a dialog is open.
    Platform.NameAnswer = [&] {
        Window.AddVST(Second);
        return QString();
    };
    Platform.SaveAnswer = [&] {
        Window.AddVST(WriteTorrent(Dir, "c.torrent", SingleFileTorrent("C", 2048)));
        return Dir.filePath("out.html");
    };
    Window.mmAsHTMLClick();
    QCOMPARE(Decoded(ReadAll(Dir.filePath("out.html"))), Lines({"A", "", "B", "", ""}));
    QCOMPARE(Window.Entries().size(), 3);
}

void TestExport::htmlExportUsersOwnTemplates_data()
{
    // The templates in $XDG_DATA_HOME/velmora/fls; "name=/dev/zero" is a symbolic link
    // to it, "name=fifo" a FIFO.
    QTest::addColumn<QStringList>("Own");
    QTest::addColumn<QString>("Page");
    QTest::addColumn<QString>("Error");  // "%1" stands for the user's template folder
    QTest::newRow("none") << QStringList() << "<p>A\r\n\r\n</p>\r\n" << QString();
    QTest::newRow("both") << QStringList{"template.tpl", "mid.tpl"} << "<div>[A]\r\n\r\n</div>\r\n" << QString();
    QTest::newRow("the page only") << QStringList{"template.tpl"} << "<div>A\r\n\r\n</div>\r\n" << QString();
    QTest::newRow("the entry only") << QStringList{"mid.tpl"} << "<p>[A]\r\n\r\n</p>\r\n" << QString();
    // A device would be read without end: it is refused, and the message says why.
    QTest::newRow("the page is /dev/zero") << QStringList{"template.tpl=/dev/zero"} << QString()
                                           << "Cannot open file \"%1template.tpl\". Not a regular file";
    QTest::newRow("the entry is a FIFO") << QStringList{"mid.tpl=fifo"} << QString()
                                         << "Cannot open file \"%1mid.tpl\". Not a regular file";
}

void TestExport::htmlExportUsersOwnTemplates()
{
    QFETCH(QStringList, Own);
    QFETCH(QString, Page);
    QFETCH(QString, Error);
    QTemporaryDir Dir;
    MakeFolder(Dir, "<p>{CONTENT}</p>", "{TITLE}");
    const QString UserFolder = FDataHome.path() + QStringLiteral("/velmora/fls/");
    QVERIFY(QDir().mkpath(UserFolder));
    if (Own.contains("template.tpl")) WriteAll(UserFolder + "template.tpl", "<div>{CONTENT}</div>");
    if (Own.contains("mid.tpl")) WriteAll(UserFolder + "mid.tpl", "[{TITLE}]");
    for (const QString& Special : Own) {
        const QString Name = Special.section(u'=', 0, 0), Kind = Special.section(u'=', 1);
        if (Kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(UserFolder + Name).constData(), 0600), 0);
        } else if (!Kind.isEmpty()) {
            QVERIFY(QFile::link(Kind, UserFolder + Name));
        }
    }
    TExportPlatform Platform;
    Platform.Folder = Dir.path() + u'/';
    Platform.NameAnswer = [] { return QString(); };
    Platform.SaveAnswer = [&] { return Dir.filePath("out.html"); };
    TfrmKTZ Window(Platform, {});
    Window.SetExportNameQuestion([&Platform](QWidget* Owner) { return Platform.AskExportName(Owner); });
    Window.AddVST(WriteTorrent(Dir, "a.torrent", SingleFileTorrent("A", 2048)));

    // Should anything wait on the FIFO, the alarm ends the test instead of hanging it.
    ::alarm(20);
    const QString Raised = RaisedMessage([&] { Window.mmAsHTMLClick(); });
    ::alarm(0);
    QDir(FDataHome.path() + QStringLiteral("/velmora")).removeRecursively();
    if (!Error.isEmpty()) {
        QCOMPARE(Raised, Error.arg(UserFolder));
        QVERIFY(!QFile::exists(Dir.filePath("out.html")));
        return;
    }
    QCOMPARE(Raised, QStringLiteral("<nothing raised>"));
    QCOMPARE(Decoded(ReadAll(Dir.filePath("out.html"))), Page);
}

void TestExport::listExportEndToEnd()
{
    QTemporaryDir Dir;
    TExportPlatform Platform;
    Platform.Folder = Dir.path() + u'/';  // no templates: the list needs none
    const QString Target = Dir.filePath("links.txt");
    TfrmKTZ Window(Platform, {});
    Window.SetExportNameQuestion([&Platform](QWidget* Owner) { return Platform.AskExportName(Owner); });

    // An empty list gives an empty file.
    Platform.SaveAnswer = [&] { return Target; };
    Window.mmAsListClick();
    QVERIFY(QFile::exists(Target));
    QCOMPARE(QFileInfo(Target).size(), 0);

    const QString A = WriteTorrent(Dir, "a.torrent", SingleFileTorrent("A", 2048));
    const QString B = WriteTorrent(Dir, "b.torrent", TwoFileTorrent("B"));
    Window.AddVST(A);
    Window.AddVST(B);
    Window.AddVST(WriteTorrent(Dir, "c.torrent", SingleFileTorrent("C", 2048)));
    // Entries appended while the save dialog is open are not in the file.
    Platform.SaveAnswer = [&] {
        Window.AddVST(WriteTorrent(Dir, "d.torrent", SingleFileTorrent("D", 2048)));
        return Target;
    };
    Window.mmAsListClick();
    const auto& E = Window.Entries();
    QCOMPARE(E.size(), 4);
    QCOMPARE(ReadAll(Target), (E[0].Link + CRLF + E[1].Link + CRLF + E[2].Link + CRLF).toLatin1());
    QCOMPARE(Platform.NameAsked, 0);
    QCOMPARE(Platform.SaveFilters, (QStringList{QStringLiteral("Текстовой файл (.txt)|*.txt"),
                                                QStringLiteral("Текстовой файл (.txt)|*.txt")}));
    QCOMPARE(Platform.SaveExtensions, (QStringList{".txt", ".txt"}));

    Platform.SaveAnswer = [] { return QString(); };
    QFile::remove(Target);
    Window.mmAsListClick();
    QVERIFY(!QFile::exists(Target));
    QVERIFY(Platform.Errors.isEmpty());
}

void TestExport::listExportUnwritableTarget()
{
    QTemporaryDir Dir;
    TExportPlatform Platform;
    Platform.Folder = Dir.path() + u'/';
    TfrmKTZ Window(Platform, {});
    Window.SetExportNameQuestion([&Platform](QWidget* Owner) { return Platform.AskExportName(Owner); });
    const QString Target = Dir.filePath("no/such/folder/links.txt");
    Platform.SaveAnswer = [&] { return Target; };
    QCOMPARE(RaisedMessage([&] { Window.mmAsListClick(); }),
             QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(Target));
}

// --- A sample for the eye ----------------------------------------------------------

void TestExport::writeSample()
{
    const QString Out = qEnvironmentVariable("VELMORA_EXPORT_SAMPLE");
    if (Out.isEmpty()) QSKIP("VELMORA_EXPORT_SAMPLE is not set");
    QVERIFY(QDir().mkpath(Out));
    const QString Fls = QStringLiteral(VELMORA_SOURCE_DIR "/fls/");
    const QString Page = ReadTextFile(Fls + "template.tpl");
    const QString Mid = ReadTextFile(Fls + "mid.tpl");

    TTorrentEntry A = Entry(QStringLiteral("Debian 12.5.0 amd64 netinst"), Link1);
    A.Size = 659554304;
    A.PieceLength = 262144;
    A.PieceCount = 2516;
    A.Comment = QStringLiteral("\"Debian CD from cdimage.debian.org\"");
    TTorrentEntry B = Entry(QStringLiteral("Сборник лекций по физике (2023) <PDF & DjVu>"), Link2);
    B.FileCount = 25;
    B.Size = 1288490189;
    B.PieceLength = 1048576;
    B.PieceCount = 1229;
    B.Comment = QStringLiteral("https://tracker.example.org/viewtopic.php?t=123456");
    const QStringList Topics = {QStringLiteral("Механика"), QStringLiteral("Термодинамика"),
                                QStringLiteral("Электричество и магнетизм"), QStringLiteral("Оптика")};
    for (int I = 1; I <= 24; ++I)
        B.FileList += QStringLiteral("Лекции\\%1 %2.%3\r\n")
                          .arg(I, 2, 10, QChar(u'0'))
                          .arg(Topics[(I - 1) % 4], I % 3 ? QStringLiteral("pdf") : QStringLiteral("djvu"));
    B.FileList += QStringLiteral("Обложка.jpg\r\n");
    B.Encoding = QStringLiteral("UTF-8");
    B.Private = QStringLiteral("Private");
    TTorrentEntry C =
        Entry(QStringLiteral("A.Very.Long.Release.Name.Without.Any.Spaces.2024.1080p.WEB-DL.x264-GROUP"), Link3);
    C.FileCount = 1;
    C.Size = 4831838208;
    C.PieceLength = 4194304;
    C.PieceCount = 1152;

    WriteFileWhole(
        Out + "/export-sample.html",
        EncodeExportPage(BuildExportPage(Page, Mid, {A, B, C}, QStringLiteral("Мои раздачи"), CurrentExportTime())));
    WriteFileWhole(Out + "/export-empty.html",
                   EncodeExportPage(BuildExportPage(Page, Mid, {}, ExportDefaultName, CurrentExportTime())));

    TfrmExp Dialog(nullptr);
    Dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Dialog));
    QVERIFY(Dialog.grab().save(Out + "/export-dialog.png"));
}

QTEST_MAIN(TestExport)
#include "tst_Export.moc"
