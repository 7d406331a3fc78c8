#include "TorrentEntry.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <climits>

#include "LocalPath.h"
#include "Streams.h"
#include "TextCodec.h"
#include "TorrentFile.h"

namespace {

QString FromUtf8(const std::string& Bytes)
{
    return QString::fromStdU16String(Utf8ToUtf16(Bytes));
}

QString FromAnsi(const std::string& Bytes)
{
    return QString::fromStdU16String(AnsiToUtf16(Bytes));
}

int DecimalDigits(unsigned __int128 Value)
{
    int Count = 1;
    while (Value >= 10) {
        Value /= 10;
        ++Count;
    }
    return Count;
}

}  // namespace

QString FormatSize(int32_t Digits, int64_t Size)
{
    int Shift;
    const char* Suffix;
    if (Size >= (int64_t(1) << 30)) {
        Shift = 30;
        Suffix = " GB";
    } else if (Size >= (int64_t(1) << 20)) {
        Shift = 20;
        Suffix = " MB";
    } else if (Size >= 1024) {
        Shift = 10;
        Suffix = " kB";
    } else {
        return QString::number(Size) + QStringLiteral(" B");
    }
    if (Digits < 0) Digits = 0;

    // The quotient Size / 2^Shift kept to five significant digits or to Digits
    // decimals, whichever keeps fewer, rounded half away from zero. Integers keep
    // the arithmetic exact: Scaled is the quotient times 10^Kept, rounded.
    const unsigned __int128 Whole = uint64_t(Size) >> Shift;
    const int Kept = std::max(0, std::min<int>(Digits, 5 - DecimalDigits(Whole)));
    unsigned __int128 Power = 1;
    for (int i = 0; i < Kept; ++i) Power *= 10;
    const unsigned __int128 Numerator = (unsigned __int128)uint64_t(Size) * Power;
    const unsigned __int128 Divisor = (unsigned __int128)1 << Shift;
    const unsigned __int128 Scaled = (Numerator + Divisor / 2) / Divisor;

    QString IntegerDigits = QString::number(uint64_t(Scaled / Power));
    QString Fraction;
    if (Kept > 0) Fraction = QString::number(uint64_t(Scaled % Power)).rightJustified(Kept, u'0');
    Fraction = Fraction.leftJustified(Digits, u'0');

    const QLocale Locale;
    const QString Group = Locale.groupSeparator();
    QString Text;
    for (qsizetype i = 0; i < IntegerDigits.size(); ++i) {
        if (i > 0 && (IntegerDigits.size() - i) % 3 == 0) Text += Group;
        Text += IntegerDigits[i];
    }
    if (Digits > 0) Text += Locale.decimalPoint() + Fraction;
    return Text + QLatin1String(Suffix);
}

QString PathFileName(const QString& Path)
{
    return Path.mid(Path.lastIndexOf(u'/') + 1);
}

QString PathExtension(const QString& Path)
{
    const qsizetype Dot = Path.lastIndexOf(u'.');
    if (Dot < 0 || Path.indexOf(u'/', Dot) >= 0) return QString();
    return Path.mid(Dot);
}

TTorrentEntry MakeTorrentEntry(const QString& FileName, const TTorrentFile& Torrent)
{
    TTorrentEntry Entry;
    Entry.FileName = PathForDisplay(PathFileName(FileName));
    // The "….utf-8" variants where the torrent has them, as other clients show it.
    Entry.Title = FromUtf8(Torrent.ShownName());
    Entry.FileCount = Torrent.FileCount;
    Entry.Size = Torrent.TotalLength;
    Entry.Link = FromAnsi(Torrent.MagnetLink());
    // Made here once for the entry's life. It is escaped to ASCII throughout, so it is
    // taken over as it is: a trip through UTF-16 would hold it twice more.
    const std::string FullLink = Torrent.FullMagnetLink();
    Entry.FullLink = QString::fromLatin1(FullLink.data(), qsizetype(FullLink.size()));
    Entry.FullLinkHasTracker = Torrent.HasLinkTracker();
    Entry.PieceLength = Torrent.PieceLength;
    Entry.PieceCount = int32_t(std::min<size_t>(Torrent.Pieces.size(), INT32_MAX));
    Entry.Comment = Torrent.HasCommentUtf8 ? FromUtf8(Torrent.CommentUtf8) : FromAnsi(Torrent.Comment);
    if (Torrent.MultiFile) {
        std::string List;
        for (const auto& File : Torrent.Files) {
            List += File->ShownPath();
            List += File->ShownName();
            List += "\r\n";
        }
        Entry.FileList = FromUtf8(List);
    }
    if (Torrent.IsPrivate) Entry.Private = QStringLiteral("Private");
    Entry.Encoding = FromAnsi(Torrent.Encoding);
    Entry.Contents = ContentsOf(Torrent);
    return Entry;
}

QString LinkWarning(const TTorrentEntry& Entry, bool FullLinks)
{
    if (Entry.Private.isEmpty() || (FullLinks && Entry.FullLinkHasTracker)) return QString();
    return QCoreApplication::translate("TTorrentEntry", PrivateWithoutTrackerWarning);
}

TTorrentLoad LoadTorrentEntry(const QString& FileName)
{
    TFileStream Stream(PathToLocal(FileName).toStdString());
    TTorrentFile Torrent;
    TTorrentLoad Load;
    if (Torrent.LoadFromStream(Stream) && Torrent.HasLinkHash()) {
        Load.Entry = MakeTorrentEntry(FileName, Torrent);
        return Load;
    }
    for (const std::u16string& Message : Torrent.Errors) Load.Refusal << QString::fromStdU16String(Message);
    if (Load.Refusal.isEmpty())
        Load.Refusal << QCoreApplication::translate("TTorrentEntry", "Хеш раздачи (info hash) не получен.");
    return Load;
}
