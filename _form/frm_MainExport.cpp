// The main window's two exports: every entry of the list, in list order, as an HTML
// page filled from the templates (the user's own in the data folder, else those in
// the program's fls/) or as a plain list of magnet links.
#include "frm_Main.h"

#include "DataLocation.h"
#include "Export.h"
#include "fer_Exp.h"
#include "Platform.h"

namespace {

const char* const HtmlFilter = QT_TRANSLATE_NOOP("TfrmKTZ", "HTML файл (.html)|*.html");

}  // namespace

void TfrmKTZ::mmAsHTMLClick()
{
    // Cancel in the name dialog only changes the name; the export goes on.
    const QString Name = FAskExportName(this);
    // The entries as they stand now: a later copy of the program may have handed
    // files over while the dialog was open, and those are in the page.
    const QList<TTorrentEntry> Exported = Entries();

    const QString Folder = ProgramFolder();
    const QString EntryTemplate = ReadTextFile(TemplateFileName(Folder, QStringLiteral("mid.tpl")));
    const QString PageTemplate = ReadTextFile(TemplateFileName(Folder, QStringLiteral("template.tpl")));
    const QByteArray Page = EncodeExportPage(
        BuildExportPage(PageTemplate, EntryTemplate, Exported, Name, CurrentExportTime(), FullLinks()));

    const QString FileName = Platform().ChooseSaveFile(this, tr(HtmlFilter), QString::fromUtf8(SaveDialogExtension));
    if (FileName.isEmpty()) return;
    WriteFileWhole(FileName, Page);
}

void TfrmKTZ::mmAsListClick()
{
    QStringList Links;
    for (const TTorrentEntry& Entry : Entries()) Links << Entry.LinkInUse(FullLinks());
    const QByteArray List = EncodeLinkList(Links);

    const QString FileName =
        Platform().ChooseSaveFile(this, tr(SaveDialogFilter), QString::fromUtf8(SaveDialogExtension));
    if (FileName.isEmpty()) return;
    WriteFileWhole(FileName, List);
}
