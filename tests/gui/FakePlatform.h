// The platform services for the window's tests: records the links handed to the
// desktop, the texts copied and the errors shown, answers the dialogs from scripts,
// and keeps the settings file in a temporary program folder through the real
// profile file code.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

#include "Platform.h"
#include "ProfileFile.h"

class TFakePlatform : public TPlatform {
public:
    // The program folder is a fresh temporary folder, with its "fls" folder unless
    // told otherwise.
    explicit TFakePlatform(bool WithDataFolder = true)
    {
        Folder = Dir.path() + QLatin1Char('/');
        if (WithDataFolder) QDir().mkpath(Folder + QStringLiteral("fls"));
    }

    QString SettingsFile() const { return Folder + QStringLiteral("fls/sets.ini"); }

    void OpenLink(QWidget*, const QString& Link) override
    {
        OpenedLinks << Link;
        if (OnOpenLink) OnOpenLink(Link);
    }

    QString ReadSetting(const QString& FileName, const QString& Section, const QString& Key,
                        const QString& Default) override
    {
        return ProfileReadString(FileName, Section, Key, Default);
    }

    void WriteSetting(const QString& FileName, const QString& Section, const QString& Key,
                      const QString& Value) override
    {
        ++SettingWrites;
        ProfileWriteString(FileName, Section, Key, Value);
    }

    // As the real one, without the desktop's clipboard: the field's whole text is
    // selected, and the text it stands for taken.
    void CopyFieldText(QLineEdit* Field, const QString& Text) override
    {
        Field->selectAll();
        Copied << Text;
    }

    void CopyText(const QString& Text) override { Copied << Text; }

    bool Ask(QWidget*, const QString& Question) override
    {
        Questions << Question;
        return Answers.isEmpty() ? false : Answers.takeFirst();
    }

    void ShowSummary(QWidget*, const QString& Message, const QString& Details) override
    {
        Summaries << Message;
        SummaryDetails << Details;
        if (OnError) OnError(Message);
    }

    QStringList ChooseOpenFiles(QWidget*, const QString& Filter) override
    {
        OpenFilters << Filter;
        if (OnChooseOpen) OnChooseOpen();
        return OpenAnswers.isEmpty() ? QStringList() : OpenAnswers.takeFirst();
    }

    QString ChooseSaveFile(QWidget*, const QString& Filter, const QString& DefaultExtension) override
    {
        SaveFilters << Filter;
        SaveExtensions << DefaultExtension;
        return SaveAnswers.isEmpty() ? QString() : SaveAnswers.takeFirst();
    }

    void ShowErrorBox(QWidget*, const QString& Message) override
    {
        Errors << Message;
        if (OnError) OnError(Message);
    }

    QString ProgramFolder() override { return Folder; }

    // A folder is writable while it exists and is not named in ReadOnlyFolders; the
    // tests run as root, whom permissions do not stop.
    bool CanWriteFolder(const QString& Path) override
    {
        return QFileInfo(Path).isDir() && !ReadOnlyFolders.contains(QDir::cleanPath(Path));
    }

    QTemporaryDir Dir;
    QString Folder;               // ends in '/'
    QStringList ReadOnlyFolders;  // paths without a final '/'

    // What the window did.
    QStringList OpenedLinks;
    QStringList Copied;
    QStringList Errors;
    QStringList Questions;
    QStringList Summaries;  // the end of a batch that did not all load
    QStringList SummaryDetails;
    QStringList OpenFilters;
    QStringList SaveFilters;
    QStringList SaveExtensions;
    int SettingWrites = 0;

    // What the dialogs answer, one element per call; an empty answer is a cancel.
    QList<QStringList> OpenAnswers;
    QStringList SaveAnswers;
    QList<bool> Answers;  // to the questions; none left answers no

    // Called as the window uses a service, for tests that act in the middle of it.
    std::function<void(const QString&)> OnOpenLink;
    std::function<void(const QString&)> OnError;
    std::function<void()> OnChooseOpen;
};
