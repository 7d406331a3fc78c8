#include "Export.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <system_error>

#include "Exceptions.h"

namespace {

const QString CRLF = QStringLiteral("\r\n");

// Templates are small; anything near this size is not one, and reading it whole
// would only cost memory before the page limit refused it anyway.
constexpr qint64 MaxTemplateBytes = qint64(MaxExportLength) * 2;

std::string SystemText(int Error)
{
    return std::generic_category().message(Error);
}

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

QString DecodeTextFile(const QByteArray& Bytes)
{
    auto Decode = [&](QStringConverter::Encoding Encoding, qsizetype Skip) {
        // The mark has been taken off; a second one is text like any other character.
        QStringDecoder Decoder(Encoding, QStringConverter::Flag::Stateless |
                                             QStringConverter::Flag::ConvertInitialBom);
        return QString(Decoder.decode(QByteArrayView(Bytes).sliced(Skip)));
    };
    if (Bytes.startsWith("\xEF\xBB\xBF")) return Decode(QStringConverter::Utf8, 3);
    if (Bytes.startsWith("\xFF\xFE")) return Decode(QStringConverter::Utf16LE, 2);
    if (Bytes.startsWith("\xFE\xFF")) return Decode(QStringConverter::Utf16BE, 2);
    return Decode(QStringConverter::Utf8, 0);
}

QString ToLineForm(QStringView Text)
{
    QString Out;
    Out.reserve(Text.size() + 2);
    qsizetype Start = 0;
    while (Start < Text.size()) {
        qsizetype End = Start;
        while (End < Text.size() && Text[End] != u'\r' && Text[End] != u'\n') ++End;
        Out += Text.sliced(Start, End - Start);
        Out += CRLF;
        if (End < Text.size() && Text[End] == u'\r' && End + 1 < Text.size() && Text[End + 1] == u'\n') ++End;
        Start = End + 1;
    }
    return Out;
}

QString ReadTextFile(const QString& FileName)
{
    const QFileInfo Info(FileName);
    const QString Path = Info.absoluteFilePath();
    const std::string PathText = Path.toStdString();
    // Only a regular file: opening a FIFO would wait for a writer, a device could
    // be read forever.
    if (Info.exists() && !Info.isFile())
        throw EFOpenError(PathText, SystemText(Info.isDir() ? EISDIR : ENXIO));
    if (Info.size() > MaxTemplateBytes) throw EFOpenError(PathText, SystemText(EFBIG));

    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly)) throw EFOpenError(PathText, File.errorString().toStdString());
    const QByteArray Bytes = File.read(MaxTemplateBytes + 1);
    if (File.error() != QFileDevice::NoError)
        throw EFOpenError(PathText, File.errorString().toStdString());
    if (Bytes.size() > MaxTemplateBytes) throw EFOpenError(PathText, SystemText(EFBIG));
    return ToLineForm(DecodeTextFile(Bytes));
}

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

QString BuildEntryBlock(const QString& EntryTemplate, const TTorrentEntry& Entry, bool FullLinks)
{
    QString Block = EntryTemplate;
    Block = Insert(Block, u"{TITLE}", Entry.Title);
    Block = Insert(Block, u"{LEN}", FormatSize(2, Entry.Size));
    Block = Insert(Block, u"{COUNT}", QString::number(Entry.FileCount));
    Block = Insert(Block, u"{PIECES}", QString::number(Entry.PieceCount));
    Block = Insert(Block, u"{COMMENT}", Entry.Comment);
    Block = Insert(Block, u"{PIECELEN}", FormatSize(0, Entry.PieceLength));
    Block = Insert(Block, u"{LINK}", Entry.LinkInUse(FullLinks));
    // The file list's "<br>" stays markup; its lines were escaped on their own.
    Block = ReplacePlaceholder(Block, u"{FILELIST}", FileListHtml(Entry.FileList));
    Block = Insert(Block, u"{ENCODING}", Entry.Encoding);
    Block = Insert(Block, u"{PRIVATE}", Entry.Private);
    Block = Insert(Block, u"{WARNING}", LinkWarning(Entry, FullLinks));
    return Block;
}

QString BuildExportPage(const QString& PageTemplate, const QString& EntryTemplate,
                        const QList<TTorrentEntry>& Entries, const QString& Name,
                        const QString& Time, bool FullLinks)
{
    QString Content;
    for (const TTorrentEntry& Entry : Entries) {
        const QString Block = BuildEntryBlock(EntryTemplate, Entry, FullLinks);
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

void WriteFileWhole(const QString& FileName, const QByteArray& Bytes)
{
    const QString Path = QFileInfo(FileName).absoluteFilePath();
    QSaveFile File(Path);
    auto Fail = [&](const QString& Reason) {
        File.cancelWriting();
        throw EFCreateError(Path.toStdString(), Reason.toStdString());
    };
    if (!File.open(QIODevice::WriteOnly)) Fail(File.errorString());
    // A short write (a full disk, a file-size limit) is no error by itself; the
    // next write then reports the cause.
    const char* Data = Bytes.constData();
    qint64 Left = Bytes.size();
    while (Left > 0) {
        const qint64 Written = File.write(Data, Left);
        if (Written <= 0) Fail(File.errorString());
        Data += Written;
        Left -= Written;
    }
    if (!File.commit()) throw EFCreateError(Path.toStdString(), File.errorString().toStdString());
}
