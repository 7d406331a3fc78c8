#include "ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include "Exceptions.h"

namespace {

// A profile file as text: its encoding, its lines and the end of each line, so that a
// rewrite changes nothing but the line it means to change.
struct TProfileText {
    QStringConverter::Encoding Encoding = QStringConverter::Utf8;
    bool Bom = false;
    QStringList Lines;
    QStringList Ends;  // the line end after each line; the last may be empty
    QString NewLineEnd = QStringLiteral("\r\n");
};

TProfileText ParseProfile(const QByteArray& Bytes)
{
    TProfileText Result;
    qsizetype Skip = 0;
    if (Bytes.startsWith("\xEF\xBB\xBF")) {
        Result.Bom = true;
        Skip = 3;
    } else if (Bytes.startsWith("\xFF\xFE")) {
        Result.Encoding = QStringConverter::Utf16LE;
        Result.Bom = true;
        Skip = 2;
    } else if (Bytes.startsWith("\xFE\xFF")) {
        Result.Encoding = QStringConverter::Utf16BE;
        Result.Bom = true;
        Skip = 2;
    }
    // The mark has been taken off above; a second one is text and must survive a
    // rewrite, so the decoder may not swallow it as a mark of its own.
    QStringDecoder Decoder(Result.Encoding, QStringDecoder::Flag::Stateless |
                                                QStringDecoder::Flag::ConvertInitialBom);
    const QString Text = Decoder(QByteArrayView(Bytes).sliced(Skip));

    bool EndSeen = false;
    qsizetype Start = 0;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar c = Text[i];
        if (c != u'\r' && c != u'\n') continue;
        const bool CrLf = c == u'\r' && i + 1 < Text.size() && Text[i + 1] == u'\n';
        const QString End = CrLf ? QStringLiteral("\r\n") : QString(c);
        Result.Lines << Text.mid(Start, i - Start);
        Result.Ends << End;
        if (!EndSeen) {
            Result.NewLineEnd = End;
            EndSeen = true;
        }
        if (CrLf) ++i;
        Start = i + 1;
    }
    if (Start < Text.size()) {
        Result.Lines << Text.mid(Start);
        Result.Ends << QString();
    }
    return Result;
}

QByteArray ProfileBytes(const TProfileText& Profile)
{
    QString Text;
    for (qsizetype i = 0; i < Profile.Lines.size(); ++i) Text += Profile.Lines[i] + Profile.Ends[i];
    QStringEncoder Encoder(Profile.Encoding, Profile.Bom ? QStringEncoder::Flag::WriteBom
                                                         : QStringEncoder::Flag::Default);
    return Encoder(Text);
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

QString ProfileReadString(const QString& FileName, const QString& Section,
                          const QString& Key, const QString& Default)
{
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly)) return Default;
    const TProfileText Profile = ParseProfile(File.readAll());
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

QByteArray ProfileWriteText(const QByteArray& Existing, const QString& Section,
                            const QString& Key, const QString& Value)
{
    TProfileText Profile = ParseProfile(Existing);
    QStringList& Lines = Profile.Lines;
    QStringList& Ends = Profile.Ends;
    // A line is appended after the last one: that one needs its end first.
    auto InsertLine = [&](qsizetype At, const QString& Line) {
        if (At > 0 && Ends[At - 1].isEmpty()) Ends[At - 1] = Profile.NewLineEnd;
        Lines.insert(At, Line);
        Ends.insert(At, Profile.NewLineEnd);
    };

    qsizetype End = 0;
    const qsizetype Start = FindSection(Lines, Section, &End);
    if (Start < 0) {
        InsertLine(Lines.size(), QLatin1Char('[') + Section + QLatin1Char(']'));
        InsertLine(Lines.size(), Key + QLatin1Char('=') + Value);
        return ProfileBytes(Profile);
    }
    for (qsizetype i = Start + 1; i < End; ++i) {
        const QString Name = KeyName(Lines[i]);
        if (!Name.isNull() && SameName(Name, Key)) {
            Lines[i] = Name + QLatin1Char('=') + Value;
            return ProfileBytes(Profile);
        }
    }
    // A new key goes after the section's last line that is not blank.
    qsizetype At = End;
    while (At > Start + 1 && Lines[At - 1].trimmed().isEmpty()) --At;
    InsertLine(At, Key + QLatin1Char('=') + Value);
    return ProfileBytes(Profile);
}

void ProfileWriteString(const QString& FileName, const QString& Section,
                        const QString& Key, const QString& Value)
{
    auto Fail = [&]() { throw Exception(("Unable to write to " + FileName).toStdString()); };

    const QFileInfo Info(FileName);
    QByteArray Existing;
    if (Info.exists()) {
        // A read-only file stays unwritten, as it would without the replace below.
        if (!Info.isFile() || !Info.isWritable()) Fail();
        QFile File(FileName);
        if (!File.open(QIODevice::ReadOnly)) Fail();
        Existing = File.readAll();
    }
    const QByteArray Text = ProfileWriteText(Existing, Section, Key, Value);

    // Replaced only once the new text is complete; written in place where the folder
    // does not let a new file be made beside the old one.
    QSaveFile File(FileName);
    File.setDirectWriteFallback(true);
    if (!File.open(QIODevice::WriteOnly)) Fail();
    if (File.write(Text) != Text.size()) {
        File.cancelWriting();
        Fail();
    }
    if (!File.commit()) Fail();
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
        const bool Digit = (c >= u'0' && c <= u'9') ||
                           (Base == 16 && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
        if (!Digit) return false;
        if (c != u'0') NonZero = true;
    }
    return NonZero;
}
