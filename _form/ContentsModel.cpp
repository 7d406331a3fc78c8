#include "ContentsModel.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

#include "DisplayText.h"
#include "TorrentContents.h"
#include "TorrentEntry.h"

namespace {

// A folder by its parent and its name's bytes.
struct TFolderKey {
    int32_t Parent;
    std::string_view Name;
    bool operator==(const TFolderKey&) const = default;
};
struct TFolderKeyHash {
    size_t operator()(const TFolderKey& Key) const
    {
        return std::hash<std::string_view>()(Key.Name) * 31 + size_t(Key.Parent);
    }
};

// Names in the order people expect: runs of digits by their value, so that "dir2"
// comes before "dir10"; otherwise by code point.
int NaturalCompare(QStringView A, QStringView B)
{
    qsizetype i = 0, j = 0;
    while (i < A.size() && j < B.size()) {
        if (A[i].isDigit() && B[j].isDigit()) {
            const qsizetype StartA = i, StartB = j;
            while (i < A.size() && A[i].isDigit()) ++i;
            while (j < B.size() && B[j].isDigit()) ++j;
            QStringView RunA = A.sliced(StartA, i - StartA), RunB = B.sliced(StartB, j - StartB);
            while (RunA.size() > 1 && RunA.front() == u'0') RunA = RunA.sliced(1);
            while (RunB.size() > 1 && RunB.front() == u'0') RunB = RunB.sliced(1);
            if (RunA.size() != RunB.size()) return RunA.size() < RunB.size() ? -1 : 1;
            if (const int Order = RunA.compare(RunB)) return Order;
            continue;
        }
        if (A[i] != B[j]) return A[i] < B[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < A.size()) return 1;
    return j < B.size() ? -1 : 0;
}

QString ShownName(std::string_view Bytes)
{
    return DisplayText(QString::fromUtf8(Bytes.data(), qsizetype(Bytes.size())));
}

}  // namespace

TContentsModel::TContentsModel(QObject* Parent) : QAbstractItemModel(Parent)
{
    const QStyle* Style = QApplication::style();
    FFolderIcon = Style->standardIcon(QStyle::SP_DirIcon);
    FFileIcon = Style->standardIcon(QStyle::SP_FileIcon);
    FNodes.emplace_back();
    FNames.emplace_back();
    FChildStart = {0, 0};
    ApplyFilter();
}

void TContentsModel::SetContents(const TTorrentContents& Contents)
{
    beginResetModel();
    FNodes.assign(1, TNode{-1, 0, true});
    FNames.assign(1, QString());
    FFileStart.clear();
    FFileNode.clear();
    FHaystack.clear();

    // Folders are found by their parent and name while the tree is built; the names
    // are views into Contents, which outlives the build.
    std::unordered_map<TFolderKey, int32_t, TFolderKeyHash> Folders;
    Contents.ForEachFile([&](const TTorrentContentsFile& File) {
        if (File.Pad) return;
        const std::vector<std::string_view>& Path = File.PathUtf8.empty() ? File.Path : File.PathUtf8;
        int32_t Parent = 0;
        for (size_t k = 0; k + 1 < Path.size(); ++k) {
            auto [At, New] = Folders.try_emplace(TFolderKey{Parent, Path[k]}, int32_t(FNodes.size()));
            if (New) {
                FNodes.push_back(TNode{Parent, 0, true});
                FNames.push_back(ShownName(Path[k]));
            }
            Parent = At->second;
        }
        FFileNode.push_back(int32_t(FNodes.size()));
        FNodes.push_back(TNode{Parent, File.Length, false});
        FNames.push_back(ShownName(Path.empty() ? std::string_view() : Path.back()));
    });
    const auto Count = int32_t(FNodes.size());

    // Sizes add up from the leaves: every child stands after its parent.
    for (int32_t n = Count - 1; n > 0; --n) FNodes[size_t(FNodes[size_t(n)].Parent)].Size += FNodes[size_t(n)].Size;

    // Each node's children in a run of FChildren: folders first, then by name,
    // without regard to case first, numbers by their value.
    std::vector<QString> Keys(FNames.size());
    for (size_t n = 0; n < FNames.size(); ++n) Keys[n] = FNames[n].toCaseFolded();
    FChildStart.assign(size_t(Count) + 1, 0);
    for (int32_t n = 1; n < Count; ++n) ++FChildStart[size_t(FNodes[size_t(n)].Parent) + 1];
    std::partial_sum(FChildStart.begin(), FChildStart.end(), FChildStart.begin());
    FChildren.assign(size_t(std::max(Count - 1, 0)), 0);
    {
        std::vector<int32_t> Next(FChildStart.begin(), FChildStart.end() - 1);
        for (int32_t n = 1; n < Count; ++n) FChildren[size_t(Next[size_t(FNodes[size_t(n)].Parent)]++)] = n;
    }
    const auto Before = [&](int32_t A, int32_t B) {
        const TNode& NodeA = FNodes[size_t(A)];
        const TNode& NodeB = FNodes[size_t(B)];
        if (NodeA.Folder != NodeB.Folder) return NodeA.Folder;
        if (const int Order = NaturalCompare(Keys[size_t(A)], Keys[size_t(B)])) return Order < 0;
        if (const int Order = FNames[size_t(A)].compare(FNames[size_t(B)])) return Order < 0;
        return A < B;
    };
    for (int32_t n = 0; n < Count; ++n) {
        if (!FNodes[size_t(n)].Folder) continue;
        std::sort(FChildren.begin() + FChildStart[size_t(n)], FChildren.begin() + FChildStart[size_t(n) + 1], Before);
    }

    // The text the filter searches: each file's whole path as shown, case-folded.
    std::vector<QString> FolderPaths(static_cast<size_t>(Count));
    for (int32_t n = 1; n < Count; ++n) {
        if (!FNodes[size_t(n)].Folder) continue;
        const QString& Above = FolderPaths[size_t(FNodes[size_t(n)].Parent)];
        FolderPaths[size_t(n)] = (Above.isEmpty() ? QString() : Above + u'/') + Keys[size_t(n)];
    }
    qsizetype Length = 0;
    for (const int32_t n : FFileNode) {
        const QString& Above = FolderPaths[size_t(FNodes[size_t(n)].Parent)];
        Length += Above.size() + Keys[size_t(n)].size() + 2;
    }
    FHaystack.reserve(Length);
    FFileStart.reserve(FFileNode.size() + 1);
    for (const int32_t n : FFileNode) {
        FFileStart.push_back(FHaystack.size());
        const QString& Above = FolderPaths[size_t(FNodes[size_t(n)].Parent)];
        if (!Above.isEmpty()) FHaystack += Above + u'/';
        FHaystack += Keys[size_t(n)];
        FHaystack += u'\n';
    }
    FFileStart.push_back(FHaystack.size());

    ApplyFilter();
    endResetModel();
}

void TContentsModel::SetFilter(const QString& Text)
{
    if (Text == FFilter) return;
    beginResetModel();
    FFilter = Text;
    ApplyFilter();
    endResetModel();
}

void TContentsModel::ApplyFilter()
{
    const size_t Count = FNodes.size();
    FShownFiles.assign(Count, 0);
    FShownSize.assign(Count, 0);
    // A line feed cannot be typed into the filter; one that arrives all the same
    // would match across two paths.
    const QString Needle = QString(FFilter).remove(u'\n').toCaseFolded();
    if (Needle.isEmpty()) {
        for (const int32_t n : FFileNode) FShownFiles[size_t(n)] = 1;
    } else {
        for (qsizetype From = 0; From < FHaystack.size();) {
            const qsizetype At = FHaystack.indexOf(Needle, From);
            if (At < 0) break;
            const size_t File =
                size_t(std::upper_bound(FFileStart.begin(), FFileStart.end(), At) - FFileStart.begin()) - 1;
            FShownFiles[size_t(FFileNode[File])] = 1;
            From = FFileStart[File + 1];
        }
    }
    for (const int32_t n : FFileNode)
        if (FShownFiles[size_t(n)]) FShownSize[size_t(n)] = FNodes[size_t(n)].Size;
    for (size_t n = Count - 1; n > 0; --n) {
        const auto Parent = size_t(FNodes[n].Parent);
        FShownFiles[Parent] += FShownFiles[n];
        FShownSize[Parent] += FShownSize[n];
    }

    FShownStart.assign(Count + 1, 0);
    FShown.clear();
    FRow.assign(Count, 0);
    for (size_t n = 0; n < Count; ++n) {
        FShownStart[n] = int32_t(FShown.size());
        if (!FNodes[n].Folder) continue;
        for (int32_t k = FChildStart[n]; k < FChildStart[n + 1]; ++k) {
            const int32_t Child = FChildren[size_t(k)];
            if (FShownFiles[size_t(Child)] == 0) continue;
            FRow[size_t(Child)] = int32_t(FShown.size()) - FShownStart[n];
            FShown.push_back(Child);
        }
    }
    FShownStart[Count] = int32_t(FShown.size());
}

QString TContentsModel::Path(const QModelIndex& Index) const
{
    QString Path;
    for (int32_t n = Node(Index); n > 0; n = FNodes[size_t(n)].Parent)
        Path = Path.isEmpty() ? FNames[size_t(n)] : FNames[size_t(n)] + u'/' + Path;
    return Path;
}

bool TContentsModel::IsFolder(const QModelIndex& Index) const
{
    return Index.isValid() && FNodes[size_t(Node(Index))].Folder;
}

QModelIndex TContentsModel::index(int Row, int Column, const QModelIndex& Parent) const
{
    const int32_t n = Node(Parent);
    if (Row < 0 || Column < 0 || Column >= ColumnCount || size_t(n) >= FNodes.size()) return QModelIndex();
    if (Row >= FShownStart[size_t(n) + 1] - FShownStart[size_t(n)]) return QModelIndex();
    return createIndex(Row, Column, quintptr(FShown[size_t(FShownStart[size_t(n)] + Row)]));
}

QModelIndex TContentsModel::parent(const QModelIndex& Child) const
{
    if (!Child.isValid()) return QModelIndex();
    const int32_t Parent = FNodes[size_t(Node(Child))].Parent;
    if (Parent <= 0) return QModelIndex();
    return createIndex(FRow[size_t(Parent)], 0, quintptr(Parent));
}

int TContentsModel::rowCount(const QModelIndex& Parent) const
{
    if (Parent.column() > 0) return 0;
    const auto n = size_t(Node(Parent));
    return FShownStart[n + 1] - FShownStart[n];
}

int TContentsModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

QVariant TContentsModel::data(const QModelIndex& Index, int Role) const
{
    if (!Index.isValid()) return QVariant();
    const auto n = size_t(Node(Index));
    const TNode& Item = FNodes[n];
    switch (Role) {
    case Qt::DisplayRole:
        switch (Index.column()) {
        case ColumnName: return FNames[n];
        case ColumnSize: return FormatSize(2, FShownSize[n]);
        case ColumnFiles: return Item.Folder ? QVariant(QString::number(FShownFiles[n])) : QVariant();
        }
        break;
    case Qt::ToolTipRole:
        if (Index.column() == ColumnSize)
            return QCoreApplication::translate("TContentsModel", "%1 байт").arg(FShownSize[n]);
        if (Index.column() == ColumnName) return Path(Index);
        break;
    case Qt::DecorationRole:
        if (Index.column() == ColumnName) return Item.Folder ? FFolderIcon : FFileIcon;
        break;
    case Qt::TextAlignmentRole:
        if (Index.column() != ColumnName) return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    default: break;
    }
    return QVariant();
}

QVariant TContentsModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole) return QVariant();
    switch (Section) {
    case ColumnName: return QCoreApplication::translate("TContentsModel", "Имя");
    case ColumnSize: return QCoreApplication::translate("TContentsModel", "Размер");
    case ColumnFiles: return QCoreApplication::translate("TContentsModel", "Файлов");
    default: return QVariant();
    }
}
