// The program's main function. The first copy of the program takes the per-user
// lock, listens for later copies, and runs the main window with the files named on
// its command line. A later copy hands its arguments to the running copy and ends
// without starting the window system.
#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "HandOffServer.h"
#include "LocalPath.h"
#include "OnlyOne.h"
#include "Application.h"
#include "PlatformQt.h"
#include "QtTranslation.h"
#include "frm_Main.h"

namespace {

// Marks the window as closing from the moment it is asked to close (its close may
// show a box, "Unable to write", for as long as the user leaves it) until it is
// shown again.
class TClosingWatch : public QObject {
public:
    bool Closing = false;
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::Close)
            Closing = true;
        else if (Event->type() == QEvent::Show)
            Closing = false;
        return QObject::eventFilter(Watched, Event);
    }
};

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

// Set once a running copy of an earlier version has refused a stream: its texts
// then go one at a time.
bool OneAtATime = false;

void ComplainOfGivingUp(int argc);

// Each argument made absolute, then "?"; without arguments only a request to come
// forward. Exit code 0 when the running copy has taken everything; nullopt when it
// would not take the batch or ended meanwhile (it is closing), which is worth
// another try.
std::optional<int> HandOff(int argc, char** argv)
{
    const auto Retry = [] {
        const THandOffFailure Why = HandOffFailure();
        return Why == THandOffFailure::Refused || Why == THandOffFailure::Broken;
    };
    const auto GiveUp = [argc](const char* What) {
        if (HandOffFailure() == THandOffFailure::TimedOut)
            ComplainOfGivingUp(argc);
        else
            ComplainOfHandOff(What);
        return 1;
    };
    if (argc <= 1) {
        if (BringFirstInstanceForward()) return 0;
        if (Retry()) return std::nullopt;
        return GiveUp(QT_TRANSLATE_NOOP("Velmora", "запущенная копия не вышла вперёд"));
    }
    if (!OneAtATime) {
        std::vector<std::string> Texts;
        Texts.reserve(std::size_t(argc - 1));
        for (int I = 1; I < argc; ++I) Texts.push_back(AbsoluteArgument(argv[I]));
        std::vector<std::size_t> Skipped;
        if (PassAllToFirstInstance(Texts, &Skipped)) {
            for (const std::size_t I : Skipped)
                Complain(std::string("файл не передан запущенной копии") + ": an argument of " +
                         std::to_string(Texts[I].size()) + " bytes is too long to hand over");
            return Skipped.empty() ? 0 : 1;
        }
        if (HandOffStreamRefused()) {
            OneAtATime = true;
            return std::nullopt;
        }
        if (Retry()) return std::nullopt;
        return GiveUp(QT_TRANSLATE_NOOP("Velmora", "запущенная копия не приняла конец передачи"));
    }
    int ExitCode = 0;
    for (int I = 1; I < argc; ++I) {
        if (PassToFirstInstance(AbsoluteArgument(argv[I]))) continue;
        if (Retry()) return std::nullopt;
        if (HandOffFailure() == THandOffFailure::TimedOut) return GiveUp("");
        ComplainOfHandOff(QT_TRANSLATE_NOOP("Velmora", "файл не передан запущенной копии"));
        ExitCode = 1;
        // A text that was too long to send leaves the connection open; the others
        // still go.
        if (!ConnectedToFirstInstance()) return 1;
    }
    if (!PassToFirstInstance(HandOffEndMark)) {
        if (Retry()) return std::nullopt;
        return GiveUp(QT_TRANSLATE_NOOP("Velmora", "запущенная копия не приняла конец передачи"));
    }
    return ExitCode;
}

// Says why the files (or the request to come forward) did not reach the running
// copy, once the later copy gives up.
void ComplainOfGivingUp(int argc)
{
    const int Seconds = int(std::chrono::ceil<std::chrono::seconds>(HandOffPatience).count());
    QString Text;
    switch (HandOffFailure()) {
    case THandOffFailure::TimedOut:
        Text = QCoreApplication::translate(
                   "Velmora",
                   "запущенная копия Velmora жива, но занята и не приняла файлы за %1 с; файлы не переданы, "
                   "откройте их ещё раз")
                   .arg(Seconds);
        break;
    case THandOffFailure::Refused:
    case THandOffFailure::Broken:
        Text = QCoreApplication::translate(
                   "Velmora",
                   "запущенная копия Velmora закрывается и за %1 с так и не закрылась; файлы не переданы, "
                   "откройте их ещё раз")
                   .arg(Seconds);
        break;
    default: Text = QString::fromUtf8("нет связи с запущенной копией"); break;
    }
    if (argc <= 1) Text = QCoreApplication::translate("Velmora", "запущенная копия Velmora не ответила");
    ComplainOfHandOff(Text.toStdString().c_str());
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

    // Batches that arrive while the window is being made (a box about one of its own
    // files may be up for long) are taken at once and opened after its own files.
    struct TReceiving {
        QStringList Early;
        bool WindowUp = false;
        QPointer<TfrmKTZ> Window;
        TClosingWatch Closing;
    } Receiving;

    // Listening before the window exists and loads the command line: a later copy
    // that connects meanwhile is answered, and its paths are loaded after this
    // copy's own.
    THandOffServer Server;
    if (Alone.empty() && !Server.Listen(QFile::decodeName(QByteArray::fromStdString(Folder))))
        Alone =
            QCoreApplication::translate("Velmora", "следующие копии не смогут передавать сюда файлы: ").toStdString() +
            Server.ErrorString().toStdString();
    if (!Alone.empty())
        Complain(QCoreApplication::translate("Velmora", "работает отдельно, следующие запуски откроют свои окна: ")
                     .toStdString() +
                 Alone);
    Server.SetHandlers(
        [&Receiving](const QStringList& Paths) {
            if (!Receiving.WindowUp) {
                Receiving.Early += Paths;
                return true;
            }
            // Once the window is closing, a batch is no longer taken: its sender
            // learns so instead of being told that its files were received.
            const QPointer<TfrmKTZ>& Window = Receiving.Window;
            if (!Window || !Window->isVisible() || Receiving.Closing.Closing) return false;
            Window->OpenHandedOver(Paths);
            return true;
        },
        [&Receiving] {
            if (TfrmKTZ* Window = Receiving.Window) {
                Window->raise();
                Window->activateWindow();
            }
        });

    // The paths as their bytes stand in argv (what Qt left of it): a name that is
    // no UTF-8 must still open.
    QStringList Paths;
    for (int I = 1; I < argc; ++I) Paths << PathFromLocal(argv[I]);
    TfrmKTZ frmKTZ(Platform, Paths);
    if (!Alone.empty()) frmKTZ.ShowLoneCopy(QString::fromStdString(Alone));
    Receiving.Window = &frmKTZ;
    frmKTZ.installEventFilter(&Receiving.Closing);
    frmKTZ.show();
    Receiving.WindowUp = true;
    frmKTZ.OpenHandedOver(std::exchange(Receiving.Early, {}));
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
        // A running copy that is closing (a box of its close still up) refuses the
        // batch: this copy tries again, backing off, until that copy has ended and
        // this one takes the lock and opens the files itself, or patience runs out.
        auto Patience = HandOffPatience;
        auto Pause = std::chrono::milliseconds(50);
        bool First = false;
        while (!First) {
            switch (ConnectToFirstInstance(VelmoraMutexName, HandOffStartupWait, Patience)) {
            case THandOffConnect::Connected:
                if (const std::optional<int> ExitCode = HandOff(argc, argv)) return *ExitCode;
                Patience = HandOffTimeLeft();
                if (Patience <= Pause) {
                    ComplainOfGivingUp(argc);
                    return 1;
                }
                std::this_thread::sleep_for(Pause);
                Patience -= Pause;
                Pause = std::min(Pause * 2, std::chrono::milliseconds(1000));
                break;
            case THandOffConnect::Failed:
                if (HandOffFailure() == THandOffFailure::TimedOut)
                    ComplainOfGivingUp(argc);
                else
                    ComplainOfHandOff(QT_TRANSLATE_NOOP("Velmora", "нет связи с запущенной копией"));
                return 1;
            case THandOffConnect::BecameFirst: First = true; break;
            }
        }
    }
    std::string Why;
    const std::string Folder = RuntimeFolder(&Why);
    return RunFirstCopy(argc, argv, Folder, Folder.empty() ? Why : std::string());
}
