// The platform layer on Qt, Qt's translations and the application's last-resort
// error handler.
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include "Exceptions.h"
#include "FakePlatform.h"
#include "Application.h"
#include "PlatformQt.h"
#include "QtTranslation.h"

namespace {

// An object whose event handler fails the way a command of the window does.
class TThrower : public QObject {
public:
    int Handled = 0;
    bool event(QEvent* Event) override
    {
        if (Event->type() == QEvent::User) throw Exception("Cannot open file \"/x\". No such file or directory");
        if (Event->type() == QEvent::User + 1) throw 42;
        if (Event->type() == QEvent::User + 2) {
            ++Handled;
            return true;
        }
        return QObject::event(Event);
    }
};

void WriteScript(const QString& FileName, const QString& Body)
{
    QFile File(FileName);
    QVERIFY(File.open(QIODevice::WriteOnly));
    File.write("#!/bin/sh\n" + Body.toUtf8());
    File.close();
    File.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString ReadFile(const QString& FileName)
{
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(File.readAll());
}

}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void fullStopRule_data()
    {
        QTest::addColumn<QString>("Message");
        QTest::addColumn<QString>("Shown");
        QTest::newRow("letter") << "Unable to write to /a/fls/sets.ini"
                                << "Unable to write to /a/fls/sets.ini.";
        QTest::newRow("full stop") << "Done."
                                   << "Done.";
        QTest::newRow("closing parenthesis") << "Assertion failure (_form/frm_Main, line 12)"
                                             << "Assertion failure (_form/frm_Main, line 12)";
        QTest::newRow("hyphen, below the point") << "a -"
                                                 << "a -";
        QTest::newRow("slash, above the point") << "a/"
                                                << "a/.";
        QTest::newRow("digit") << "line 7"
                               << "line 7.";
        QTest::newRow("quote") << "file \"x\""
                               << "file \"x\"";
        QTest::newRow("Cyrillic") << "Ошибка"
                                  << "Ошибка.";
        QTest::newRow("empty") << ""
                               << "";
    }

    void fullStopRule()
    {
        QFETCH(QString, Message);
        QFETCH(QString, Shown);
        QCOMPARE(DefaultHandlerText(Message), Shown);
    }

    void notifyShowsAndGoesOn()
    {
        auto* App = static_cast<TVelmoraApplication*>(QCoreApplication::instance());
        TFakePlatform Platform;
        App->SetPlatform(&Platform);
        TThrower Thrower;
        QEvent Failing(QEvent::User);
        QCoreApplication::sendEvent(&Thrower, &Failing);
        QEvent Odd(QEvent::Type(QEvent::User + 1));
        QCoreApplication::sendEvent(&Thrower, &Odd);
        // Posted events too, through the event loop.
        QCoreApplication::postEvent(&Thrower, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&Thrower, new QEvent(QEvent::Type(QEvent::User + 2)));
        QCoreApplication::sendPostedEvents(&Thrower);
        App->SetPlatform(nullptr);

        QCOMPARE(Platform.Errors,
                 QStringList({"Cannot open file \"/x\". No such file or directory.", "Неизвестная ошибка.",
                              "Cannot open file \"/x\". No such file or directory."}));
        QCOMPARE(Thrower.Handled, 1);
    }

    void notifyWithoutPlatformShowsAMessageBox()
    {
        auto* App = static_cast<TVelmoraApplication*>(QCoreApplication::instance());
        QString Caption, Text;
        QMessageBox::Icon Icon = QMessageBox::NoIcon;
        Qt::TextFormat Format = Qt::AutoText;
        QTimer::singleShot(0, [&] {
            auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(Box);
            Caption = Box->windowTitle();
            Text = Box->text();
            Icon = Box->icon();
            Format = Box->textFormat();
            Box->accept();
        });
        App->HandleException(std::make_exception_ptr(Exception("<b>x</b> failed")));
        QCOMPARE(Caption, QStringLiteral("Velmora"));
        QCOMPARE(Text, QStringLiteral("<b>x</b> failed."));
        QCOMPARE(Icon, QMessageBox::Critical);
        QCOMPARE(Format, Qt::PlainText);
    }

    // Every box shows its message as DisplayText makes it: a file name inside cannot
    // hide itself or turn the message around.
    void showError_data()
    {
        QTest::addColumn<QString>("Message");
        QTest::addColumn<QString>("Shown");
        QTest::newRow("plain") << "Unable to write to /x."
                               << "Unable to write to /x.";
        QTest::newRow("right-to-left override in a refused file's name")
            << QStringLiteral(
                   "Файл \"/t/invoice\u202Etnerrot.fdp\" не добавлен: это не торрент-файл или он "
                   "повреждён.\n\nCorrupt File: Missing \"info\" segment")
            << QStringLiteral(
                   "Файл \"/t/invoice<U+202E>tnerrot.fdp\" не добавлен: это не торрент-файл или он "
                   "повреждён.\n\nCorrupt File: Missing \"info\" segment");
        QTest::newRow("terminal escape and isolate in a path")
            << QStringLiteral("Cannot create file \"/t/\x1B[2J\u2067a\". Permission denied.")
            << QStringLiteral("Cannot create file \"/t/<U+001B>[2J<U+2067>a\". Permission denied.");
    }

    void showError()
    {
        QFETCH(QString, Message);
        QFETCH(QString, Shown);
        TQtPlatform Platform;
        QString Caption, Text;
        QTimer::singleShot(0, [&] {
            auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(Box);
            Caption = Box->windowTitle();
            Text = Box->text();
            Box->accept();
        });
        Platform.ShowError(nullptr, Message);
        QCOMPARE(Caption, QStringLiteral("Velmora"));
        QCOMPARE(Text, Shown);
    }

    // The summary of a batch shows each file's line on one line of its own, as wide as
    // the box may grow on the screen; a longer one is cut, and the details hold it whole.
    void summaryBox_data()
    {
        QTest::addColumn<QStringList>("Lines");
        QTest::addColumn<bool>("Cut");
        const QString Reason = QStringLiteral(" — не торрент-файл или файл повреждён");
        QStringList Typical = {QStringLiteral("Не добавлено файлов: 10 из 12."), QString()};
        for (int File = 1; File <= 10; ++File)
            Typical << QStringLiteral("/home/user/Загрузки/Сериал.S01E%1.torrent").arg(File, 2, 10, QLatin1Char('0')) +
                           Reason;
        QTest::newRow("ten typical lines") << Typical << false;
        QTest::newRow("short lines") << QStringList(
                                            {"Не добавлено файлов: 2 из 2.", "", "/a — файла нет", "/b — это папка"})
                                     << false;
        QStringList Long = Typical;
        Long[3] = QStringLiteral("/home/user/") + QStringLiteral("очень-длинная-папка/").repeated(30) +
                  QStringLiteral("Сериал.S01E02.torrent") + Reason;
        QTest::newRow("a very long path") << Long << true;
    }

    void summaryBox()
    {
        QFETCH(QStringList, Lines);
        QFETCH(bool, Cut);
        const QString Message = Lines.join(u'\n');
        TQtPlatform Platform;
        QWidget Owner;
        int Width = 0, Screen = 0, TextHeight = 0, LineHeight = 0;
        QString Shown, Details;
        QTimer::singleShot(0, [&] {
            auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(Box);
            auto* Text = Box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            QVERIFY(Text);
            Width = Box->frameGeometry().width();
            Screen = Box->screen()->availableGeometry().width();
            TextHeight = Text->heightForWidth(Text->width());
            LineHeight = Text->fontMetrics().lineSpacing();
            Shown = Box->text();
            Details = Box->detailedText();
            Box->accept();
        });
        Platform.ShowSummary(&Owner, Message, QString());
        QVERIFY2(Width <= Screen, qPrintable(QStringLiteral("%1 > %2").arg(Width).arg(Screen)));
        // No line is broken in two.
        QVERIFY2(TextHeight < (Lines.size() + 1) * LineHeight,
                 qPrintable(QStringLiteral("%1 for %2 lines of %3").arg(TextHeight).arg(Lines.size()).arg(LineHeight)));
        QCOMPARE(Shown.split(u'\n').size(), Lines.size());
        QCOMPARE(Shown == Message, !Cut);
        QCOMPARE(Details, Cut ? Message : QString());
        // The folders go, the file's name and its reason stay.
        if (Cut)
            QVERIFY2(Shown.contains(QRegularExpression(QStringLiteral(
                         "\n/home/user/[^\n]*…[^\n]*/Сериал.S01E02.torrent — не торрент-файл или файл повреждён\n"))),
                     qPrintable(Shown));
    }

    void dialogFilter_data()
    {
        QTest::addColumn<QString>("Filter");
        QTest::addColumn<QString>("Qt");
        QTest::newRow("open") << "Torrent File (.torrent)|*.torrent"
                              << "Torrent File (.torrent) (*.torrent)";
        QTest::newRow("text list") << "Текстовой файл (.txt)|*.txt"
                                   << "Текстовой файл (.txt) (*.txt)";
        QTest::newRow("HTML") << "HTML файл (.html)|*.html"
                              << "HTML файл (.html) (*.html)";
        QTest::newRow("two pairs") << "A|*.a|B|*.b;*.c"
                                   << "A (*.a);;B (*.b *.c)";
        QTest::newRow("empty") << ""
                               << "";
    }

    void dialogFilter()
    {
        QFETCH(QString, Filter);
        QFETCH(QString, Qt);
        QCOMPARE(QtDialogFilter(Filter), Qt);
    }

    // What the save dialog gives for a typed name, with the filter that opens it or
    // the one chosen from its list.
    void saveDialogSuffix_data()
    {
        QTest::addColumn<QString>("Filter");
        QTest::addColumn<int>("Chosen");     // how many steps down the filter list; 0 keeps the first
        QTest::addColumn<QString>("Shown");  // the first filter as the list names it
        QTest::addColumn<QString>("Typed");
        QTest::addColumn<QString>("Saved");
        const QString Html = QStringLiteral("HTML файл (.html)|*.html");
        const QString Text = QStringLiteral("Текстовой файл (.txt)|*.txt");
        const QString Both = QStringLiteral("Страница|*.html|Список|*.txt");
        QTest::newRow("HTML") << Html << 0 << "HTML файл (.html)"
                              << "page"
                              << "page.html";
        QTest::newRow("HTML, extension typed") << Html << 0 << "HTML файл (.html)"
                                               << "page.htm"
                                               << "page.htm";
        QTest::newRow("text list") << Text << 0 << "Текстовой файл (.txt)"
                                   << "links"
                                   << "links.txt";
        QTest::newRow("text list, other extension") << Text << 0 << "Текстовой файл (.txt)"
                                                    << "links.lst"
                                                    << "links.lst";
        QTest::newRow("any file: the default extension") << "Все файлы|*" << 0 << "Все файлы"
                                                         << "x"
                                                         << "x.txt";
        QTest::newRow("*.*: the default extension") << "Все файлы|*.*" << 0 << "Все файлы"
                                                    << "x"
                                                    << "x.txt";
        QTest::newRow("two filters, the first") << Both << 0 << "Страница"
                                                << "p"
                                                << "p.html";
        QTest::newRow("two filters, the second chosen") << Both << 1 << "Страница"
                                                        << "p"
                                                        << "p.txt";
    }

    void saveDialogSuffix()
    {
        QFETCH(QString, Filter);
        QFETCH(int, Chosen);
        QFETCH(QString, Shown);
        QFETCH(QString, Typed);
        QFETCH(QString, Saved);
        QTemporaryDir Dir;
        QFileDialog Dialog;
        Dialog.setOption(QFileDialog::DontUseNativeDialog);
        PrepareSaveDialog(Dialog, Filter, QStringLiteral(".txt"));
        Dialog.setDirectory(Dir.path());
        QVERIFY(Dialog.testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(Dialog.acceptMode(), QFileDialog::AcceptSave);
        Dialog.show();
        auto* Types = Dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QVERIFY(Types);
        QCOMPARE(Types->itemText(0), Shown);
        for (int Step = 0; Step < Chosen; ++Step) QTest::keyClick(Types, Qt::Key_Down);
        Dialog.selectFile(Typed);
        QCOMPARE(Dialog.selectedFiles(), QStringList({QDir(Dir.path()).filePath(Saved)}));
    }

    void openLink_data()
    {
        QTest::addColumn<QString>("Link");
        QTest::addColumn<QString>("Opener");  // the stand-in's script; empty: none on PATH
        QTest::addColumn<bool>("Started");
        QTest::addColumn<bool>("Failed");
        QTest::addColumn<bool>("TooLong");  // the failure's reason: too long, else no program
        const QString Magnet = QStringLiteral("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567");
        QTest::newRow("handled") << Magnet << "exit 0" << true << false << false;
        QTest::newRow("no handler") << Magnet << "exit 3" << true << true << false;
        QTest::newRow("the action failed")
            << QStringLiteral("https://example.org/") << "exit 4" << true << true << false;
        QTest::newRow("killed") << Magnet << "kill -9 $$" << true << true << false;
        QTest::newRow("no xdg-open") << Magnet << QString() << false << true << false;
        QTest::newRow("no scheme: not handed over") << QStringLiteral("xterm") << "exit 0" << false << false << false;
        // A full link with thousands of trackers: the system takes no argument that
        // long, and the handler would be blamed for it.
        auto WithTrackers = [&](qsizetype Length) {
            QString Link = Magnet;
            for (int Tracker = 0;; ++Tracker) {
                const QString Next = QStringLiteral("&tr=udp://tracker%1.example.org:6969").arg(Tracker);
                if (Link.size() + Next.size() > Length) break;
                Link += Next;
            }
            return Link + QString(Length - Link.size(), u'0');
        };
        const qsizetype Longest = TOpenerQueue::LongestArgument();
        QTest::newRow("as long as an argument may be") << WithTrackers(Longest) << "exit 0" << true << false << false;
        QTest::newRow("a byte longer") << WithTrackers(Longest + 1) << "exit 0" << false << true << true;
        QTest::newRow("3 MB of trackers") << WithTrackers(3 << 20) << "exit 0" << false << true << true;
    }

    void openLink()
    {
        QFETCH(QString, Link);
        QFETCH(QString, Opener);
        QFETCH(bool, Started);
        QFETCH(bool, Failed);
        QFETCH(bool, TooLong);
        QTemporaryDir Bin;
        const QString Log = Bin.filePath(QStringLiteral("log"));
        if (!Opener.isNull())
            WriteScript(Bin.filePath(LinkOpener), QStringLiteral("printf '%s' \"$1\" > '%1'\n%2\n").arg(Log, Opener));
        const QByteArray Path = qgetenv("PATH");
        qputenv("PATH", Bin.path().toLocal8Bit());
        QStringList Failures;
        QList<TPlatform::TLinkFailure> Reasons;
        {
            TQtPlatform Platform;
            Platform.SetLinkFailureHandler([&](const QString& Failing, TPlatform::TLinkFailure Why) {
                Failures << Failing;
                Reasons << Why;
            });
            Platform.OpenLink(nullptr, Link);
            // Told from the event loop, never while OpenLink runs.
            if (TooLong) QVERIFY(Failures.isEmpty());
            qputenv("PATH", Path);
            if (Failed) QTRY_COMPARE(Failures, QStringList({Link}));
            if (Started) QTRY_COMPARE(ReadFile(Log), Link);
            QTest::qWait(100);  // a late report would still come
        }
        QCOMPARE(QFile::exists(Log), Started);
        QCOMPARE(Failures, Failed ? QStringList({Link}) : QStringList());
        if (Failed)
            QCOMPARE(Reasons, QList<TPlatform::TLinkFailure>(
                                  {TooLong ? TPlatform::TLinkFailure::TooLong : TPlatform::TLinkFailure::NoProgram}));
    }

    // OpenLink returns while the handler runs, and an opener still running when the
    // program ends runs on.
    void openLinkNeverWaits()
    {
        QTemporaryDir Bin;
        const QString Go = Bin.filePath(QStringLiteral("go"));
        const QString Done = Bin.filePath(QStringLiteral("done"));
        WriteScript(Bin.filePath(LinkOpener),
                    QStringLiteral("while [ ! -e '%1' ]; do sleep 0.05; done\necho \"$1\" > '%2'\n").arg(Go, Done));
        const QByteArray Path = qgetenv("PATH");
        qputenv("PATH", Bin.path().toLocal8Bit() + ':' + Path);
        {
            TQtPlatform Platform;
            Platform.OpenLink(nullptr, QStringLiteral("magnet:?xt=urn:btih:00"));
            qputenv("PATH", Path);
            QVERIFY(!QFile::exists(Done));
        }
        QFile(Go).open(QIODevice::WriteOnly);
        QTRY_COMPARE(ReadFile(Done), QStringLiteral("magnet:?xt=urn:btih:00\n"));
    }

    // Qt's own texts in Russian when the translation is there; without it the program
    // goes on in English.
    void qtTranslation_data()
    {
        QTest::addColumn<QString>("Folder");   // empty: a fresh empty folder
        QTest::addColumn<QByteArray>("File");  // written there as qtbase_ru.qm unless empty
        QTest::addColumn<bool>("Installed");
        QTest::newRow("Qt's folder") << QtTranslationsFolder() << QByteArray() << true;
        QTest::newRow("missing") << QString() << QByteArray() << false;
        QTest::newRow("no translation file") << QString() << QByteArray("not a catalogue") << false;
    }

    void qtTranslation()
    {
        QFETCH(QString, Folder);
        QFETCH(QByteArray, File);
        QFETCH(bool, Installed);
        if (!Folder.isEmpty() && !QFile::exists(Folder + QStringLiteral("/qtbase_ru.qm")))
            QSKIP("qt6-translations-l10n is not installed");
        QTemporaryDir Empty;
        if (Folder.isEmpty()) Folder = Empty.path();
        if (!File.isEmpty()) {
            QFile Catalogue(Folder + QStringLiteral("/qtbase_ru.qm"));
            QVERIFY(Catalogue.open(QIODevice::WriteOnly));
            Catalogue.write(File);
        }
        QCOMPARE(InstallQtTranslation(*QCoreApplication::instance(), Folder), Installed);
        const QString Cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
        QCOMPARE(Cancel, Installed ? QStringLiteral("Отмена") : QStringLiteral("Cancel"));
        for (QTranslator* Translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(Translator);
            delete Translator;
        }
    }

    void copyFieldText()
    {
        TQtPlatform Platform;
        QLineEdit Field(QStringLiteral("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567"));
        Field.setReadOnly(true);
        QGuiApplication::clipboard()->clear();
        // The field may show only the start of what it stands for; the whole is copied.
        const QString Whole = Field.text() + QStringLiteral("&tr=") + QString(100000, u'a');
        Platform.CopyFieldText(&Field, Whole);
        QCOMPARE(QGuiApplication::clipboard()->text(), Whole);
        QCOMPARE(Field.selectedText(), Field.text());
    }

    void programFolder()
    {
        TQtPlatform Platform;
        QCOMPARE(Platform.ProgramFolder(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    }
};

int main(int argc, char** argv)
{
    TVelmoraApplication Application(argc, argv);
    TestPlatform Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "tst_Platform.moc"
