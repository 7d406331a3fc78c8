// The export's template reading and page building on arbitrary templates and entry
// values: no crash, no sanitizer report, a page in line form (every line ended by
// CR LF) within the export's bound for its templates and entries, or the bound's
// own exception.
//
// Input layout: page template, 0x00, entry template, 0x00, then entry values
// separated by 0x01 (title, comment, file list, encoding, link, private), the same
// values serving for two entries.
#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Exceptions.h"
#include "Export.h"

namespace {

void Check(bool Condition, const char* What)
{
    if (Condition) return;
    std::fprintf(stderr, "fuzz_template: %s\n", What);
    std::abort();
}

bool InLineForm(const QString& Text)
{
    for (qsizetype I = 0; I < Text.size(); ++I) {
        if (Text[I] == u'\r' && (I + 1 == Text.size() || Text[I + 1] != u'\n')) return false;
        if (Text[I] == u'\n' && (I == 0 || Text[I - 1] != u'\r')) return false;
    }
    return Text.isEmpty() || Text.endsWith(QStringLiteral("\r\n"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    const QByteArray Bytes(reinterpret_cast<const char*>(Data), qsizetype(Size));
    const QList<QByteArray> Parts = Bytes.split('\0');
    const QString Page = ToLineForm(DecodeTextFile(Parts.value(0)));
    const QString Entry = ToLineForm(DecodeTextFile(Parts.value(1)));
    Check(InLineForm(Page) && InLineForm(Entry), "a template read is not in line form");

    const QList<QByteArray> Values = Parts.value(2).split('\1');
    auto Text = [&](int I) { return QString::fromUtf8(Values.value(I)); };
    TTorrentEntry E;
    E.FileName = QStringLiteral("a.torrent");
    E.Title = Text(0);
    E.Comment = Text(1);
    E.FileList = Text(2);
    E.Encoding = Text(3);
    E.Link = Text(4);
    E.Private = Text(5);
    E.Size = Bytes.size() * 1234567;
    E.FileCount = int32_t(Bytes.size());
    E.PieceLength = 1 << 18;
    E.PieceCount = 7;
    const QList<TTorrentEntry> Entries{E, E};

    const QString Time = FormatExportTime(QLocale::c(), QDate(2024, 2, 29), QTime(23, 59, 58));
    try {
        const QString Result = BuildExportPage(Page, Entry, Entries, Text(6), Time);
        // The line form at the end may turn each lone line end into two characters.
        const qsizetype Bound = ExportLengthBound(Page, Entry, Entries, Text(6), Time);
        Check(Result.size() <= 2 * Bound + 2, "a page beyond the export's limit");
        Check(InLineForm(Result), "a page not in line form");
        Check(EncodeExportPage(Result).startsWith("\xEF\xBB\xBF"), "a page without its byte-order mark");
    } catch (const Exception&) {
        // The limit on the page's length: the export fails with a message.
    }
    return 0;
}
