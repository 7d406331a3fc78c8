#include "VSTModel.h"

#include <QCoreApplication>

#include <utility>

#include "DisplayText.h"

TVSTModel::TVSTModel(QObject* Parent) : QAbstractTableModel(Parent) {}

QString TVSTModel::CellText(const TTorrentEntry& Entry, int Column, bool FullLinks)
{
    // A file name is a stranger's text: nothing in it may hide or turn around.
    if (Column == 0) return DisplayText(Entry.FileName);
    if (Column == 1) return Entry.LinkInUse(FullLinks);
    return QString();
}

QString TVSTModel::CellText(int Row, int Column) const
{
    const TTorrentEntry* Row_ = Entry(Row);
    return Row_ ? CellText(*Row_, Column, FFullLinks) : QString();
}

void TVSTModel::SetFullLinks(bool FullLinks)
{
    if (FFullLinks == FullLinks) return;
    FFullLinks = FullLinks;
    if (FPublished > 0) emit dataChanged(index(0, 1), index(int(FPublished - 1), 1), {Qt::DisplayRole});
}

int TVSTModel::rowCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : int(FPublished);
}

int TVSTModel::columnCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : ColumnCount;
}

QVariant TVSTModel::data(const QModelIndex& Index, int Role) const
{
    if (Role != Qt::DisplayRole || !Index.isValid()) return QVariant();
    const TTorrentEntry* Row = Entry(Index.row());
    return Row ? CellText(*Row, Index.column(), FFullLinks) : QVariant();
}

QVariant TVSTModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole) return QVariant();
    if (Section == 0) return QCoreApplication::translate("TVSTModel", "Файл");
    if (Section == 1) return QCoreApplication::translate("TVSTModel", "Магнитная ссылка");
    return QVariant();
}

const TTorrentEntry* TVSTModel::Entry(int Row) const
{
    if (Row < 0 || Row >= FEntries.size()) return nullptr;
    return &FEntries[Row];
}

void TVSTModel::Append(TTorrentEntry Entry)
{
    FEntries.append(std::move(Entry));
}

void TVSTModel::Publish()
{
    if (!HasUnpublished()) return;
    beginInsertRows(QModelIndex(), int(FPublished), int(FEntries.size() - 1));
    FPublished = FEntries.size();
    endInsertRows();
}

void TVSTModel::Clear()
{
    beginResetModel();
    FEntries.clear();
    FPublished = 0;
    endResetModel();
}
