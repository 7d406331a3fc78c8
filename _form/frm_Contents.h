// The contents window: what the current entry's torrent holds, its files as a tree
// with a filter and its facts (sizes, pieces, dates, the program that made it, the
// comment, the hashes, the trackers and web seeds). Not modal; the main window
// hands it each entry that becomes current while it is open.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include "TorrentEntry.h"

class QLabel;
class QPlainTextEdit;
class QTabWidget;
class QTreeView;
class TContentsModel;
class TDetailLabel;
class TLinkLabel;
class TPlatform;

// A read-only field for a hash: Ctrl+C copies the whole hash when nothing in it is
// selected.
class THashField : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* Event) override;
};

class TfrmContents : public QWidget {
    Q_OBJECT

public:
    // A window of its own, over Owner; it is destroyed when it closes.
    TfrmContents(TPlatform& Platform, QWidget* Owner);

    // Shows Entry's torrent; the filter stays as it was typed.
    void ShowEntry(const TTorrentEntry& Entry);

    // Copies the paths of the selected rows, one a line, to the clipboard.
    void mmCopyPathsClick();
    void edtFilterChange();

    // The components.
    QTabWidget* pnPages = nullptr;
    QLineEdit* edtFilter = nullptr;
    QTreeView* vstFiles = nullptr;
    TContentsModel* FilesModel = nullptr;
    QLabel* lblCount = nullptr;
    TDetailLabel* lblName = nullptr;
    QLabel* lblSize = nullptr;
    QLabel* lblPieces = nullptr;
    QLabel* lblPieceLen = nullptr;
    QLabel* lblPrivate = nullptr;
    QLabel* lblCreated = nullptr;
    TDetailLabel* lblCreatedBy = nullptr;
    TLinkLabel* lblComment = nullptr;
    THashField* edtHash = nullptr;
    THashField* edtHashV2 = nullptr;
    QPlainTextEdit* edtTrackers = nullptr;
    QPlainTextEdit* edtWebSeeds = nullptr;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    TPlatform& FPlatform;
    void CreateControls();
    void ShowFacts(const TTorrentEntry& Entry);
    void ShowCount();
    // Opens the folders when few enough rows show for that to be quick and useful.
    void ExpandShown();
};

// "N файлов, S": a count of files in Russian, with the word's right form, and their
// size.
QString FilesAndSize(int64_t Count, int64_t Size);
