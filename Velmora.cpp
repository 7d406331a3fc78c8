// The program's main function. The first copy of the program takes the per-user
// lock, listens for later copies, and runs the main window with the files named on
// its command line. A later copy hands its arguments to the running copy and ends
// without starting the window system.
#include <QByteArray>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QStringList>

#include <cstdio>
#include <string>

#include "HandOffServer.h"
#include "LocalPath.h"
#include "OnlyOne.h"
#include "Application.h"
#include "PlatformQt.h"
#include "QtTranslation.h"
#include "frm_Main.h"

namespace {

void Complain(const std::string& Text)
{
    std::fprintf(stderr, "velmora: %s\n", Text.c_str());
}

// The notes go to stderr in Russian, as the windows speak; the reason after the
// colon is the hand-off's own.
void ComplainOfHandOff(const char* What)
{
    Complain(QCoreApplication::translate("Velmora", What).toStdString() + ": " + HandOffError());
}

// Each argument made absolute, then "?"; without arguments only a request to come
// forward. Exit code 0 when the running copy has taken everything.
int HandOff(int argc, char** argv)
{
    if (argc <= 1) {
        if (BringFirstInstanceForward()) return 0;
        ComplainOfHandOff(QT_TRANSLATE_NOOP("Velmora", "запущенная копия не вышла вперёд"));
        return 1;
    }
    int ExitCode = 0;
    for (int I = 1; I < argc; ++I) {
        if (PassToFirstInstance(AbsoluteArgument(argv[I]))) continue;
        ComplainOfHandOff(QT_TRANSLATE_NOOP("Velmora", "файл не передан запущенной копии"));
        ExitCode = 1;
        // A text that was too long to send leaves the connection open; the others
        // still go.
        if (!ConnectedToFirstInstance()) return 1;
    }
    if (!PassToFirstInstance("?")) {
        ComplainOfHandOff(QT_TRANSLATE_NOOP("Velmora", "запущенная копия не приняла конец передачи"));
        return 1;
    }
    return ExitCode;
}

// Runs the window. Folder is where to listen for later copies; empty, with Alone
// saying why, when this copy found no safe place to meet them and runs alone.
int RunFirstCopy(int argc, char** argv, const std::string& Folder, std::string Alone)
{
    TVelmoraApplication Application(argc, argv);
    Application.setApplicationName("Velmora");
    // Before any window: Qt's dialogs and menus take their texts as they are built.
    // Without the translations they stay in English.
    InstallTranslations(Application, QLocale::system(), QtTranslationsFolder());

    TQtPlatform Platform;
    Application.SetPlatform(&Platform);

    // Listening before the window exists and loads the command line: a later copy
    // that connects meanwhile waits for its answer, and its paths are loaded after
    // this copy's own.
    THandOffServer Server;
    if (Alone.empty() && !Server.Listen(QFile::decodeName(QByteArray::fromStdString(Folder))))
        Alone =
            QCoreApplication::translate("Velmora", "следующие копии не смогут передавать сюда файлы: ").toStdString() +
            Server.ErrorString().toStdString();
    if (!Alone.empty())
        Complain(QCoreApplication::translate("Velmora", "работает отдельно, следующие запуски откроют свои окна: ")
                     .toStdString() +
                 Alone);

    // The paths as their bytes stand in argv (what Qt left of it): a name that is
    // no UTF-8 must still open.
    QStringList Paths;
    for (int I = 1; I < argc; ++I) Paths << PathFromLocal(argv[I]);
    TfrmKTZ frmKTZ(Platform, Paths);
    if (!Alone.empty()) frmKTZ.ShowLoneCopy(QString::fromStdString(Alone));
    QPointer<TfrmKTZ> Window(&frmKTZ);
    Server.SetHandlers(
        [Window](const QString& Text) {
            // Once the window has closed, a text is no longer taken: its sender learns
            // so instead of being told that it was loaded.
            if (!Window || !Window->isVisible()) return false;
            Window->WMCopyData(Text);
            return true;
        },
        [Window] {
            if (!Window) return;
            Window->raise();
            Window->activateWindow();
        });
    frmKTZ.show();
    Application.exec();
    Server.Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!IsFirstInstance(VelmoraMutexName)) {
        // No lock to be had (no safe folder, say): there is no running copy to meet,
        // and the user still gets a window.
        if (!InstanceLockError().empty()) return RunFirstCopy(argc, argv, {}, InstanceLockError());
        switch (ConnectToFirstInstance(VelmoraMutexName)) {
        case THandOffConnect::Connected: return HandOff(argc, argv);
        case THandOffConnect::Failed:
            ComplainOfHandOff(QT_TRANSLATE_NOOP("Velmora", "нет связи с запущенной копией"));
            return 1;
        case THandOffConnect::BecameFirst: break;
        }
    }
    std::string Why;
    const std::string Folder = RuntimeFolder(&Why);
    return RunFirstCopy(argc, argv, Folder, Folder.empty() ? Why : std::string());
}
