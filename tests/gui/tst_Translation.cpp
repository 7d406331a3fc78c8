// The windows' language as the desktop's locale chooses it: the window started as
// the program starts it, under each locale in a process of its own (Qt reads the
// locale from the environment once), and its captions read back. Russian, the
// language the texts are written in, for C, POSIX, Russian and every locale without
// a translation; English from the compiled-in translation for English locales.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <cstdio>

#include "About.h"
#include "FakePlatform.h"
#include "QtTranslation.h"
#include "frm_Main.h"

namespace {

const char* const ChildVariable = "VELMORA_TRANSLATION_CHILD";

// In the child: the start's translations, then a window and its About box; their
// captions on standard output, one a line, and one of Qt's own texts.
int PrintCaptions(QApplication& Application)
{
    InstallTranslations(Application, QLocale::system(), QtTranslationsFolder());
    TFakePlatform Platform;
    TfrmKTZ Window(Platform, {});
    TAboutBox About(&Window);
    const QStringList Captions = {
        Window.btnRun->text(),
        Window.lblStatus->text(),
        Window.chkAuto->text(),
        Window.mmCopy->text(),
        Window.VSTModel->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
        About.windowTitle(),
        QCoreApplication::translate("QPlatformTheme", "Cancel"),
    };
    std::fputs(Captions.join(u'\n').toUtf8().constData(), stdout);
    return 0;
}

}  // namespace

class TestTranslation : public QObject {
    Q_OBJECT

private slots:
    void captionsFollowTheLocale_data()
    {
        QTest::addColumn<QStringList>("Environment");
        QTest::addColumn<QStringList>("Captions");
        const QStringList Russian = {
            "Запустить",        "Ждём...",    "Запускать автоматически", "Копировать выделенное",
            "Магнитная ссылка", "О программе"};
        const QStringList English = {"Run", "Waiting...", "Run automatically", "Copy selected", "Magnet link", "About"};
        QTest::newRow("C") << QStringList({"LANG=C"}) << Russian;
        QTest::newRow("POSIX") << QStringList({"LANG=POSIX"}) << Russian;
        QTest::newRow("no locale at all") << QStringList() << Russian;
        QTest::newRow("ru_RU.UTF-8") << QStringList({"LANG=ru_RU.UTF-8"}) << Russian;
        QTest::newRow("de_DE.UTF-8, no translation") << QStringList({"LANG=de_DE.UTF-8"}) << Russian;
        QTest::newRow("en_US.UTF-8") << QStringList({"LANG=en_US.UTF-8"}) << English;
        QTest::newRow("en_GB.UTF-8") << QStringList({"LANG=en_GB.UTF-8"}) << English;
        QTest::newRow("messages in English") << QStringList({"LANG=ru_RU.UTF-8", "LC_MESSAGES=en_US.UTF-8"}) << English;
        QTest::newRow("LC_ALL=C over English") << QStringList({"LANG=en_US.UTF-8", "LC_ALL=C"}) << Russian;
    }

    void captionsFollowTheLocale()
    {
        QFETCH(QStringList, Environment);
        QFETCH(QStringList, Captions);
        QProcessEnvironment Child = QProcessEnvironment::systemEnvironment();
        for (const char* Name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"})
            Child.remove(QLatin1String(Name));
        for (const QString& Assignment : Environment)
            Child.insert(Assignment.section(u'=', 0, 0), Assignment.section(u'=', 1));
        Child.insert(QLatin1String(ChildVariable), QStringLiteral("1"));
        QProcess Process;
        Process.setProcessEnvironment(Child);
        Process.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(Process.waitForFinished(120000));
        QCOMPARE(Process.exitCode(), 0);
        const QStringList Shown = QString::fromUtf8(Process.readAllStandardOutput()).split(u'\n');
        QCOMPARE(Shown.mid(0, Captions.size()), Captions);
        // Qt's own texts speak the window's language too: Russian from Qt's
        // translations, English as Qt has them.
        const bool English = Captions.front() == u"Run";
        QCOMPARE(Shown.value(Captions.size()), English ? QStringLiteral("Cancel") : QStringLiteral("Отмена"));
    }
};

int main(int argc, char** argv)
{
    QApplication Application(argc, argv);
    if (qEnvironmentVariableIsSet(ChildVariable)) return PrintCaptions(Application);
    TestTranslation Test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&Test, argc, argv);
}

#include "tst_Translation.moc"
