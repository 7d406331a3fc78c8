#include "Export.h"

#include <QStringEncoder>

#include <limits>

#include "DisplayText.h"
#include "Exceptions.h"

namespace {

const QString CRLF = QStringLiteral("\r\n");

[[noreturn]] void RaiseTooLarge(qsizetype Limit)
{
    throw Exception("The export page would be longer than " + std::to_string(Limit) + " characters");
}

// Sums and products of lengths that stop short of overflowing; a bound that large
// is no bound, and the page fails on memory long before.
constexpr qsizetype NoBound = std::numeric_limits<qsizetype>::max() / 4;
qsizetype Add(qsizetype A, qsizetype B)
{
    return A > NoBound - B ? NoBound : A + B;
}
qsizetype Times(qsizetype Count, qsizetype Length)
{
    return Length != 0 && Count > NoBound / Length ? NoBound : Count * Length;
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

// A value as it goes into the page: shown safely, then HTML-escaped.
QString PageValue(QStringView Value)
{
    return HtmlEscape(DisplayText(Value));
}

// Where the next occurrence of Placeholder stands in Text from From on, or -1.
qsizetype NextPlaceholder(QStringView Text, QStringView Placeholder, qsizetype From)
{
    // Every placeholder opens with a brace, which is rare in a page; the search for
    // it is the fast part of the scan.
    const QChar First = Placeholder.front();
    for (qsizetype I = Text.indexOf(First, From); I >= 0; I = Text.indexOf(First, I + 1))
        if (MatchesAt(Text, I, Placeholder)) return I;
    return -1;
}

qsizetype CountPlaceholder(QStringView Text, QStringView Placeholder)
{
    qsizetype Count = 0;
    for (qsizetype I = NextPlaceholder(Text, Placeholder, 0); I >= 0;
         I = NextPlaceholder(Text, Placeholder, I + Placeholder.size()))
        ++Count;
    return Count;
}

struct TPlaceholderValue {
    QStringView Placeholder;
    QString Value;
};

// The entry placeholders in the order of their replacement, each with the text that
// goes in its place.
QList<TPlaceholderValue> EntryValues(const TTorrentEntry& Entry, bool FullLinks)
{
    return {
        {u"{TITLE}", PageValue(Entry.Title)},
        {u"{LEN}", PageValue(FormatSize(2, Entry.Size))},
        {u"{COUNT}", PageValue(QString::number(Entry.FileCount))},
        {u"{PIECES}", PageValue(QString::number(Entry.PieceCount))},
        {u"{COMMENT}", PageValue(Entry.Comment)},
        {u"{PIECELEN}", PageValue(FormatSize(0, Entry.PieceLength))},
        {u"{LINK}", PageValue(Entry.LinkInUse(FullLinks))},
        // The file list's "<br>" stays markup; its lines were escaped on their own.
        {u"{FILELIST}", FileListHtml(Entry.FileList)},
        {u"{ENCODING}", PageValue(Entry.Encoding)},
        {u"{PRIVATE}", PageValue(Entry.Private)},
        {u"{WARNING}", PageValue(LinkWarning(Entry, FullLinks))},
    };
}

QString BuildEntryBlock(const QString& EntryTemplate, const QList<TPlaceholderValue>& Values, qsizetype Limit)
{
    QString Block = EntryTemplate;
    for (const TPlaceholderValue& V : Values) Block = ReplacePlaceholder(Block, V.Placeholder, V.Value, Limit);
    return Block;
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
        case u'\t':
        case u'\n':
        case u'\r': return {};
        default:
            // No control character reaches the page raw: a NUL would cut the page for
            // some readers, ESC and BEL mean something to a terminal, and a numeric
            // reference to one is itself an error in HTML.
            return C.category() == QChar::Other_Control ? QStringView(u"\uFFFD") : QStringView();
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

QString ReplacePlaceholder(const QString& Text, QStringView Placeholder, QStringView Value, qsizetype Limit)
{
    const qsizetype Len = Placeholder.size();
    if (Len == 0) return Text;
    const QStringView View(Text);
    auto NextMatch = [&](qsizetype From) { return NextPlaceholder(View, Placeholder, From); };

    // Count first, so that an oversized result is refused before it is built.
    const qsizetype Count = CountPlaceholder(View, Placeholder);
    if (Count == 0) return Text;
    const qsizetype Growth = Value.size() - Len;
    if (Growth > 0 && Count > (Limit - Text.size()) / Growth) RaiseTooLarge(Limit);

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
        Out += HtmlEscape(DisplayText(Lines[I]));
    }
    return Out;
}

QString BuildEntryBlock(const QString& EntryTemplate, const TTorrentEntry& Entry, bool FullLinks, qsizetype Limit)
{
    return BuildEntryBlock(EntryTemplate, EntryValues(Entry, FullLinks), Limit);
}

qsizetype ExportLengthBound(const QString& PageTemplate, const QString& EntryTemplate,
                            const QList<TTorrentEntry>& Entries, const QString& Name, const QString& Time,
                            bool FullLinks)
{
    // Each placeholder of a template is counted once; every occurrence of it can take
    // no more than its value's length.
    const qsizetype PageWide = Add(Times(CountPlaceholder(EntryTemplate, u"{TIME}"), PageValue(Time).size()),
                                   Times(CountPlaceholder(EntryTemplate, u"{NAME}"), PageValue(Name).size()));
    const TTorrentEntry Blank;
    QList<qsizetype> Counts;
    for (const TPlaceholderValue& V : EntryValues(Blank, false))
        Counts << CountPlaceholder(EntryTemplate, V.Placeholder);

    qsizetype Content = 0;
    for (const TTorrentEntry& Entry : Entries) {
        qsizetype Block = Add(Add(EntryTemplate.size(), PageWide), CRLF.size());
        const QList<TPlaceholderValue> Values = EntryValues(Entry, FullLinks);
        for (qsizetype I = 0; I < Values.size(); ++I) Block = Add(Block, Times(Counts[I], Values[I].Value.size()));
        Content = Add(Content, Block);
    }
    qsizetype Page = Add(PageTemplate.size(), Times(CountPlaceholder(PageTemplate, u"{CONTENT}"), Content));
    Page = Add(Page, Times(CountPlaceholder(PageTemplate, u"{TIME}"), PageValue(Time).size()));
    Page = Add(Page, Times(CountPlaceholder(PageTemplate, u"{NAME}"), PageValue(Name).size()));
    return Add(Page, MaxExportLength);
}

QString BuildExportPage(const QString& PageTemplate, const QString& EntryTemplate, const QList<TTorrentEntry>& Entries,
                        const QString& Name, const QString& Time, bool FullLinks)
{
    const qsizetype Limit = ExportLengthBound(PageTemplate, EntryTemplate, Entries, Name, Time, FullLinks);
    QString Content;
    for (const TTorrentEntry& Entry : Entries) {
        const QString Block = BuildEntryBlock(EntryTemplate, Entry, FullLinks, Limit);
        if (Block.size() + CRLF.size() > Limit - Content.size()) RaiseTooLarge(Limit);
        Content += Block;
        Content += CRLF;
    }
    QString Page = ReplacePlaceholder(PageTemplate, u"{CONTENT}", Content, Limit);
    Page = ReplacePlaceholder(Page, u"{TIME}", PageValue(Time), Limit);
    Page = ReplacePlaceholder(Page, u"{NAME}", PageValue(Name), Limit);
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
