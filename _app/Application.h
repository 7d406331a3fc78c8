// The application object and the last-resort error handler of the event loop.
//
// Commands of the windows report failures by raising. Qt does not let exceptions
// cross its event loop, so every exception that leaves an event handler is caught
// here and shown in a message box (error icon, caption "Velmora"); the program then
// goes on. The window's own commands catch their exceptions at the connection and
// show them the same way, so that no exception has to unwind through Qt's frames.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>

class QWidget;
class TPlatform;

// The text that the error box shows for an exception's message: a full stop is
// appended when the message's last character has a code above that of '.'.
QString DefaultHandlerText(const QString& Message);

// The message of an exception: what() of a standard exception (UTF-8), a fixed
// text for anything else.
QString ExceptionMessage(std::exception_ptr Error);

// Shows an exception as the default handler does, through Platform.
void ShowException(TPlatform& Platform, QWidget* Owner, std::exception_ptr Error);

class TVelmoraApplication : public QApplication {
public:
    TVelmoraApplication(int& argc, char** argv);

    // Where the caught exceptions are shown; without one, a QMessageBox.
    void SetPlatform(TPlatform* Platform) { FPlatform = Platform; }
    TPlatform* Platform() const { return FPlatform; }

    bool notify(QObject* Receiver, QEvent* Event) override;

    // Shows an exception as the default handler does, then returns.
    void HandleException(std::exception_ptr Error);

private:
    TPlatform* FPlatform = nullptr;
};
