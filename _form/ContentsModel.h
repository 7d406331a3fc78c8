// The contents window's tree of files.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <vector>

class TTorrentContents;

// The files of one torrent as a tree of folders: folders first, then files, each by
// name (numbers in names by their value); a folder shows the total size and the number of the files below it that
// are shown. Pad files are left out. The filter narrows the tree to the files whose
// path holds a text, without regard to case.
//
// Built once per torrent into flat arrays (a node per folder and file, children as
// runs of one array), so that a torrent of 100,000 files costs no object per file
// and the view asks only for the rows it paints.
class TContentsModel : public QAbstractItemModel {
public:
    explicit TContentsModel(QObject* Parent = nullptr);

    enum { ColumnName, ColumnSize, ColumnFiles, ColumnCount };

    // Shows the files of Contents, through the filter that is set.
    void SetContents(const TTorrentContents& Contents);
    void SetFilter(const QString& Text);
    QString Filter() const { return FFilter; }

    // The files that the tree shows, and their total size.
    int64_t ShownFileCount() const { return FShownFiles.empty() ? 0 : FShownFiles[0]; }
    int64_t ShownSize() const { return FShownSize.empty() ? 0 : FShownSize[0]; }
    // The path of a row as it is shown, folders joined by '/'.
    QString Path(const QModelIndex& Index) const;
    bool IsFolder(const QModelIndex& Index) const;

    QModelIndex index(int Row, int Column, const QModelIndex& Parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& Child) const override;
    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

private:
    struct TNode {
        int32_t Parent = -1;  // node 0 is the root, which is never shown
        int64_t Size = 0;
        bool Folder = false;
    };
    std::vector<TNode> FNodes;    // a parent always before its children
    std::vector<QString> FNames;  // as shown (DisplayText)
    // The children of node n, sorted: FChildren[FChildStart[n] .. FChildStart[n + 1]).
    std::vector<int32_t> FChildStart, FChildren;
    // Each file's path as shown, case-folded, one after another with a line feed
    // after each: the filter searches this text at once.
    QString FHaystack;
    std::vector<qsizetype> FFileStart;  // where file k begins in FHaystack
    std::vector<int32_t> FFileNode;     // the node of file k

    QString FFilter;
    // What the filter lets through, per node.
    std::vector<int64_t> FShownFiles, FShownSize;
    std::vector<int32_t> FShownStart, FShown, FRow;  // the shown children, as above; a node's row

    QIcon FFolderIcon, FFileIcon;

    int32_t Node(const QModelIndex& Index) const { return Index.isValid() ? int32_t(Index.internalId()) : 0; }
    void ApplyFilter();
};
