// Where the program's data files are for this user. The program folder's "fls" holds
// the settings file while the user may write to it, as in a portable folder or a
// per-user install; a system-wide install keeps it in the user's config folder
// instead. The export templates are looked up in the user's data folder first, so
// that a read-only install can still be given templates of one's own.
#pragma once

#include <QString>

#include <functional>

// The settings file of one program folder, and how to reach it.
struct TSettingsLocation {
    // The file the setting is written to, and read from once it exists.
    QString FileName;
    // Read instead of FileName while FileName does not exist: the program folder's
    // own file, so that the first run in the config folder starts from its value.
    // Empty when FileName is that file.
    QString TakeOverFrom;
    // The user's folder that holds FileName, created with mode 0700 on writing.
    // Empty when FileName lies in the program folder, whose "fls" is never created.
    QString Folder;

    // The file to read the setting from now.
    QString ReadFileName() const;
    // Creates Folder and its missing parents with mode 0700 when it is set. A
    // failure is left to the write that follows, whose message names the file.
    void PrepareWrite() const;
};

// The rule. ProgramFolder ends in '/'; ConfigHome is the user's config folder.
// "fls/sets.ini" in ProgramFolder while CanWrite answers true for its "fls" folder
// (for the program folder itself while "fls" is missing, so that a portable folder
// without "fls" fails on writing as it always has); else "velmora/sets.ini" in
// ConfigHome. CanWrite gets folder paths without a final '/'.
TSettingsLocation SettingsLocationFor(const QString& ProgramFolder, const QString& ConfigHome,
                                      const std::function<bool(const QString&)>& CanWrite);

// The user's folders by the XDG rules: $XDG_CONFIG_HOME and $XDG_DATA_HOME when set to
// an absolute path, else ~/.config and ~/.local/share. No final '/'.
QString UserConfigHome();
QString UserDataHome();

// Whether this user may create and replace files in Folder (access(2), W_OK and X_OK).
// False for a folder that is missing.
bool FolderIsWritable(const QString& Folder);

// The export template Name ("template.tpl", "mid.tpl"): "velmora/fls/<Name>" in
// DataHome when it exists there, else "fls/<Name>" in ProgramFolder (ending in '/').
// Each template is looked up on its own, so a user may replace one or both.
QString TemplateFileName(const QString& ProgramFolder, const QString& DataHome, const QString& Name);
// The same in this user's data folder.
QString TemplateFileName(const QString& ProgramFolder, const QString& Name);
