// The desktop services that the window calls, behind one small interface, so that
// the window's logic can be driven in tests by a double (tests/gui) instead of real
// dialogs, message boxes and a desktop.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

#include "DisplayText.h"

class QWidget;
class QLineEdit;

class TPlatform {
public:
    virtual ~TPlatform() = default;

    // Hands a link to the desktop's handler for it (magnet:, http: ...) and returns at
    // once, without waiting for the handler. When the desktop turns out to have no
    // program for it, or the link is too long to hand to one, the link failure handler
    // learns so later, from the event loop.
    virtual void OpenLink(QWidget* Owner, const QString& Link) = 0;

    // Why OpenLink could not hand a link to a program.
    enum class TLinkFailure {
        NoProgram,  // the desktop has none for it, or the one it has failed
        TooLong,    // the system hands no text that long to a program
    };
    // Who is told of links that OpenLink could not hand to a program; none at first.
    using TLinkFailureHandler = std::function<void(const QString& Link, TLinkFailure Why)>;
    void SetLinkFailureHandler(TLinkFailureHandler Handler) { FLinkFailureHandler = std::move(Handler); }
    // Tells the handler that Link found no program, and why.
    void LinkFailed(const QString& Link, TLinkFailure Why = TLinkFailure::NoProgram)
    {
        if (FLinkFailureHandler) FLinkFailureHandler(Link, Why);
    }

    // Profile (INI) file with the Windows semantics: section and key names matched
    // without regard to case; other sections, keys and comments kept on writing;
    // the file created when missing, its folder not.
    // ReadSetting: the stored text, or Default when the file, section or key is missing.
    virtual QString ReadSetting(const QString& FileName, const QString& Section, const QString& Key,
                                const QString& Default) = 0;
    // Raises Exception("Unable to write to <path>") when the file cannot be written.
    virtual void WriteSetting(const QString& FileName, const QString& Section, const QString& Key,
                              const QString& Value) = 0;

    // Selects the whole text of the field, which stays selected, and copies Text to
    // the clipboard: the whole of what the field stands for, of which it may show
    // only the start (ShownText).
    virtual void CopyFieldText(QLineEdit* Field, const QString& Text) = 0;

    // Open and save dialogs. Filter is in the "Description|*.ext" form. An empty
    // result means the user cancelled. A name typed without an extension in the save
    // dialog gets the one of the chosen filter's first pattern, DefaultExtension
    // when that pattern names none (".txt", the point optional).
    virtual QStringList ChooseOpenFiles(QWidget* Owner, const QString& Filter) = 0;
    virtual QString ChooseSaveFile(QWidget* Owner, const QString& Filter, const QString& DefaultExtension) = 0;

    // Puts Text on the clipboard.
    virtual void CopyText(const QString& Text) = 0;

    // Asks a yes-or-no question (caption "Velmora"); true for yes.
    virtual bool Ask(QWidget* Owner, const QString& Question) = 0;

    // Shows the end of a batch that did not all load (warning icon, caption
    // "Velmora"): Message in the box, Details (the whole list) for those who open it.
    virtual void ShowSummary(QWidget* Owner, const QString& Message, const QString& Details) = 0;

    // Shows an error message box (error icon, caption "Velmora"). Every box shows its
    // message as DisplayText makes it: a file name or a torrent's text inside it can
    // neither hide itself nor turn the message around.
    void ShowError(QWidget* Owner, const QString& Message) { ShowErrorBox(Owner, DisplayText(Message)); }

    // The program file's folder, ending in '/'.
    virtual QString ProgramFolder() = 0;

    // Whether this user may create and replace files in Folder (a path without a
    // final '/'); false for a missing folder. Decides where the settings file is.
    virtual bool CanWriteFolder(const QString& Folder) = 0;

protected:
    // The box of ShowError, given its message made safe to show.
    virtual void ShowErrorBox(QWidget* Owner, const QString& Message) = 0;

private:
    TLinkFailureHandler FLinkFailureHandler;
};
