#include "Application.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QWidget>

#include "DisplayText.h"
#include "Platform.h"

QString DefaultHandlerText(const QString& Message)
{
    if (!Message.isEmpty() && Message.back() > u'.') return Message + u'.';
    return Message;
}

QString ExceptionMessage(std::exception_ptr Error)
{
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& E) {
        return QString::fromUtf8(E.what());
    } catch (...) {
        return QCoreApplication::translate("TVelmoraApplication", "Неизвестная ошибка");
    }
}

void ShowException(TPlatform& Platform, QWidget* Owner, std::exception_ptr Error)
{
    Platform.ShowError(Owner, DefaultHandlerText(ExceptionMessage(Error)));
}

TVelmoraApplication::TVelmoraApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TVelmoraApplication::notify(QObject* Receiver, QEvent* Event)
{
    std::exception_ptr Error;
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        Error = std::current_exception();
    }
    HandleException(Error);
    return false;
}

void TVelmoraApplication::HandleException(std::exception_ptr Error)
{
    QWidget* Owner = activeWindow();
    if (FPlatform) {
        ShowException(*FPlatform, Owner, Error);
        return;
    }
    QMessageBox Box(QMessageBox::Critical, QStringLiteral("Velmora"),
                    DisplayText(DefaultHandlerText(ExceptionMessage(Error))), QMessageBox::Ok, Owner);
    Box.setTextFormat(Qt::PlainText);
    Box.exec();
}
