#include "VSTModel.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

#include "DisplayText.h"

TVSTModel::TVSTModel(QObject* Parent) : QAbstractTableModel(Parent) {}

QString TVSTModel::CellText(const TTorrentEntry& Entry, int Column, bool FullLinks)
{
    // A file name is a stranger's text: nothing in it may hide or turn around. A cell
    // is laid out on every paint, so it gets no more than can show.
    if (Column == 0) return ShownText(DisplayText(Entry.FileName));
    if (Column == 1) return ShownText(Entry.LinkInUse(FullLinks));
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
    FRowOfLink.insert(Entry.Link, FEntries.size());
    FEntries.append(std::move(Entry));
}

void TVSTModel::Remove(QList<int> Rows)
{
    std::sort(Rows.begin(), Rows.end());
    Rows.erase(std::unique(Rows.begin(), Rows.end()), Rows.end());
    while (!Rows.isEmpty() && Rows.back() >= FPublished) Rows.removeLast();
    while (!Rows.isEmpty() && Rows.front() < 0) Rows.removeFirst();
    if (Rows.isEmpty()) return;

    // Each run of neighbouring rows goes in one removal; a selection scattered over
    // thousands of runs would move the list once per run, so it is rebuilt instead.
    QList<std::pair<int, int>> Runs;  // first, last
    for (const int Row : Rows) {
        if (!Runs.isEmpty() && Runs.back().second + 1 == Row) {
            Runs.back().second = Row;
        } else {
            Runs.append({Row, Row});
        }
    }
    constexpr qsizetype MostRuns = 64;
    if (Runs.size() > MostRuns) {
        beginResetModel();
        QList<TTorrentEntry> Kept;
        Kept.reserve(FEntries.size() - Rows.size());
        qsizetype Next = 0;
        for (qsizetype Row = 0; Row < FEntries.size(); ++Row) {
            if (Next < Rows.size() && Rows[Next] == Row) {
                ++Next;
                continue;
            }
            Kept.append(std::move(FEntries[Row]));
        }
        FEntries = std::move(Kept);
        FPublished -= Rows.size();
        endResetModel();
    } else {
        for (auto Run = Runs.crbegin(); Run != Runs.crend(); ++Run) {
            beginRemoveRows(QModelIndex(), Run->first, Run->second);
            FEntries.remove(Run->first, Run->second - Run->first + 1);
            FPublished -= Run->second - Run->first + 1;
            endRemoveRows();
        }
    }
    FRowOfLink.clear();
    for (qsizetype Row = 0; Row < FEntries.size(); ++Row) FRowOfLink.insert(FEntries[Row].Link, Row);
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
    FRowOfLink.clear();
    FPublished = 0;
    endResetModel();
}
