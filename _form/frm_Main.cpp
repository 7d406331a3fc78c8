#include "frm_Main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

#include "About.h"
#include "frm_MainPrivate.h"
#include "Contrast.h"
#include "WindowFont.h"
#include "DisplayText.h"
#include "Exceptions.h"
#include "Platform.h"
#include "Application.h"
#include "DataLocation.h"
#include "LocalPath.h"
#include "ProfileFile.h"

namespace {

const char* const SourcePath = "_form/frm_Main";

// The file-name label's colour on a light window.
const QColor Navy(0x00, 0x00, 0x80);

// The text of an action's tool tip: its caption, then its shortcut as the desktop
// writes it, as in the tool bars of the big desktop programs.
QString WithShortcut(const QString& Caption, const QKeySequence& Shortcut)
{
    return Caption + QStringLiteral(" (") + Shortcut.toString(QKeySequence::NativeText) + u')';
}

// Draws the list's horizontal and vertical grid lines along each cell's right and
// bottom edges.
class TGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override
    {
        QStyledItemDelegate::paint(Painter, Option, Index);
        Painter->save();
        Painter->setPen(Option.palette.color(QPalette::Midlight));
        const QRect R = Option.rect;
        Painter->drawLine(R.topRight(), R.bottomRight());
        Painter->drawLine(R.bottomLeft(), R.bottomRight());
        Painter->restore();
    }
};

}  // namespace

// ---------------------------------------------------------------------------------
// TfrmKTZ

TfrmKTZ::TfrmKTZ(TPlatform& Platform, const QStringList& Arguments, QWidget* Parent)
    : QMainWindow(Parent), FPlatform(Platform)
{
    CreateControls();
    FormCreate(Arguments);
}

TfrmKTZ::~TfrmKTZ()
{
    // The list goes first, while the entries and the handlers it calls are intact.
    FClosed = true;
    // No batch goes on loading into a window that is going.
    delete std::exchange(FLoader, nullptr);
    if (FLoadingBusy) FLoadingBusy->Window = nullptr;
    FLoadingBusy.reset();
    QTreeView* List = std::exchange(VST, nullptr);
    disconnect(List->selectionModel(), nullptr, this, nullptr);
    List->viewport()->removeEventFilter(this);
    FListViewport = nullptr;
    delete List;
}

void TfrmKTZ::ShowException(std::exception_ptr Error)
{
    ::ShowException(FPlatform, this, Error);
}

void TfrmKTZ::CreateControls()
{
    Q_INIT_RESOURCE(velmora);

    setObjectName(QStringLiteral("frmKTZ"));
    setWindowTitle(QStringLiteral("Velmora"));
    setFont(WindowFont());
    setWindowIcon(QIcon(QStringLiteral(":/velmora.svg")));
    resize(819, 657);
    if (const QScreen* Screen = screen()) {
        QRect Place = rect();
        Place.moveCenter(Screen->availableGeometry().center());
        move(Place.topLeft());
    }

    // 0 open, 1 run, 2 save as list, 3 copy, 4 About, 5 clear, 6 save as HTML.
    for (const char* Name : {"open", "run", "save-list", "copy", "about", "clear", "save-html"})
        ilTool << QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(Name)));

    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setMovable(false);
    ToolBar->setFloatable(false);
    ToolBar->setIconSize(QSize(16, 16));
    ToolBar->setFixedHeight(29);
    ToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, ToolBar);
    auto AddTool = [this](QAction*& Action, const char* Name, int Image, const QString& Hint,
                          const QKeySequence& Shortcut) {
        Action = ToolBar->addAction(ilTool[Image], Hint);
        Action->setObjectName(QLatin1String(Name));
        Action->setShortcut(Shortcut);
        Action->setToolTip(WithShortcut(Hint, Shortcut));
    };
    AddTool(btnOpen, "btnOpen", 0, tr("Открыть"), QKeySequence::Open);
    // Clearing cannot be undone: a chord that is not pressed by chance, the one that
    // browsers use to clear their history (Ctrl+L would take the place of "go to
    // location" that file dialogs and browsers give it).
    AddTool(btnClear, "btnClear", 5, tr("Очистить список"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete));
    AddTool(btnAbout, "btnAbout", 4, tr("О программе"), QKeySequence::HelpContents);

    auto* Client = new QWidget(this);
    auto* ClientLayout = new QVBoxLayout(Client);
    ClientLayout->setContentsMargins(0, 0, 0, 0);
    ClientLayout->setSpacing(0);
    setCentralWidget(Client);

    auto* ListArea = new QWidget(Client);
    auto* ListLayout = new QVBoxLayout(ListArea);
    ListLayout->setContentsMargins(3, 3, 3, 3);
    VST = new QTreeView(ListArea);
    VST->setObjectName(QStringLiteral("VST"));
    VSTModel = new TVSTModel(this);
    VST->setModel(VSTModel);
    VST->setRootIsDecorated(false);
    VST->setItemsExpandable(false);
    VST->setUniformRowHeights(true);
    VST->setAllColumnsShowFocus(true);
    VST->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Shift and Ctrl with a click or the arrows, and Ctrl+A, select several entries.
    VST->setSelectionMode(QAbstractItemView::ExtendedSelection);
    VST->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VST->setSortingEnabled(false);
    VST->setItemDelegate(new TGridDelegate(VST));
    VST->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* Header = VST->header();
    Header->setSectionsMovable(true);
    Header->setSectionResizeMode(QHeaderView::Interactive);
    // The link column, the last, takes the room that the window gains.
    Header->setStretchLastSection(true);
    Header->setFixedHeight(std::max(17, Header->fontMetrics().height() + 4));
    Header->resizeSection(0, 380);
    Header->resizeSection(1, 400);
    // Files dropped over the list load like those dropped anywhere else on the window.
    VST->viewport()->setAcceptDrops(true);
    FListViewport = VST->viewport();
    FListViewport->installEventFilter(this);
    ListLayout->addWidget(VST);
    ClientLayout->addWidget(ListArea, 1);

    pnBottom = new QWidget(Client);
    pnBottom->setObjectName(QStringLiteral("pnBottom"));
    auto* BottomLayout = new QHBoxLayout(pnBottom);
    BottomLayout->setContentsMargins(3, 3, 3, 3);
    BottomLayout->setSpacing(3);
    ClientLayout->addWidget(pnBottom);

    pnAction = new QGroupBox(QStringLiteral("Action"), pnBottom);
    pnAction->setObjectName(QStringLiteral("pnAction"));
    chkAuto = new QCheckBox(tr("Запускать автоматически"), pnAction);
    chkAuto->setObjectName(QStringLiteral("chkAuto"));
    chkAuto->setChecked(true);
    chkFull = new QCheckBox(tr("Добавлять имя и трекеры"), pnAction);
    chkFull->setObjectName(QStringLiteral("chkFull"));
    btnRun = new QPushButton(tr("Запустить"), pnAction);
    btnRun->setObjectName(QStringLiteral("btnRun"));
    // The resource's places (185 wide, the check box at 8, 22, the button 75 × 25 at
    // 44, 104), moved and grown where a larger desktop font needs more room.
    // The second check box goes 8 below the first.
    const int ActionWidth = std::max({185, chkAuto->sizeHint().width() + 8 + 4, chkFull->sizeHint().width() + 8 + 4});
    pnAction->setFixedWidth(ActionWidth);
    const int CheckTop = std::max(22, pnAction->fontMetrics().height() + 8);
    chkAuto->setGeometry(8, CheckTop, ActionWidth - 8 - 4, chkAuto->sizeHint().height());
    chkFull->setGeometry(8, chkAuto->geometry().bottom() + 1 + 8, ActionWidth - 8 - 4, chkFull->sizeHint().height());
    const QSize RunSize = AtLeast(QSize(75, 25), TextBoxNeeds(btnRun->font(), btnRun->text()));
    btnRun->setGeometry(44 + (ActionWidth - 185) / 2, std::max(104, chkFull->geometry().bottom() + 1 + 12),
                        RunSize.width(), RunSize.height());
    BottomLayout->addWidget(pnAction);

    pnAnons = new QWidget(pnBottom);
    pnAnons->setObjectName(QStringLiteral("pnAnons"));
    auto* AnonsLayout = new QVBoxLayout(pnAnons);
    AnonsLayout->setContentsMargins(4, 2, 2, 2);
    AnonsLayout->setSpacing(2);
    auto AddLabel = [&](const char* Name, const QString& Caption) {
        auto* Label = new TDetailLabel(Caption, pnAnons);
        Label->setObjectName(QLatin1String(Name));
        AnonsLayout->addWidget(Label);
        return Label;
    };
    lblName = AddLabel("lblName", tr("Файл"));
    QFont Bold = lblName->font();
    Bold.setBold(true);
    lblName->setFont(Bold);
    lblTitle = AddLabel("lblTitle", tr("Название"));
    edtURI = new TLinkField(tr("Магнитная ссылка"), pnAnons);
    edtURI->setObjectName(QStringLiteral("edtURI"));
    edtURI->setFixedHeight(std::max(21, TextBoxNeeds(edtURI->font(), edtURI->text()).height() - 4));
    AnonsLayout->addWidget(edtURI);
    lblSize = AddLabel("lblSize", tr("Размер"));
    lblCount = AddLabel("lblCount", tr("Файлов"));
    lblPieces = AddLabel("lblPieces", tr("Частей"));
    lblPieceLen = AddLabel("lblPieceLen", tr("Размер части"));
    lblAnons = new TLinkLabel(FPlatform, tr("Источник"), pnAnons);
    lblAnons->setObjectName(QStringLiteral("lblAnons"));
    AnonsLayout->addWidget(lblAnons);
    AnonsLayout->addStretch(1);
    BottomLayout->addWidget(pnAnons, 1);
    // 164 high, or what the details and the Action group need in a larger font.
    pnBottom->setFixedHeight(
        std::max({164, AnonsLayout->sizeHint().height() + 6, btnRun->geometry().bottom() + 1 + 10 + 6}));

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFixedHeight(std::max(19, StatusBar->fontMetrics().height() + 6));
    setStatusBar(StatusBar);
    lblStatus = new QLabel(StatusWaiting(), StatusBar);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setFont(Bold);
    lblStatus->setFixedWidth(std::max({100, lblStatus->fontMetrics().horizontalAdvance(StatusWaiting()) + 12,
                                       lblStatus->fontMetrics().horizontalAdvance(StatusWorking()) + 12}));
    StatusBar->addWidget(lblStatus);
    pnText = new TDetailLabel(QString(), StatusBar);
    pnText->setObjectName(QStringLiteral("pnText"));
    StatusBar->addWidget(pnText, 1);
    pnWarning = new QLabel(StatusBar);
    pnWarning->setObjectName(QStringLiteral("pnWarning"));
    pnWarning->setTextFormat(Qt::PlainText);
    QFont WarningFont = pnWarning->font();
    WarningFont.setBold(true);
    pnWarning->setFont(WarningFont);
    QPalette WarningColour = pnWarning->palette();
    WarningColour.setColor(QPalette::WindowText, QColor(0xa0, 0x00, 0x00));
    pnWarning->setPalette(WarningColour);
    StatusBar->addWidget(pnWarning);
    lblNote = new TNoteLabel(StatusBar);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->hide();
    StatusBar->addWidget(lblNote);
    FNoteTimer = new QTimer(this);
    FNoteTimer->setSingleShot(true);
    connect(FNoteTimer, &QTimer::timeout, lblNote, &QLabel::hide);

    pmVST = new QMenu(this);
    pmVST->setObjectName(QStringLiteral("pmVST"));
    auto AddItem = [this](QAction*& Action, const char* Name, int Image, const QString& Caption) {
        Action = pmVST->addAction(Caption);
        Action->setObjectName(QLatin1String(Name));
        if (Image >= 0) Action->setIcon(ilTool[Image]);
    };
    AddItem(mmCopy, "mmCopy", 3, tr("Копировать выделенное"));
    AddItem(mmAsList, "mmAsList", 2, tr("Сохранить как список (*.txt)"));
    AddItem(mmAsHTML, "mmAsHTML", 6, tr("Сохранить как HTML страницу"));
    AddItem(mmRun, "mmRun", 1, tr("Запустить"));
    AddItem(mmContents, "mmContents", -1, tr("Содержимое…"));
    N1 = pmVST->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    AddItem(N2, "N2", -1, tr("Выход"));

    // The menu's commands from the keyboard. Copy and Run act on the list's entry, so
    // their keys work in the list (Ctrl+C in the link field copies what its selection
    // stands for); saving and leaving work anywhere in the window.
    mmCopy->setShortcut(QKeySequence::Copy);
    mmRun->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter),
                         QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    for (QAction* Action : {mmCopy, mmRun}) {
        Action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        VST->addAction(Action);
    }
    mmAsList->setShortcut(QKeySequence::Save);
    mmAsHTML->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    N2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // What a torrent holds is worth a look from anywhere in the window.
    mmContents->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    addActions({mmAsList, mmAsHTML, mmContents, N2});
    for (QAction* Action : {mmCopy, mmAsList, mmAsHTML, mmRun, mmContents})
        Action->setToolTip(WithShortcut(Action->text(), Action->shortcut()));
    btnRun->setToolTip(WithShortcut(btnRun->text(), mmRun->shortcut()));
    // Shift+F10 opens the pop-up menu as the Menu key does.
    auto* MenuKey =
        new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), VST, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(MenuKey, &QShortcut::activated, this, [this] {
        const QRect Current = VST->visualRect(VST->currentIndex());
        pmVST->popup(VST->viewport()->mapToGlobal(Current.isValid() ? Current.bottomLeft() : QPoint(0, 0)));
    });

    KeepColoursReadable();
    CreateLoadControls();

    // While a batch loads, the list shows its new entries a few times a second.
    FPublishTimer = new QTimer(this);
    FPublishTimer->setSingleShot(true);
    FPublishTimer->setInterval(40);
    connect(FPublishTimer, &QTimer::timeout, this, [this] { VSTModel->Publish(); });

    connect(btnOpen, &QAction::triggered, this, [this] { Guarded([this] { PopMenuClick(); }); });
    connect(btnClear, &QAction::triggered, this, [this] { Guarded([this] { btnClearClick(); }); });
    connect(btnAbout, &QAction::triggered, this, [this] { Guarded([this] { btnAboutClick(); }); });
    connect(btnRun, &QPushButton::clicked, this, [this] { Guarded([this] { btnRunClick(); }); });
    connect(mmRun, &QAction::triggered, this, [this] { Guarded([this] { btnRunClick(); }); });
    connect(mmCopy, &QAction::triggered, this, [this] { Guarded([this] { mmCopyClick(); }); });
    connect(mmAsList, &QAction::triggered, this, [this] { Guarded([this] { mmAsListClick(); }); });
    connect(mmAsHTML, &QAction::triggered, this, [this] { Guarded([this] { mmAsHTMLClick(); }); });
    connect(N2, &QAction::triggered, this, [this] { Guarded([this] { N2Click(); }); });
    connect(mmContents, &QAction::triggered, this, [this] { Guarded([this] { mmContentsClick(); }); });
    connect(VST, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& Index) {
        if (Index.isValid()) Guarded([this] { mmContentsClick(); });
    });
    connect(VST->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& Current) { Guarded([&] { VSTCurrentChange(Current); }); });
    connect(chkFull, &QCheckBox::toggled, this, [this] { Guarded([this] { chkFullClick(); }); });
    connect(VST, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& Pos) { pmVST->popup(VST->viewport()->mapToGlobal(Pos)); });
    connect(VST->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { Guarded([this] { VSTChange(); }); });
    // With several entries selected, the details follow the current one.
    connect(VST->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { Guarded([this] { VSTChange(); }); });
    // The keys act on the list's entry: the window opens with the list in focus, and
    // the first entry becomes current (and shown) as soon as there is one, so that
    // Ctrl+C or Return right after loading take a link, never the field's caption.
    VST->setFocus(Qt::OtherFocusReason);
    connect(VSTModel, &QAbstractItemModel::rowsInserted, this, [this] {
        // Through the selection model, not the view: the view would take the row as
        // the anchor of a later Shift-selection that starts elsewhere.
        if (!VST->currentIndex().isValid())
            VST->selectionModel()->setCurrentIndex(VSTModel->index(0, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    });
}

void TfrmKTZ::KeepColoursReadable()
{
    // Navy on a light window; on a dark one navy is nearly invisible, and the
    // desktop's link colour may be too: each is lightened just enough.
    // The window's own colour: its children learn of a new palette only after it.
    const QColor Window = palette().color(QPalette::Window);
    QPalette Name = lblName->palette();
    Name.setColor(QPalette::WindowText, ReadableOn(Navy, Window));
    lblName->setPalette(Name);
    QPalette Link = lblAnons->palette();
    for (const QPalette::ColorRole Role : {QPalette::Link, QPalette::LinkVisited})
        Link.setColor(Role, ReadableOn(palette().color(Role), Window));
    lblAnons->setPalette(Link);
}

void TfrmKTZ::changeEvent(QEvent* Event)
{
    QMainWindow::changeEvent(Event);
    if (Event->type() == QEvent::PaletteChange && lblName) KeepColoursReadable();
}

void TfrmKTZ::ShowStatusNote(const QString& Text, int Milliseconds)
{
    lblNote->setText(Text);
    lblNote->show();
    FNoteTimer->start(Milliseconds);
}

void TfrmKTZ::LinkFailed(const QString& Link, TPlatform::TLinkFailure Why)
{
    const bool Magnet = Link.startsWith(QStringLiteral("magnet:"), Qt::CaseInsensitive);
    if (Why == TPlatform::TLinkFailure::TooLong) {
        // Only a full link grows that long; the bare one always goes through, and the
        // user may choose it with chkFull.
        ShowStatusNote(Magnet ? tr("Ссылка слишком длинная для программы магнитных ссылок")
                              : tr("Ссылку не открыть: она слишком длинная"));
        return;
    }
    ShowStatusNote(Magnet ? tr("Нет программы для магнитных ссылок") : tr("Ссылку не открыть: нет программы для неё"));
}

QString TfrmKTZ::SettingsFileName() const
{
    return FSettings.FileName;
}

void TfrmKTZ::FormCreate(const QStringList& Arguments)
{
    FProgramFolder = FPlatform.ProgramFolder();
    // The desktop tells later, when the handler has ended, that a link found none.
    QPointer<TfrmKTZ> Self(this);
    FPlatform.SetLinkFailureHandler([Self](const QString& Link, TPlatform::TLinkFailure Why) {
        if (Self) Self->LinkFailed(Link, Why);
    });
    FSettings = SettingsLocationFor(FProgramFolder, UserConfigHome(),
                                    [this](const QString& Folder) { return FPlatform.CanWriteFolder(Folder); });
    chkAuto->setChecked(ProfileTextIsTrue(FPlatform.ReadSetting(FSettings.ReadFileName(), QStringLiteral("USER"),
                                                                QStringLiteral("AutoStart"), QString())));
    chkFull->setChecked(ProfileTextIsTrue(FPlatform.ReadSetting(FSettings.ReadFileName(), QStringLiteral("USER"),
                                                                QStringLiteral("FullLink"), QString())));
    FAcceptingDrops = true;
    setAcceptDrops(true);
    Guarded([&] { AddFiles(Arguments, TLoadQueue::TSource::CommandLine); });
}

void TfrmKTZ::FormClose()
{
    FSettings.PrepareWrite();
    FPlatform.WriteSetting(SettingsFileName(), QStringLiteral("USER"), QStringLiteral("AutoStart"),
                           chkAuto->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    FPlatform.WriteSetting(SettingsFileName(), QStringLiteral("USER"), QStringLiteral("FullLink"),
                           chkFull->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TfrmKTZ::closeEvent(QCloseEvent* Event)
{
    if (!FClosed) {
        // A file still loading in a batch adds nothing once the window is closed.
        FClosed = true;
        FLoader->Cancel();
        // A setting that cannot be written is reported; the window closes all the same.
        Guarded([this] { FormClose(); });
        FAcceptingDrops = false;
        setAcceptDrops(false);
    }
    Event->accept();
}

void TfrmKTZ::showEvent(QShowEvent* Event)
{
    if (FClosed) {
        FClosed = false;
        FAcceptingDrops = true;
        setAcceptDrops(true);
    }
    QMainWindow::showEvent(Event);
}

const QList<TTorrentEntry>& TfrmKTZ::Entries() const
{
    return VSTModel->Entries();
}

void TfrmKTZ::Idle()
{
    FPublishTimer->stop();
    VSTModel->Publish();
    lblStatus->setText(StatusWaiting());
}

void TfrmKTZ::AddVST(const QString& FileName)
{
    if (PathExtension(FileName).isEmpty() || FClosed) return;

    // The window may be closed, or even destroyed, by what runs while the waiting
    // events are let through; nothing of it is touched afterwards unless it lives.
    QPointer<TfrmKTZ> Self(this);
    TBusy Busy(this);

    // A file of a batch tells the loader what became of it; the loader lets the
    // waiting events through between its slices.
    TBatchFile* const Batch = FBatchFile;
    const QString FullName = QFileInfo(FileName).absoluteFilePath();
    TTorrentLoad Load = LoadTorrentEntry(FullName);

    if (!Batch) {
        QCoreApplication::processEvents();
        if (!Self || FClosed) return;
    }

    if (!Load.Entry) {
        if (Batch) {
            Batch->Result = TLoadResult::Failed;
            Batch->Failure->Kind = TLoadFailure::TKind::Refused;
            Batch->Failure->Path = FullName;
            Batch->Failure->Reason = RefusedReason();
            Batch->Failure->Messages = Load.Refusal;
        } else {
            ReportRefused(PathForDisplay(FullName), Load.Refusal);
        }
        return;
    }
    // The entry keeps the name as it was given.
    Load.Entry->FileName = PathForDisplay(PathFileName(FileName));
    // A torrent is listed once, whatever file it came from.
    if (VSTModel->RowOfLink(Load.Entry->Link) >= 0) {
        if (Batch) {
            Batch->Result = TLoadResult::Duplicate;
            FBatchDuplicateLink = Load.Entry->Link;
            FBatchDuplicateName = Load.Entry->FileName;
        } else {
            ShowDuplicate(Load.Entry->Link, Load.Entry->FileName, 1);
        }
        return;
    }
    const QString Link = Load.Entry->LinkInUse(FullLinks());
    VSTModel->Append(std::move(*Load.Entry));
    if (!FPublishTimer->isActive()) FPublishTimer->start();
    if (Batch) Batch->Result = TLoadResult::Added;
    if (chkAuto->isChecked() && (!Batch || FBatchRunsLinks)) FPlatform.OpenLink(this, Link);
}

void TfrmKTZ::ShowLoneCopy(const QString& Why)
{
    auto* lblAlone = new QLabel(tr("Отдельная копия: новые запуски откроют свои окна"), StatusBar);
    lblAlone->setObjectName(QStringLiteral("lblAlone"));
    lblAlone->setTextFormat(Qt::PlainText);
    lblAlone->setToolTip(Why);
    StatusBar->addPermanentWidget(lblAlone);
}

void TfrmKTZ::ReportRefused(const QString& FileName, const QStringList& Messages)
{
    FPlatform.ShowError(
        this,
        tr("Файл \"%1\" не добавлен: это не торрент-файл или он повреждён.\n\n%2").arg(FileName, Messages.join(u'\n')));
}

void TfrmKTZ::VSTGetText(const TTorrentEntry* Node, int Column, QString& CellText) const
{
    VELMORA_ASSERT(Node != nullptr, "Assertion failure", SourcePath);
    // The list has two columns; a cell of any other keeps its text.
    if (Column >= 0 && Column < TVSTModel::ColumnCount)
        CellText = TVSTModel::CellText(*Node, Column, VSTModel->FullLinks());
}

void TfrmKTZ::VSTChange()
{
    if (FKeepDetails) return;
    const QModelIndexList Rows = VST->selectionModel()->selectedRows();
    if (Rows.isEmpty()) return;
    // Of several selected entries, the current one; else the first selected.
    const QModelIndex Current = VST->selectionModel()->currentIndex();
    const int Row =
        Current.isValid() && VST->selectionModel()->isRowSelected(Current.row()) ? Current.row() : Rows.front().row();
    const TTorrentEntry* Entry = VSTModel->Entry(Row);
    if (!Entry) return;

    lblName->setText(DisplayText(Entry->FileName));
    lblTitle->setText(tr("Название: ") + DisplayText(Entry->Title));
    FShown = *Entry;
    ShowLink();
    FLinkShown = true;
    lblSize->setText(tr("Размер: ") + FormatSize(2, Entry->Size));
    lblCount->setText(tr("Файлов: ") + QString::number(Entry->FileCount));
    lblPieces->setText(tr("Частей: ") + QString::number(Entry->PieceCount));
    lblPieceLen->setText(tr("Размер части: ") + QString::number(Entry->PieceLength) + tr(" байт (") +
                         FormatSize(0, Entry->PieceLength) + u')');
    // The link reads as the address it is; a click still opens the comment as stored.
    lblAnons->setText(DisplayText(Entry->Comment));
    lblAnons->SetTarget(Entry->Comment);
    pnText->setText(DisplayText(Entry->Encoding));
}

bool TfrmKTZ::FullLinks() const
{
    return chkFull->isChecked();
}

void TfrmKTZ::chkFullClick()
{
    VSTModel->SetFullLinks(FullLinks());
    ShowLink();
}

void TfrmKTZ::ShowLink()
{
    if (!FShown) return;
    // A full link is longer than the field: its start, the hash, is what shows. The
    // field holds no more of it than can show; Run and Copy, and copying from the
    // field itself, take the whole link.
    edtURI->SetLink(FShown->LinkInUse(FullLinks()));
    edtURI->setCursorPosition(0);
    const QString Warning = LinkWarning(*FShown, FullLinks());
    edtURI->setToolTip(Warning);
    pnWarning->setText(Warning);
}

void TfrmKTZ::mmContentsClick()
{
    QModelIndex Current = VST->currentIndex();
    if (!Current.isValid()) {
        const QModelIndexList Rows = VST->selectionModel()->selectedRows();
        if (!Rows.isEmpty()) Current = Rows.front();
    }
    const TTorrentEntry* Entry = Current.isValid() ? VSTModel->Entry(Current.row()) : nullptr;
    if (!Entry) return;
    if (!FContents) FContents = new TfrmContents(FPlatform, this);
    FContents->ShowEntry(*Entry);
    FContents->show();
    FContents->raise();
    FContents->activateWindow();
}

void TfrmKTZ::VSTCurrentChange(const QModelIndex& Current)
{
    if (!FContents || !Current.isValid()) return;
    if (const TTorrentEntry* Entry = VSTModel->Entry(Current.row())) FContents->ShowEntry(*Entry);
}

void TfrmKTZ::PopMenuClick()
{
    QPointer<TfrmKTZ> Self(this);
    const QStringList FileNames = FPlatform.ChooseOpenFiles(this, QString::fromUtf8(OpenDialogFilter));
    if (!Self) return;
    AddFiles(FileNames, TLoadQueue::TSource::OpenDialog);
}

void TfrmKTZ::btnRunClick()
{
    if (RunSelected()) return;
    // Before any entry has been shown the field holds its caption, no link.
    if (!FLinkShown) return;
    FPlatform.OpenLink(this, FieldLink());
}

void TfrmKTZ::mmCopyClick()
{
    if (CopySelected()) return;
    FPlatform.CopyFieldText(edtURI, FieldLink());
}

QString TfrmKTZ::FieldLink() const
{
    return FShown ? FShown->LinkInUse(FullLinks()) : edtURI->text();
}

void TfrmKTZ::btnClearClick()
{
    VSTModel->Clear();
}

void TfrmKTZ::btnAboutClick()
{
    // Owned by the window, so it may go with it while it is open.
    QPointer<TAboutBox> AboutBox = new TAboutBox(this);
    AboutBox->exec();
    delete AboutBox.data();
}

void TfrmKTZ::N2Click()
{
    close();
}

// ---------------------------------------------------------------------------------
// Drops

QStringList TfrmKTZ::DroppedFiles(const QMimeData* Data)
{
    QStringList Files;
    if (!Data || !Data->hasUrls()) return Files;
    for (const QUrl& Url : Data->urls()) {
        if (!Url.isLocalFile()) continue;
        const QString Path = Url.toLocalFile();
        if (!Path.isEmpty()) Files << Path;
    }
    return Files;
}

bool TfrmKTZ::AcceptsDrag(const QMimeData* Data) const
{
    return FAcceptingDrops && !DroppedFiles(Data).isEmpty();
}

void TfrmKTZ::dragEnterEvent(QDragEnterEvent* Event)
{
    if (AcceptsDrag(Event->mimeData())) {
        // Copy, never move: the file manager must not take the files away.
        Event->setDropAction(Qt::CopyAction);
        Event->accept();
    } else {
        Event->ignore();
    }
}

void TfrmKTZ::dragMoveEvent(QDragMoveEvent* Event)
{
    if (AcceptsDrag(Event->mimeData())) {
        Event->setDropAction(Qt::CopyAction);
        Event->accept();
    } else {
        Event->ignore();
    }
}

void TfrmKTZ::dropEvent(QDropEvent* Event)
{
    const QStringList Files = FAcceptingDrops ? DroppedFiles(Event->mimeData()) : QStringList();
    if (Files.isEmpty()) {
        Event->ignore();
        return;
    }
    Event->setDropAction(Qt::CopyAction);
    Event->accept();
    // The drop is finished at once, so that the file manager does not wait on message
    // boxes; the files load as soon as the drop's own handling has returned.
    QTimer::singleShot(0, this, [this, Files] { Guarded([&] { WMDropFiles(Files); }); });
}

void TfrmKTZ::WMDropFiles(const QStringList& FileNames)
{
    AddFiles(FileNames, TLoadQueue::TSource::Drop);
}

bool TfrmKTZ::eventFilter(QObject* Watched, QEvent* Event)
{
    if (FListViewport && Watched == FListViewport) {
        switch (Event->type()) {
        case QEvent::DragEnter: dragEnterEvent(static_cast<QDragEnterEvent*>(Event)); return true;
        case QEvent::DragMove: dragMoveEvent(static_cast<QDragMoveEvent*>(Event)); return true;
        case QEvent::Drop: dropEvent(static_cast<QDropEvent*>(Event)); return true;
        default: break;
        }
    }
    return QMainWindow::eventFilter(Watched, Event);
}
