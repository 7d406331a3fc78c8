#include "ProfileFile.h"

#include <QFileInfo>
#include <QStringList>

#include "Exceptions.h"
#include "TextFile.h"

namespace {

// The largest settings file that is read. A real one is a few hundred bytes; the
// bound keeps a hostile one from costing the start its memory.
constexpr qint64 MaxProfileBytes = qint64(16) << 20;

// A profile file as its bytes and, for finding sections and keys, the text of each
// of its lines. A rewrite changes only the bytes of the line it means to change, so
// whatever is not UTF-8, and every other line end, survives as it was.
struct TProfileText {
    TTextEncoding Encoding;
    QList<TTextLine> Ranges;
    QStringList Lines;
    QByteArray NewLineEnd;  // the first line end of the file, else CR LF
};

TProfileText ParseProfile(const QByteArray& Bytes)
{
    TProfileText Result;
    Result.Encoding = TextEncodingOf(Bytes);
    Result.Ranges = SplitTextLines(Bytes, Result.Encoding);
    Result.NewLineEnd = EncodeText(u"\r\n", Result.Encoding);
    bool EndSeen = false;
    for (const TTextLine& Line : Result.Ranges) {
        const QByteArrayView Text = QByteArrayView(Bytes).sliced(Line.Start, Line.Length);
        Result.Lines << DecodeText(Text, Result.Encoding);
        if (!EndSeen && Line.EndLength > 0) {
            Result.NewLineEnd = Bytes.sliced(Line.Start + Line.Length, Line.EndLength);
            EndSeen = true;
        }
    }
    return Result;
}

// The section name of a "[name]" line, or a null string for any other line.
QString SectionName(const QString& Line)
{
    const QString Trimmed = Line.trimmed();
    if (!Trimmed.startsWith(u'[')) return QString();
    qsizetype Close = Trimmed.indexOf(u']');
    if (Close < 0) Close = Trimmed.size();
    return Trimmed.mid(1, Close - 1).trimmed();
}

// The key of a "key=value" line, or a null string.
QString KeyName(const QString& Line, QString* Value = nullptr)
{
    const qsizetype Eq = Line.indexOf(u'=');
    if (Eq < 0) return QString();
    if (Value) *Value = Line.mid(Eq + 1).trimmed();
    return Line.left(Eq).trimmed();
}

bool SameName(const QString& A, const QString& B)
{
    return A.compare(B, Qt::CaseInsensitive) == 0;
}

// The line of the first section named Section, or -1; the end of that section (the
// index of the next section's line, or the line count) in *End.
qsizetype FindSection(const QStringList& Lines, const QString& Section, qsizetype* End)
{
    for (qsizetype i = 0; i < Lines.size(); ++i) {
        const QString Name = SectionName(Lines[i]);
        if (Name.isNull() || !SameName(Name, Section)) continue;
        qsizetype j = i + 1;
        while (j < Lines.size() && SectionName(Lines[j]).isNull()) ++j;
        *End = j;
        return i;
    }
    return -1;
}

QString Unquoted(const QString& Value)
{
    if (Value.size() >= 2) {
        const QChar First = Value.front();
        if ((First == u'"' || First == u'\'') && Value.back() == First) return Value.mid(1, Value.size() - 2);
    }
    return Value;
}

}  // namespace

QString ProfileReadString(const QString& FileName, const QString& Section, const QString& Key, const QString& Default)
{
    QByteArray Bytes;
    try {
        Bytes = ReadFileBytes(FileName, MaxProfileBytes);
    } catch (const EFOpenError&) {
        // Missing, unreadable, not a regular file or far too large: no setting.
        return Default;
    }
    const TProfileText Profile = ParseProfile(Bytes);
    qsizetype End = 0;
    const qsizetype Start = FindSection(Profile.Lines, Section, &End);
    if (Start < 0) return Default;
    for (qsizetype i = Start + 1; i < End; ++i) {
        QString Value;
        const QString Name = KeyName(Profile.Lines[i], &Value);
        if (!Name.isNull() && SameName(Name, Key)) return Unquoted(Value);
    }
    return Default;
}

QByteArray ProfileWriteText(const QByteArray& Existing, const QString& Section, const QString& Key,
                            const QString& Value)
{
    const TProfileText Profile = ParseProfile(Existing);
    const QStringList& Lines = Profile.Lines;
    const QList<TTextLine>& Ranges = Profile.Ranges;
    auto Encoded = [&](const QString& Line) { return EncodeText(Line, Profile.Encoding); };

    // New lines go in before line At, or after the last line, which then needs an end
    // of its own first. An odd byte that ends a UTF-16 file is no character; the new
    // lines after it could not be read, so it becomes the U+FFFD it reads as.
    auto InsertLines = [&](qsizetype At, const QStringList& New) {
        QByteArray Insert;
        qsizetype Pos = Existing.size(), Removed = 0;
        if (At < Ranges.size()) {
            Pos = Ranges[At].Start;
        } else if (!Ranges.isEmpty() && Ranges.back().EndLength == 0) {
            if ((Existing.size() - Profile.Encoding.MarkLength) % Profile.Encoding.UnitSize() != 0) {
                --Pos;
                Removed = 1;
                Insert += Encoded(QString(QChar::ReplacementCharacter));
            }
            Insert += Profile.NewLineEnd;
        }
        for (const QString& Line : New) Insert += Encoded(Line) + Profile.NewLineEnd;
        QByteArray Result = Existing;
        return Result.replace(Pos, Removed, Insert);
    };

    qsizetype End = 0;
    const qsizetype Start = FindSection(Lines, Section, &End);
    if (Start < 0)
        return InsertLines(Lines.size(),
                           {QLatin1Char('[') + Section + QLatin1Char(']'), Key + QLatin1Char('=') + Value});
    for (qsizetype i = Start + 1; i < End; ++i) {
        QString Current;
        const QString Name = KeyName(Lines[i], &Current);
        if (Name.isNull() || !SameName(Name, Key)) continue;
        // The value already stands there: the file stays as it is.
        if (Current == Value) return Existing;
        QByteArray Result = Existing;
        return Result.replace(Ranges[i].Start, Ranges[i].Length, Encoded(Name + QLatin1Char('=') + Value));
    }
    // A new key goes after the section's last line that is not blank.
    qsizetype At = End;
    while (At > Start + 1 && Lines[At - 1].trimmed().isEmpty()) --At;
    return InsertLines(At, {Key + QLatin1Char('=') + Value});
}

void ProfileWriteString(const QString& FileName, const QString& Section, const QString& Key, const QString& Value)
{
    auto Fail = [&]() { throw Exception(("Unable to write to " + FileName).toStdString()); };

    const QFileInfo Info(FileName);
    QByteArray Existing;
    if (Info.exists()) {
        // Only a regular file is ever read or replaced: a FIFO or a device is refused
        // at once, and a read-only file stays unwritten, as it would be if the
        // replacement below wrote in place.
        if (!Info.isFile() || !Info.isWritable()) Fail();
        try {
            Existing = ReadFileBytes(FileName, MaxProfileBytes);
        } catch (const EFOpenError&) {
            // What cannot be read whole cannot be kept whole: it stays untouched.
            Fail();
        }
    }
    const QByteArray Text = ProfileWriteText(Existing, Section, Key, Value);
    if (Info.exists() && Text == Existing) return;

    // The old file is replaced only once the new one is complete.
    try {
        WriteFileWhole(FileName, Text);
    } catch (const EFCreateError&) {
        Fail();
    } catch (const EFWriteError&) {
        Fail();
    }
}

bool ProfileTextIsTrue(const QString& Text)
{
    const QString S = Text.trimmed();
    qsizetype i = 0;
    if (i < S.size() && (S[i] == u'+' || S[i] == u'-')) ++i;
    int Base = 10;
    if (i + 1 < S.size() && S[i] == u'0' && (S[i + 1] == u'x' || S[i + 1] == u'X')) {
        Base = 16;
        i += 2;
    }
    if (i == S.size()) return false;
    bool NonZero = false;
    for (; i < S.size(); ++i) {
        const char16_t c = S[i].unicode();
        const bool Digit =
            (c >= u'0' && c <= u'9') || (Base == 16 && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
        if (!Digit) return false;
        if (c != u'0') NonZero = true;
    }
    return NonZero;
}
