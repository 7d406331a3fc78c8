#include "frm_Contents.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFormLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "ContentsModel.h"
#include "DetailLabels.h"
#include "DisplayText.h"
#include "WindowFont.h"

namespace {

// Opening every folder of a tree this large or smaller takes a few milliseconds;
// a larger one stays closed below its first level.
constexpr int64_t ExpandAllLimit = 2000;

// The most lines that the tracker and web seed lists show; a hostile file may name
// millions.
constexpr qsizetype MaxListedLines = 10000;

QString FromUtf8(std::string_view Bytes)
{
    return QString::fromUtf8(Bytes.data(), qsizetype(Bytes.size()));
}

// A stranger's text as it is shown: decoded from UTF-8, the variant named
// "*.utf-8" first, every invisible character made visible.
QString Shown(std::string_view Bytes, std::string_view Utf8 = std::string_view())
{
    return DisplayText(FromUtf8(Utf8.empty() ? Bytes : Utf8));
}

QString Hex(std::string_view Bytes)
{
    return QString::fromLatin1(QByteArray(Bytes.data(), qsizetype(Bytes.size())).toHex());
}

QLabel* PlainLabel(QWidget* Parent)
{
    auto* Label = new QLabel(Parent);
    Label->setTextFormat(Qt::PlainText);
    Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return Label;
}

QPlainTextEdit* ListField(QWidget* Parent)
{
    auto* Field = new QPlainTextEdit(Parent);
    Field->setReadOnly(true);
    Field->setLineWrapMode(QPlainTextEdit::NoWrap);
    Field->setMinimumHeight(Field->fontMetrics().height() * 4);
    return Field;
}

}  // namespace

QString FilesAndSize(int64_t Count, int64_t Size)
{
    // Russian counts: 1, 21, 31 … файл; 2–4, 22–24 … файла; the rest файлов.
    const int64_t Last = Count % 10, LastTwo = Count % 100;
    QString Text;
    if (Last == 1 && LastTwo != 11)
        Text = QCoreApplication::translate("TfrmContents", "%1 файл, %2");
    else if (Last >= 2 && Last <= 4 && (LastTwo < 12 || LastTwo > 14))
        Text = QCoreApplication::translate("TfrmContents", "%1 файла, %2");
    else
        Text = QCoreApplication::translate("TfrmContents", "%1 файлов, %2");
    return Text.arg(Count).arg(FormatSize(2, Size));
}

void THashField::keyPressEvent(QKeyEvent* Event)
{
    if (Event->matches(QKeySequence::Copy) && !hasSelectedText()) {
        if (!text().isEmpty()) QGuiApplication::clipboard()->setText(text());
        Event->accept();
        return;
    }
    QLineEdit::keyPressEvent(Event);
}

TfrmContents::TfrmContents(TPlatform& Platform, QWidget* Owner) : QWidget(Owner, Qt::Window), FPlatform(Platform)
{
    setAttribute(Qt::WA_DeleteOnClose);
    CreateControls();
    // Over the middle of the main window, where the eye already is.
    if (Owner) {
        QRect Place = rect();
        Place.moveCenter(Owner->geometry().center());
        move(Place.topLeft());
    }
}

void TfrmContents::CreateControls()
{
    setObjectName(QStringLiteral("frmContents"));
    setFont(WindowFont());
    resize(AtLeast(QSize(640, 520), QSize(fontMetrics().averageCharWidth() * 90, fontMetrics().height() * 30)));

    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(6, 6, 6, 6);
    pnPages = new QTabWidget(this);
    pnPages->setObjectName(QStringLiteral("pnPages"));
    Layout->addWidget(pnPages);

    // The files.
    auto* Files = new QWidget(pnPages);
    auto* FilesLayout = new QVBoxLayout(Files);
    edtFilter = new QLineEdit(Files);
    edtFilter->setObjectName(QStringLiteral("edtFilter"));
    edtFilter->setPlaceholderText(tr("Фильтр: часть пути"));
    edtFilter->setClearButtonEnabled(true);
    FilesLayout->addWidget(edtFilter);
    vstFiles = new QTreeView(Files);
    vstFiles->setObjectName(QStringLiteral("vstFiles"));
    FilesModel = new TContentsModel(this);
    vstFiles->setModel(FilesModel);
    vstFiles->setUniformRowHeights(true);
    vstFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    vstFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    vstFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    vstFiles->setAllColumnsShowFocus(true);
    QHeaderView* Header = vstFiles->header();
    Header->setStretchLastSection(false);
    Header->setSectionResizeMode(TContentsModel::ColumnName, QHeaderView::Stretch);
    const int Digits = fontMetrics().horizontalAdvance(QStringLiteral("0,000.00 MB")) + 16;
    Header->resizeSection(TContentsModel::ColumnSize, Digits);
    Header->resizeSection(TContentsModel::ColumnFiles, fontMetrics().horizontalAdvance(QStringLiteral("Файлов")) + 24);
    FilesLayout->addWidget(vstFiles, 1);
    lblCount = PlainLabel(Files);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    FilesLayout->addWidget(lblCount);
    pnPages->addTab(Files, tr("Файлы"));

    // The facts.
    auto* Facts = new QWidget(pnPages);
    auto* Form = new QFormLayout(Facts);
    Form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    lblName = new TDetailLabel(QString(), Facts);
    lblSize = PlainLabel(Facts);
    lblPieces = PlainLabel(Facts);
    lblPieceLen = PlainLabel(Facts);
    lblPrivate = PlainLabel(Facts);
    lblCreated = PlainLabel(Facts);
    lblCreatedBy = new TDetailLabel(QString(), Facts);
    lblComment = new TLinkLabel(FPlatform, QString(), Facts);
    edtHash = new THashField(Facts);
    edtHashV2 = new THashField(Facts);
    for (THashField* Field : {edtHash, edtHashV2}) {
        Field->setReadOnly(true);
        Field->setPlaceholderText(tr("нет"));
    }
    edtTrackers = ListField(Facts);
    edtWebSeeds = ListField(Facts);
    lblName->setObjectName(QStringLiteral("lblName"));
    lblCreatedBy->setObjectName(QStringLiteral("lblCreatedBy"));
    lblComment->setObjectName(QStringLiteral("lblComment"));
    edtHash->setObjectName(QStringLiteral("edtHash"));
    edtHashV2->setObjectName(QStringLiteral("edtHashV2"));
    edtTrackers->setObjectName(QStringLiteral("edtTrackers"));
    edtWebSeeds->setObjectName(QStringLiteral("edtWebSeeds"));
    Form->addRow(tr("Название:"), lblName);
    Form->addRow(tr("Размер:"), lblSize);
    Form->addRow(tr("Частей:"), lblPieces);
    Form->addRow(tr("Размер части:"), lblPieceLen);
    Form->addRow(tr("Закрытый:"), lblPrivate);
    Form->addRow(tr("Создан:"), lblCreated);
    Form->addRow(tr("Программа:"), lblCreatedBy);
    Form->addRow(tr("Комментарий:"), lblComment);
    Form->addRow(tr("Хеш v1 (SHA-1):"), edtHash);
    Form->addRow(tr("Хеш v2 (SHA-256):"), edtHashV2);
    Form->addRow(tr("Трекеры:"), edtTrackers);
    Form->addRow(tr("Веб-сиды:"), edtWebSeeds);
    pnPages->addTab(Facts, tr("Сведения"));

    // Typing at once narrows the tree.
    edtFilter->setFocus();
    // The tree's Ctrl+C copies paths (the view itself would copy one cell).
    vstFiles->installEventFilter(this);
    connect(edtFilter, &QLineEdit::textChanged, this, &TfrmContents::edtFilterChange);
    // Down from the filter goes into the tree.
    auto* IntoTree = new QShortcut(QKeySequence(Qt::Key_Down), edtFilter, nullptr, nullptr, Qt::WidgetShortcut);
    connect(IntoTree, &QShortcut::activated, this, [this] {
        vstFiles->setFocus();
        if (!vstFiles->currentIndex().isValid()) vstFiles->setCurrentIndex(FilesModel->index(0, 0));
    });
}

bool TfrmContents::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == vstFiles && (Event->type() == QEvent::KeyPress || Event->type() == QEvent::ShortcutOverride) &&
        static_cast<QKeyEvent*>(Event)->matches(QKeySequence::Copy)) {
        if (Event->type() == QEvent::KeyPress) mmCopyPathsClick();
        Event->accept();
        return true;
    }
    return QWidget::eventFilter(Watched, Event);
}

void TfrmContents::keyPressEvent(QKeyEvent* Event)
{
    // Escape closes the window from wherever the focus is.
    if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(Event);
}

void TfrmContents::ShowEntry(const TTorrentEntry& Entry)
{
    setWindowTitle(tr("Содержимое: %1").arg(DisplayText(Entry.FileName)));
    ShowFacts(Entry);
    FilesModel->SetContents(Entry.Contents);
    ExpandShown();
    ShowCount();
}

void TfrmContents::ShowFacts(const TTorrentEntry& Entry)
{
    const TTorrentFacts Facts = Entry.Contents.Facts();
    lblName->setText(Shown(Facts.Name, Facts.NameUtf8));
    lblSize->setText(tr("%1 (%2 байт)").arg(FormatSize(2, Facts.TotalLength)).arg(Facts.TotalLength));
    lblPieces->setText(QString::number(Facts.PieceCount));
    lblPieceLen->setText(tr("%1 байт (%2)").arg(Facts.PieceLength).arg(FormatSize(0, Facts.PieceLength)));
    lblPrivate->setText(Facts.Private ? tr("да") : tr("нет"));
    if (Facts.HasCreationDate) {
        const auto Seconds = qint64(std::llround((Facts.CreationDate - 25569.0) * 86400.0));
        const QDateTime Local = QDateTime::fromSecsSinceEpoch(Seconds).toLocalTime();
        lblCreated->setText(QLocale().toString(Local, QLocale::ShortFormat));
    } else {
        lblCreated->setText(tr("не указано"));
    }
    lblCreatedBy->setText(Shown(Facts.CreatedBy));
    // Shown as plain text; a click opens it only when it is a web address.
    const QString Comment = FromUtf8(Facts.CommentUtf8.empty() ? Facts.Comment : Facts.CommentUtf8);
    lblComment->setText(DisplayText(Comment));
    lblComment->SetTarget(Comment);
    edtHash->setText(Hex(Facts.InfoHash));
    edtHashV2->setText(Hex(Facts.InfoHashV2));
    edtHash->setCursorPosition(0);
    edtHashV2->setCursorPosition(0);

    // The trackers tier by tier; a torrent without tiers has its announce URL alone.
    QStringList Lines;
    std::vector<std::vector<std::string_view>> Tiers = Facts.Tiers;
    if (Tiers.empty() && !Facts.Announce.empty()) Tiers.push_back({Facts.Announce});
    qsizetype Listed = 0, Total = 0;
    for (size_t t = 0; t < Tiers.size(); ++t) {
        Total += qsizetype(Tiers[t].size());
        if (Listed >= MaxListedLines) continue;
        Lines << tr("Уровень %1").arg(t + 1);
        for (const std::string_view Url : Tiers[t]) {
            if (Listed++ >= MaxListedLines) break;
            Lines << QStringLiteral("    ") + Shown(Url);
        }
    }
    if (Total > MaxListedLines) Lines << tr("… и ещё %1").arg(Total - MaxListedLines);
    edtTrackers->setPlainText(Lines.join(u'\n'));
    Lines.clear();
    for (const std::string_view Url : Facts.WebSeeds) {
        if (Lines.size() >= MaxListedLines) {
            Lines << tr("… и ещё %1").arg(qsizetype(Facts.WebSeeds.size()) - MaxListedLines);
            break;
        }
        Lines << Shown(Url);
    }
    edtWebSeeds->setPlainText(Lines.join(u'\n'));
}

void TfrmContents::edtFilterChange()
{
    FilesModel->SetFilter(edtFilter->text());
    ExpandShown();
    ShowCount();
}

void TfrmContents::ExpandShown()
{
    if (FilesModel->ShownFileCount() <= ExpandAllLimit) {
        vstFiles->expandAll();
    } else if (FilesModel->rowCount() == 1) {
        // One folder at the top: its contents are what there is to see.
        vstFiles->expand(FilesModel->index(0, 0));
    }
}

void TfrmContents::ShowCount()
{
    lblCount->setText(FilesAndSize(FilesModel->ShownFileCount(), FilesModel->ShownSize()));
}

void TfrmContents::mmCopyPathsClick()
{
    QStringList Paths;
    const QModelIndexList Rows = vstFiles->selectionModel()->selectedRows(TContentsModel::ColumnName);
    // In the order the tree shows them, whatever order they were picked in: by the
    // rows from the top down to each.
    const auto RowsDown = [](QModelIndex Index) {
        QList<int> Down;
        for (; Index.isValid(); Index = Index.parent()) Down.prepend(Index.row());
        return Down;
    };
    QModelIndexList Sorted = Rows;
    std::sort(Sorted.begin(), Sorted.end(),
              [&](const QModelIndex& A, const QModelIndex& B) { return RowsDown(A) < RowsDown(B); });
    for (const QModelIndex& Row : Sorted) Paths << FilesModel->Path(Row);
    if (Paths.isEmpty() && vstFiles->currentIndex().isValid()) Paths << FilesModel->Path(vstFiles->currentIndex());
    if (!Paths.isEmpty()) QGuiApplication::clipboard()->setText(Paths.join(u'\n'));
}
