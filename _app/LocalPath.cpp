#include "LocalPath.h"

#include <cstring>

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool IsContinuation(unsigned char C)
{
    return (C & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at P (of Left bytes), or 0; its code
// point in Code.
int Utf8Sequence(const unsigned char* P, qsizetype Left, char32_t& Code)
{
    const unsigned char C = P[0];
    int Length;
    char32_t Min;
    if (C < 0x80) {
        Code = C;
        return 1;
    } else if ((C & 0xE0) == 0xC0) {
        Length = 2, Min = 0x80, Code = C & 0x1F;
    } else if ((C & 0xF0) == 0xE0) {
        Length = 3, Min = 0x800, Code = C & 0x0F;
    } else if ((C & 0xF8) == 0xF0) {
        Length = 4, Min = 0x10000, Code = C & 0x07;
    } else {
        return 0;
    }
    if (Left < Length) return 0;
    for (int I = 1; I < Length; ++I) {
        if (!IsContinuation(P[I])) return 0;
        Code = (Code << 6) | (P[I] & 0x3F);
    }
    // Overlong forms, encoded surrogates and code points past Unicode are no UTF-8.
    if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) return 0;
    return Length;
}

void AppendUtf8(QByteArray& Out, char32_t Code)
{
    if (Code < 0x80) {
        Out += char(Code);
    } else if (Code < 0x800) {
        Out += char(0xC0 | (Code >> 6));
        Out += char(0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
        Out += char(0xE0 | (Code >> 12));
        Out += char(0x80 | ((Code >> 6) & 0x3F));
        Out += char(0x80 | (Code & 0x3F));
    } else {
        Out += char(0xF0 | (Code >> 18));
        Out += char(0x80 | ((Code >> 12) & 0x3F));
        Out += char(0x80 | ((Code >> 6) & 0x3F));
        Out += char(0x80 | (Code & 0x3F));
    }
}

}  // namespace

QString PathFromLocal(const QByteArray& Bytes)
{
    QString Path;
    Path.reserve(Bytes.size());
    const auto* P = reinterpret_cast<const unsigned char*>(Bytes.constData());
    const qsizetype Size = Bytes.size();
    for (qsizetype I = 0; I < Size;) {
        char32_t Code = 0;
        const int Length = Utf8Sequence(P + I, Size - I, Code);
        if (Length == 0) {
            Path += QChar(char16_t(EscapeBase + P[I]));
            ++I;
            continue;
        }
        if (Code >= 0x10000) {
            Path += QChar(QChar::highSurrogate(Code));
            Path += QChar(QChar::lowSurrogate(Code));
        } else {
            Path += QChar(char16_t(Code));
        }
        I += Length;
    }
    return Path;
}

QString PathFromLocal(const char* Bytes)
{
    return PathFromLocal(QByteArray::fromRawData(Bytes, Bytes ? qsizetype(std::strlen(Bytes)) : 0));
}

QByteArray PathToLocal(const QString& Path)
{
    QByteArray Out;
    Out.reserve(Path.size());
    const qsizetype Size = Path.size();
    for (qsizetype I = 0; I < Size; ++I) {
        const char16_t U = Path[I].unicode();
        if (QChar::isHighSurrogate(U) && I + 1 < Size && QChar::isLowSurrogate(Path[I + 1].unicode())) {
            AppendUtf8(Out, QChar::surrogateToUcs4(U, Path[++I].unicode()));
        } else if (U >= EscapeBase + 0x80 && U <= EscapeBase + 0xFF) {
            Out += char(U - EscapeBase);
        } else if (QChar::isSurrogate(U)) {
            AppendUtf8(Out, 0xFFFD);
        } else {
            AppendUtf8(Out, U);
        }
    }
    return Out;
}

QString PathForDisplay(const QString& Path)
{
    QString Shown = Path;
    const qsizetype Size = Shown.size();
    for (qsizetype I = 0; I < Size; ++I) {
        const char16_t U = Shown[I].unicode();
        if (QChar::isHighSurrogate(U) && I + 1 < Size && QChar::isLowSurrogate(Shown[I + 1].unicode())) {
            ++I;
        } else if (QChar::isSurrogate(U)) {
            Shown[I] = QChar(QChar::ReplacementCharacter);
        }
    }
    return Shown;
}
