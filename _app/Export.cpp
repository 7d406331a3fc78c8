#include "Export.h"

#include <QStringEncoder>

#include "Exceptions.h"

namespace {

const QString CRLF = QStringLiteral("\r\n");

[[noreturn]] void RaiseTooLarge()
{
    throw Exception("The export page would be longer than " + std::to_string(MaxExportLength) +
                    " characters");
}

char16_t AsciiUpper(char16_t C)
{
    return (C >= u'a' && C <= u'z') ? char16_t(C - (u'a' - u'A')) : C;
}

// Whether Placeholder (upper case) stands in Text at Pos, ASCII letters matched
// without regard to case.
bool MatchesAt(QStringView Text, qsizetype Pos, QStringView Placeholder)
{
    if (Text.size() - Pos < Placeholder.size()) return false;
    for (qsizetype I = 0; I < Placeholder.size(); ++I)
        if (AsciiUpper(Text[Pos + I].unicode()) != Placeholder[I].unicode()) return false;
    return true;
}

// A value's placeholder, HTML-escaped on insertion.
QString Insert(const QString& Text, QStringView Placeholder, QStringView Value)
{
    return ReplacePlaceholder(Text, Placeholder, HtmlEscape(Value));
}

// The time format of the locale's long form without the time-zone field, which the
// desktop's long time does not have: unquoted runs of 't' go, with the blank that
// separates them from the rest.
QString LongTimeFormat(const QLocale& Locale)
{
    const QString Format = Locale.timeFormat(QLocale::LongFormat);
    QString Out;
    bool Quoted = false;
    for (qsizetype I = 0; I < Format.size(); ++I) {
        const QChar C = Format[I];
        if (C == u'\'') {
            Quoted = !Quoted;
            Out += C;
        } else if (!Quoted && C == u't') {
            while (I + 1 < Format.size() && Format[I + 1] == u't') ++I;
            if (!Out.isEmpty() && Out.back().isSpace()) {
                while (!Out.isEmpty() && Out.back().isSpace()) Out.chop(1);
            } else {
                while (I + 1 < Format.size() && Format[I + 1].isSpace()) ++I;
            }
        } else {
            Out += C;
        }
    }
    return Out.trimmed();
}

}  // namespace

QString HtmlEscape(QStringView Text)
{
    auto Entity = [](QChar C) -> QStringView {
        switch (C.unicode()) {
        case u'&': return u"&amp;";
        case u'<': return u"&lt;";
        case u'>': return u"&gt;";
        case u'"': return u"&quot;";
        case u'\'': return u"&#39;";
        default: return {};
        }
    };
    QString Out;
    Out.reserve(Text.size());
    qsizetype Copied = 0;
    for (qsizetype I = 0; I < Text.size(); ++I) {
        const QStringView Replacement = Entity(Text[I]);
        if (Replacement.isNull()) continue;
        Out += Text.sliced(Copied, I - Copied);
        Out += Replacement;
        Copied = I + 1;
    }
    Out += Text.sliced(Copied);
    return Out;
}

QString ReplacePlaceholder(const QString& Text, QStringView Placeholder, QStringView Value)
{
    const qsizetype Len = Placeholder.size();
    if (Len == 0) return Text;
    const QStringView View(Text);
    // Every placeholder opens with a brace, which is rare in a page; the search for
    // it is the fast part of the scan.
    const QChar First = Placeholder.front();
    auto NextMatch = [&](qsizetype From) {
        for (qsizetype I = View.indexOf(First, From); I >= 0; I = View.indexOf(First, I + 1))
            if (MatchesAt(View, I, Placeholder)) return I;
        return qsizetype(-1);
    };

    // Count first, so that an oversized result is refused before it is built.
    qsizetype Count = 0;
    for (qsizetype I = NextMatch(0); I >= 0; I = NextMatch(I + Len)) ++Count;
    if (Count == 0) return Text;
    const qsizetype Growth = Value.size() - Len;
    if (Growth > 0 && Count > (MaxExportLength - Text.size()) / Growth) RaiseTooLarge();

    QString Out;
    Out.reserve(Text.size() + Count * Growth);
    qsizetype Copied = 0;
    for (qsizetype I = NextMatch(0); I >= 0; I = NextMatch(I + Len)) {
        Out += View.sliced(Copied, I - Copied);
        Out += Value;
        Copied = I + Len;
    }
    Out += View.sliced(Copied);
    return Out;
}

QString FileListHtml(const QString& FileList)
{
    // Every file's line ends in CR LF, so the pieces after the last one is empty and
    // each line comes out followed by "<br>".
    const QList<QStringView> Lines = QStringView(FileList).split(CRLF);
    QString Out;
    for (qsizetype I = 0; I < Lines.size(); ++I) {
        if (I > 0) Out += u"<br>";
        Out += HtmlEscape(Lines[I]);
    }
    return Out;
}

QString BuildEntryBlock(const QString& EntryTemplate, const TTorrentEntry& Entry)
{
    QString Block = EntryTemplate;
    Block = Insert(Block, u"{TITLE}", Entry.Title);
    Block = Insert(Block, u"{LEN}", FormatSize(2, Entry.Size));
    Block = Insert(Block, u"{COUNT}", QString::number(Entry.FileCount));
    Block = Insert(Block, u"{PIECES}", QString::number(Entry.PieceCount));
    Block = Insert(Block, u"{COMMENT}", Entry.Comment);
    Block = Insert(Block, u"{PIECELEN}", FormatSize(0, Entry.PieceLength));
    Block = Insert(Block, u"{LINK}", Entry.Link);
    // The file list's "<br>" stays markup; its lines were escaped on their own.
    Block = ReplacePlaceholder(Block, u"{FILELIST}", FileListHtml(Entry.FileList));
    Block = Insert(Block, u"{ENCODING}", Entry.Encoding);
    Block = Insert(Block, u"{PRIVATE}", Entry.Private);
    return Block;
}

QString BuildExportPage(const QString& PageTemplate, const QString& EntryTemplate,
                        const QList<TTorrentEntry>& Entries, const QString& Name,
                        const QString& Time)
{
    QString Content;
    for (const TTorrentEntry& Entry : Entries) {
        const QString Block = BuildEntryBlock(EntryTemplate, Entry);
        if (Block.size() + CRLF.size() > MaxExportLength - Content.size()) RaiseTooLarge();
        Content += Block;
        Content += CRLF;
    }
    QString Page = ReplacePlaceholder(PageTemplate, u"{CONTENT}", Content);
    Page = Insert(Page, u"{TIME}", Time);
    Page = Insert(Page, u"{NAME}", Name);
    return ToLineForm(Page);
}

QString FormatExportTime(const QLocale& Locale, QDate Date, QTime Time)
{
    return Locale.toString(Date, QLocale::ShortFormat) + QStringLiteral(" - ") +
           Locale.toString(Time, LongTimeFormat(Locale));
}

QString CurrentExportTime()
{
    const QDate Date = QDate::currentDate();
    const QTime Time = QTime::currentTime();
    return FormatExportTime(QLocale::system(), Date, Time);
}

QByteArray EncodeExportPage(const QString& Page)
{
    QStringEncoder Encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QByteArray Bytes = Encoder.encode(Page);
    Bytes.prepend("\xEF\xBB\xBF");
    return Bytes;
}

QByteArray EncodeLinkList(const QStringList& Links)
{
    QString Text;
    for (const QString& Link : Links) {
        Text += Link;
        Text += CRLF;
    }
    return Text.toUtf8();
}
