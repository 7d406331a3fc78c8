// The main window's commands on several selected entries: Run and Copy take every
// selected link in list order, Delete takes the entries out of the list.
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTreeView>

#include <algorithm>

#include "Platform.h"
#include "frm_Main.h"

QList<int> TfrmKTZ::SelectedRows() const
{
    QList<int> Rows;
    for (const QModelIndex& Index : VST->selectionModel()->selectedRows()) Rows << Index.row();
    std::sort(Rows.begin(), Rows.end());
    return Rows;
}

QStringList TfrmKTZ::SelectedLinks() const
{
    QStringList Links;
    for (const int Row : SelectedRows())
        if (const TTorrentEntry* Entry = VSTModel->Entry(Row)) Links << Entry->LinkInUse(FullLinks());
    return Links;
}

bool TfrmKTZ::RunSelected()
{
    const QStringList Links = SelectedLinks();
    if (Links.size() < 2) return false;
    if (Links.size() > LinksWithoutQuestion) {
        QPointer<TfrmKTZ> Self(this);
        const bool Yes =
            FPlatform.Ask(this, QCoreApplication::translate("TfrmKTZ",
                                                            "Выделено ссылок: %1. Передать их все программе для "
                                                            "магнитных ссылок?")
                                    .arg(Links.size()));
        if (!Self || !Yes) return true;
    }
    for (const QString& Link : Links) FPlatform.OpenLink(this, Link);
    return true;
}

bool TfrmKTZ::CopySelected()
{
    const QStringList Links = SelectedLinks();
    if (Links.size() < 2) return false;
    FPlatform.CopyText(Links.join(u'\n'));
    return true;
}

void TfrmKTZ::mmDeleteClick()
{
    const QList<int> Rows = SelectedRows();
    if (Rows.isEmpty()) return;
    // As after Clear, the details panel and the link field keep what they show: no
    // entry that takes the removed ones' place becomes selected or shown.
    FKeepDetails = true;
    VST->selectionModel()->clearSelection();
    VSTModel->Remove(Rows);
    VST->selectionModel()->clearSelection();
    FKeepDetails = false;
}
