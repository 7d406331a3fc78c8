#include "TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "Exceptions.h"

namespace {

const QString CRLF = QStringLiteral("\r\n");

std::string SystemText(int Error)
{
    return std::generic_category().message(Error);
}

// The code unit at byte Pos of a text in the given encoding.
char16_t UnitAt(QByteArrayView Bytes, qsizetype Pos, const TTextEncoding& Encoding)
{
    const auto Byte = [&](qsizetype I) { return char16_t(uchar(Bytes[I])); };
    switch (Encoding.Encoding) {
    case QStringConverter::Utf16LE: return char16_t(Byte(Pos) | Byte(Pos + 1) << 8);
    case QStringConverter::Utf16BE: return char16_t(Byte(Pos) << 8 | Byte(Pos + 1));
    default: return Byte(Pos);
    }
}

// Closes a descriptor on every path out of ReadFileBytes.
struct TDescriptor {
    int Fd;
    ~TDescriptor()
    {
        if (Fd >= 0) ::close(Fd);
    }
};

}  // namespace

TTextEncoding TextEncodingOf(QByteArrayView Bytes)
{
    if (Bytes.startsWith("\xEF\xBB\xBF")) return {QStringConverter::Utf8, 3};
    if (Bytes.startsWith("\xFF\xFE")) return {QStringConverter::Utf16LE, 2};
    if (Bytes.startsWith("\xFE\xFF")) return {QStringConverter::Utf16BE, 2};
    return {};
}

QString DecodeText(QByteArrayView Bytes, const TTextEncoding& Encoding)
{
    // The mark has been taken off; a second one is text and must not be swallowed as
    // a mark of its own.
    QStringDecoder Decoder(Encoding.Encoding,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    // An odd byte at the end of UTF-16 is no character; the decoder drops it when it
    // stands alone, so it is made U+FFFD here whatever comes before it.
    const qsizetype Odd = Bytes.size() % Encoding.UnitSize();
    QString Text = Decoder.decode(Bytes.first(Bytes.size() - Odd));
    if (Odd) Text += QChar::ReplacementCharacter;
    return Text;
}

QByteArray EncodeText(QStringView Text, const TTextEncoding& Encoding)
{
    QStringEncoder Encoder(Encoding.Encoding, QStringConverter::Flag::Stateless);
    return Encoder.encode(Text);
}

QString DecodeTextFile(const QByteArray& Bytes)
{
    const TTextEncoding Encoding = TextEncodingOf(Bytes);
    return DecodeText(QByteArrayView(Bytes).sliced(Encoding.MarkLength), Encoding);
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

QList<TTextLine> SplitTextLines(QByteArrayView Bytes, const TTextEncoding& Encoding)
{
    QList<TTextLine> Lines;
    const qsizetype Unit = Encoding.UnitSize();
    const qsizetype Size = Bytes.size();
    // Whole code units only; an odd byte at the end stays in the last line.
    const qsizetype Units = Size - Size % Unit;
    qsizetype Start = Encoding.MarkLength;
    qsizetype Pos = Start;
    while (Pos < Units) {
        const char16_t C = UnitAt(Bytes, Pos, Encoding);
        if (C != u'\r' && C != u'\n') {
            Pos += Unit;
            continue;
        }
        qsizetype EndLength = Unit;
        if (C == u'\r' && Pos + Unit < Units && UnitAt(Bytes, Pos + Unit, Encoding) == u'\n') EndLength += Unit;
        Lines.append({Start, Pos - Start, EndLength});
        Pos += EndLength;
        Start = Pos;
    }
    if (Start < Size) Lines.append({Start, Size - Start, 0});
    return Lines;
}

QByteArray ReadFileBytes(const QString& FileName, qint64 MaxBytes)
{
    const QString Path = QFileInfo(FileName).absoluteFilePath();
    auto Fail = [&](int Error) { throw EFOpenError(Path.toStdString(), SystemText(Error)); };

    // Not blocking: opening a FIFO would otherwise wait for a writer. What it is gets
    // decided on the open descriptor, so nothing can be swapped in between.
    TDescriptor File{::open(QFile::encodeName(Path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (File.Fd < 0) Fail(errno);
    struct stat Status {};
    if (::fstat(File.Fd, &Status) != 0) Fail(errno);
    // A device could be read forever, a FIFO until its writer stops. No system error
    // text says what is wrong with them, so the message says it as the loader does.
    if (S_ISDIR(Status.st_mode)) Fail(EISDIR);
    if (!S_ISREG(Status.st_mode)) throw EFOpenError(Path.toStdString(), NotRegularFileText);
    if (Status.st_size > MaxBytes) Fail(EFBIG);

    // The file may still grow while it is read; one byte beyond the bound tells.
    QByteArray Bytes(qsizetype(Status.st_size) + 1, Qt::Uninitialized);
    qsizetype Have = 0;
    for (;;) {
        if (Have == Bytes.size()) {
            if (Have > MaxBytes) Fail(EFBIG);
            Bytes.resize(qsizetype(std::min<qint64>(MaxBytes + 1, qint64(Have) * 2 + 4096)));
        }
        const ssize_t Got = ::read(File.Fd, Bytes.data() + Have, size_t(Bytes.size() - Have));
        if (Got < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        if (Got == 0) break;
        Have += Got;
    }
    Bytes.truncate(Have);
    return Bytes;
}

QString ReadTextFile(const QString& FileName, qint64 MaxBytes)
{
    return ToLineForm(DecodeTextFile(ReadFileBytes(FileName, MaxBytes)));
}

void WriteFileWhole(const QString& FileName, const QByteArray& Bytes)
{
    const QString Path = QFileInfo(FileName).absoluteFilePath();
    // QSaveFile writes beside the file a symbolic link points to and keeps the old
    // file's permissions; it never falls back to writing in place.
    QSaveFile File(Path);
    auto FailCreate = [&](const QString& Reason) {
        File.cancelWriting();
        throw EFCreateError(Path.toStdString(), Reason.toStdString());
    };
    auto FailWrite = [&](const QString& Reason) {
        File.cancelWriting();
        throw EFWriteError(Path.toStdString(), Reason.toStdString());
    };
    // Unbuffered, so that every write reaches the system here and its failure is
    // seen: Qt 6.4's commit() puts the new file in place even when flushing its
    // buffer failed, which empties or cuts the old file on a full disk.
    if (!File.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) FailCreate(File.errorString());
    // A short write (a full disk, a file-size limit) is no error by itself; the
    // next write then reports the cause.
    const char* Data = Bytes.constData();
    qint64 Left = Bytes.size();
    while (Left > 0) {
        const qint64 Written = File.write(Data, Left);
        if (Written <= 0) FailWrite(File.errorString());
        Data += Written;
        Left -= Written;
    }
    // The file in place must hold every byte, on the disk: a file system that takes
    // the bytes first and finds no room for them later says so only here. A file
    // that is still short is never put in place.
    if (!File.flush()) FailWrite(File.errorString());
    if (::fsync(File.handle()) != 0 && errno != EINVAL) FailWrite(QString::fromStdString(SystemText(errno)));
    struct stat Written {};
    if (::fstat(File.handle(), &Written) != 0) FailWrite(QString::fromStdString(SystemText(errno)));
    if (Written.st_size != Bytes.size()) FailWrite(QString::fromStdString(SystemText(ENOSPC)));
    if (!File.commit()) throw EFCreateError(Path.toStdString(), File.errorString().toStdString());
}
