// The platform layer on Qt and the application's last-resort error handler.
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "Exceptions.h"
#include "FakePlatform.h"
#include "Application.h"
#include "PlatformQt.h"

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

}  // namespace

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void fullStopRule_data()
    {
        QTest::addColumn<QString>("Message");
        QTest::addColumn<QString>("Shown");
        QTest::newRow("letter") << "Unable to write to /a/fls/sets.ini" << "Unable to write to /a/fls/sets.ini.";
        QTest::newRow("full stop") << "Done." << "Done.";
        QTest::newRow("closing parenthesis") << "Assertion failure (_form/frm_Main, line 12)"
                                             << "Assertion failure (_form/frm_Main, line 12)";
        QTest::newRow("hyphen, below the point") << "a -" << "a -";
        QTest::newRow("slash, above the point") << "a/" << "a/.";
        QTest::newRow("digit") << "line 7" << "line 7.";
        QTest::newRow("quote") << "file \"x\"" << "file \"x\"";
        QTest::newRow("Cyrillic") << "Ошибка" << "Ошибка.";
        QTest::newRow("empty") << "" << "";
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

        QCOMPARE(Platform.Errors, QStringList({"Cannot open file \"/x\". No such file or directory.",
                                               "Неизвестная ошибка.",
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

    void showError()
    {
        TQtPlatform Platform;
        QString Caption, Text;
        QTimer::singleShot(0, [&] {
            auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(Box);
            Caption = Box->windowTitle();
            Text = Box->text();
            Box->accept();
        });
        Platform.ShowError(nullptr, QStringLiteral("Unable to write to /x."));
        QCOMPARE(Caption, QStringLiteral("Velmora"));
        QCOMPARE(Text, QStringLiteral("Unable to write to /x."));
    }

    void dialogFilter_data()
    {
        QTest::addColumn<QString>("Filter");
        QTest::addColumn<QString>("Qt");
        QTest::newRow("open") << "Torrent File (.torrent)|*.torrent" << "Torrent File (.torrent) (*.torrent)";
        QTest::newRow("text list") << "Текстовой файл (.txt)|*.txt" << "Текстовой файл (.txt) (*.txt)";
        QTest::newRow("HTML") << "HTML файл (.html)|*.html" << "HTML файл (.html) (*.html)";
        QTest::newRow("two pairs") << "A|*.a|B|*.b;*.c" << "A (*.a);;B (*.b *.c)";
        QTest::newRow("empty") << "" << "";
    }

    void dialogFilter()
    {
        QFETCH(QString, Filter);
        QFETCH(QString, Qt);
        QCOMPARE(QtDialogFilter(Filter), Qt);
    }

    void copyFieldText()
    {
        TQtPlatform Platform;
        QLineEdit Field(QStringLiteral("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567"));
        Field.setReadOnly(true);
        QGuiApplication::clipboard()->clear();
        Platform.CopyFieldText(&Field);
        QCOMPARE(QGuiApplication::clipboard()->text(), Field.text());
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
