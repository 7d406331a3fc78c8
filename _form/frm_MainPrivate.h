// What the main window's source files share among themselves: the guard that shows
// what a command raises, and the mark of loading under way.
#pragma once

#include <QCoreApplication>

#include <QLabel>
#include <QPointer>

#include <exception>

#include "Application.h"
#include "frm_Main.h"

// The status pane's two texts: waiting, and loading under way.
inline QString StatusWaiting()
{
    return QCoreApplication::translate("TfrmKTZ", "Ждём...");
}
inline QString StatusWorking()
{
    return QCoreApplication::translate("TfrmKTZ", "Работаем...");
}

template <class F> void TfrmKTZ::Guarded(F&& Command)
{
    QPointer<TfrmKTZ> Self(this);
    TPlatform& Shown = FPlatform;
    try {
        Command();
    } catch (...) {
        ::ShowException(Shown, Self.data(), std::current_exception());
    }
}

struct TfrmKTZ::TBusy {
    QPointer<TfrmKTZ> Window;
    explicit TBusy(TfrmKTZ* Owner) : Window(Owner)
    {
        if (Owner->FBusy++ == 0) Owner->lblStatus->setText(StatusWorking());
    }
    ~TBusy()
    {
        if (Window && --Window->FBusy == 0) Window->Idle();
    }
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;
};
