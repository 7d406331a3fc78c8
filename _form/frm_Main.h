// The main window: the tool bar, the list of loaded torrents with their magnet
// links, the details panel of the selected entry, the status bar and the list's
// pop-up menu. Every file, however it arrives, enters the list through AddVST.
#pragma once

#include <QIcon>
#include <QLabel>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <exception>
#include <memory>
#include <optional>

#include "DetailLabels.h"
#include "DataLocation.h"
#include "LinkField.h"
#include "LoadQueue.h"
#include "Platform.h"
#include "TorrentEntry.h"
#include "VSTModel.h"
#include "fer_Exp.h"
#include "frm_Contents.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolBar;
class QTreeView;
class QWidget;
class QMimeData;
class TLoadProgress;
class TfrmKTZ;

class TfrmKTZ : public QMainWindow {
    Q_OBJECT

public:
    // Reads the auto-run setting, accepts drops and loads each argument in order.
    TfrmKTZ(TPlatform& Platform, const QStringList& Arguments, QWidget* Parent = nullptr);
    ~TfrmKTZ() override;

    // Loads one file and appends its entry. Raises when the file cannot be opened;
    // a file that is no usable metainfo adds no entry and is reported to the user.
    void AddVST(const QString& FileName);
    // One text handed over by a later copy, opened as a command-line argument
    // would be, from the event loop; returns at once. The closing "?" opens
    // nothing. The hand-off server gathers a later copy's texts up to that "?"
    // itself and hands them on as one batch (OpenHandedOver).
    void WMCopyData(const QString& Text);
    // A later copy's paths: one batch, loaded from the event loop like a drop.
    // Returns at once, without waiting for a file or a dialog.
    void OpenHandedOver(const QStringList& Paths);
    // Whether a batch is loading or waiting to load.
    bool Loading() const;
    // The batch loader, for tests that set its pace.
    TLoadQueue* Loader() const { return FLoader; }
    // More links than this in one batch, handed to the desktop at once, are asked for.
    static constexpr int LinksWithoutQuestion = 20;
    // Says in the status bar that this copy runs alone (it found no safe place to
    // meet later copies); Why, for the curious, in its tool tip.
    void ShowLoneCopy(const QString& Why);

    // Commands.
    void PopMenuClick();
    void btnRunClick();
    void mmCopyClick();
    void mmDeleteClick();
    void btnStopClick();
    void btnClearClick();
    void btnAboutClick();
    void N2Click();
    void mmAsListClick();
    void mmAsHTMLClick();
    // Opens the contents window on the current entry, or brings it forward.
    void mmContentsClick();
    // The contents window while it is open, else null.
    TfrmContents* ContentsWindow() const { return FContents; }
    // The full-link switch: the list, the details and the commands change links at once.
    void chkFullClick();
    bool FullLinks() const;

    // The list's callbacks.
    void VSTGetText(const TTorrentEntry* Node, int Column, QString& CellText) const;
    void VSTChange();

    const QList<TTorrentEntry>& Entries() const;
    TPlatform& Platform() const { return FPlatform; }
    QString ProgramFolder() const { return FProgramFolder; }
    // The settings file the setting is written to: fls/sets.ini in the program
    // folder while the user may write there, else the user's own (DataLocation.h).
    QString SettingsFileName() const;

    // How the HTML export asks for the page's name: the export-name dialog, unless
    // replaced.
    void SetExportNameQuestion(TExportNameQuestion Question) { FAskExportName = std::move(Question); }

    // Shows an exception as the default handler does; never raises.
    void ShowException(std::exception_ptr Error);

    // Shows a short note at the end of the status bar for Milliseconds, without a box
    // in the user's way; the panes stay, the entry's warning among them.
    static constexpr int StatusNoteMilliseconds = 5000;
    void ShowStatusNote(const QString& Text, int Milliseconds = StatusNoteMilliseconds);

protected:
    void closeEvent(QCloseEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void changeEvent(QEvent* Event) override;

private:
    void FormCreate(const QStringList& Arguments);
    void FormClose();
    void CreateControls();
    // Queues the paths as one batch; every file of it goes through AddVST.
    void AddFiles(const QStringList& FileNames, TLoadQueue::TSource Source);
    // The loader's side of the window (frm_MainLoad.cpp).
    void CreateLoadControls();
    TLoadResult LoadBatchFile(const QString& Path, TLoadFailure& Failure);
    void BatchLoading(bool Loading);
    void BatchReady(qsizetype Files);
    void BatchProgress(qsizetype Done, qsizetype Total);
    void BatchDone(const TBatchReport& Report);
    // Says that a file's torrent is listed already, and selects the earlier entry.
    void ShowDuplicate(const QString& Link, const QString& FileName, qsizetype Count);
    void ShowCount();
    // The selected rows in list order, and their links in use.
    QList<int> SelectedRows() const;
    QStringList SelectedLinks() const;
    // Run and Copy for several selected entries; false, doing nothing, for one or none.
    bool RunSelected();
    bool CopySelected();
    // The local files of a drop, whole paths in drop order.
    static QStringList DroppedFiles(const QMimeData* Data);
    bool AcceptsDrag(const QMimeData* Data) const;
    void WMDropFiles(const QStringList& FileNames);
    // Runs a command; what it raises is shown and the program goes on.
    template <class F> void Guarded(F&& Command);
    // Marks loading under way, from the first file of a batch to the end of the last.
    struct TBusy;
    void Idle();
    void ReportRefused(const QString& FileName, const QStringList& Messages);
    // Tells the user that the desktop had no program for Link, or that Link was too
    // long to hand to one.
    void LinkFailed(const QString& Link, TPlatform::TLinkFailure Why);
    // The file name in navy and the comment in the link colour, each brought to a
    // readable contrast on the window's colour.
    void KeepColoursReadable();

    TPlatform& FPlatform;
    TExportNameQuestion FAskExportName = AskExportName;
    QString FProgramFolder;
    TSettingsLocation FSettings;
    bool FAcceptingDrops = false;
    bool FClosed = false;
    int FBusy = 0;  // batches and AddVST calls under way, nested ones included
    TLoadQueue* FLoader = nullptr;
    std::unique_ptr<TBusy> FLoadingBusy;  // while the loader has batches
    // What AddVST did with the file that the loader handed it.
    struct TBatchFile {
        TLoadFailure* Failure = nullptr;
        TLoadResult Result = TLoadResult::Ignored;
    };
    TBatchFile* FBatchFile = nullptr;
    bool FKeepDetails = false;    // entries are being deleted: the details stay
    bool FBatchRunsLinks = true;  // the user let this batch's links go to the desktop
    QString FBatchDuplicateLink;  // the last file of the batch that was listed already
    QString FBatchDuplicateName;
    QTimer* FPublishTimer = nullptr;
    QWidget* FListViewport = nullptr;     // where drops over the list arrive
    bool FLinkShown = false;              // edtURI holds an entry's link
    std::optional<TTorrentEntry> FShown;  // the entry the details panel shows
    QPointer<TfrmContents> FContents;     // open while it is not null
    // The contents window follows the entry that becomes current.
    void VSTCurrentChange(const QModelIndex& Current);
    // The shown entry's link in use into edtURI, and what speaks against it into
    // edtURI's tool tip and pnWarning.
    void ShowLink();
    // The whole text that edtURI stands for, of which it may show only the start:
    // the shown entry's link in use, else the field's caption. Run and Copy take it.
    QString FieldLink() const;

public:
    // The components, named as the window's resource names them.
    QList<QIcon> ilTool;
    QToolBar* ToolBar = nullptr;
    QAction* btnOpen = nullptr;
    QAction* btnClear = nullptr;
    QAction* btnAbout = nullptr;
    QTreeView* VST = nullptr;
    TVSTModel* VSTModel = nullptr;
    QWidget* pnBottom = nullptr;
    QGroupBox* pnAction = nullptr;
    QCheckBox* chkAuto = nullptr;
    QCheckBox* chkFull = nullptr;
    QPushButton* btnRun = nullptr;
    QWidget* pnAnons = nullptr;
    QLabel* lblName = nullptr;
    QLabel* lblTitle = nullptr;
    TLinkField* edtURI = nullptr;
    QLabel* lblSize = nullptr;
    QLabel* lblCount = nullptr;
    QLabel* lblPieces = nullptr;
    QLabel* lblPieceLen = nullptr;
    TLinkLabel* lblAnons = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* pnText = nullptr;
    QLabel* pnWarning = nullptr;
    QLabel* lblNote = nullptr;  // ShowStatusNote's, hidden while there is none
    QTimer* FNoteTimer = nullptr;
    QMenu* pmVST = nullptr;
    QAction* mmCopy = nullptr;
    QAction* mmAsList = nullptr;
    QAction* mmAsHTML = nullptr;
    QAction* mmRun = nullptr;
    QAction* mmDelete = nullptr;  // the Delete key in the list
    TLoadProgress* pnProgress = nullptr;
    QLabel* pnCount = nullptr;
    QAction* mmContents = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
};

// The dialog filters of the window's open and save dialogs.
inline constexpr const char* OpenDialogFilter = "Torrent File (.torrent)|*.torrent";
inline constexpr const char* SaveDialogFilter = QT_TRANSLATE_NOOP("TfrmKTZ", "Текстовой файл (.txt)|*.txt");
inline constexpr const char* SaveDialogExtension = ".txt";
