#include "DisplayText.h"

#include <QChar>

#include <algorithm>

namespace {

bool NeedsEscape(char32_t C)
{
    if (C == u'\t' || C == u'\n' || C == u'\r') return false;
    if (C == 0x200C || C == 0x200D) return false;  // ZWNJ, ZWJ
    switch (QChar::category(C)) {
    case QChar::Other_Control:
    case QChar::Other_Format:  // the bidirectional controls among them
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph: return true;
    default: return false;
    }
}

// The code point at Pos and, in *Length, how many code units it takes.
char32_t CodePointAt(QStringView Text, qsizetype Pos, qsizetype* Length)
{
    const QChar C = Text[Pos];
    if (C.isHighSurrogate() && Pos + 1 < Text.size() && Text[Pos + 1].isLowSurrogate()) {
        *Length = 2;
        return QChar::surrogateToUcs4(C, Text[Pos + 1]);
    }
    *Length = 1;
    return C.unicode();
}

}  // namespace

QString DisplayText(QStringView Text)
{
    QString Out;
    qsizetype Copied = 0, Length = 0;
    for (qsizetype Pos = 0; Pos < Text.size(); Pos += Length) {
        const char32_t C = CodePointAt(Text, Pos, &Length);
        if (!NeedsEscape(C)) continue;
        Out += Text.sliced(Copied, Pos - Copied);
        Out += QStringLiteral("<U+%1>").arg(uint(C), 4, 16, QLatin1Char('0')).toUpper();
        Copied = Pos + Length;
    }
    if (Copied == 0) return Text.toString();
    Out += Text.sliced(Copied);
    return Out;
}

QString ShownText(const QString& Text, qsizetype Max)
{
    if (Text.size() <= Max) return Text;
    qsizetype Kept = std::max<qsizetype>(Max - 1, 0);
    if (Kept > 0 && Text[Kept - 1].isHighSurrogate()) --Kept;
    return Text.left(Kept) + QChar(0x2026);
}
