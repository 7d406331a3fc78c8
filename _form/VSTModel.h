// The main list's model.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QString>

#include "TorrentEntry.h"

// The list's data: one TTorrentEntry per row, in the order of appending, and the
// texts of its cells.
//
// An appended entry belongs to the list at once (Entries), but the view learns of
// new rows only when they are published: once a batch of files has loaded, and
// every few tens of milliseconds while it loads, so that a batch of thousands of
// files is not slowed down by a repaint of the list for every file.
class TVSTModel : public QAbstractTableModel {
public:
    explicit TVSTModel(QObject* Parent = nullptr);

    static constexpr int ColumnCount = 2;
    // The text of an entry's cell: column 0 the file name as DisplayText shows it,
    // column 1 the link in use, each cut to what a cell can show (ShownText).
    static QString CellText(const TTorrentEntry& Entry, int Column, bool FullLinks = false);
    QString CellText(int Row, int Column) const;

    // Whether column 1 shows the full links; a change repaints every row at once.
    bool FullLinks() const { return FFullLinks; }
    void SetFullLinks(bool FullLinks);

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

    const QList<TTorrentEntry>& Entries() const { return FEntries; }
    const TTorrentEntry* Entry(int Row) const;
    void Append(TTorrentEntry Entry);
    // The row of the entry whose link (its info hash) is Link, or -1.
    qsizetype RowOfLink(const QString& Link) const { return FRowOfLink.value(Link, -1); }
    // Removes the rows named (published ones, each once, any order).
    void Remove(QList<int> Rows);
    // Tells the view of the entries appended since the last time, in one insertion.
    void Publish();
    bool HasUnpublished() const { return FPublished < FEntries.size(); }
    void Clear();

private:
    QList<TTorrentEntry> FEntries;
    qsizetype FPublished = 0;              // the rows that the view knows
    QHash<QString, qsizetype> FRowOfLink;  // each entry's row by its link
    bool FFullLinks = false;
};
