// Text files as the program reads and writes them: the byte-order mark that selects
// the encoding, the three line ends, a reading that touches only regular files of a
// bounded size, and a writing that replaces a file only once the new one is whole.
// The settings file and the exports both go through here.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringConverter>
#include <QStringView>

#include "Exceptions.h"

// The encoding of a text file's bytes: what its byte-order mark selects (UTF-8,
// UTF-16 LE or UTF-16 BE) and the mark's length; without a mark the ANSI code
// page, which is UTF-8 here, and a length of 0.
struct TTextEncoding {
    QStringConverter::Encoding Encoding = QStringConverter::Utf8;
    qsizetype MarkLength = 0;
    // The bytes of one code unit: 2 for UTF-16, else 1.
    qsizetype UnitSize() const { return Encoding == QStringConverter::Utf8 ? 1 : 2; }
};
TTextEncoding TextEncodingOf(QByteArrayView Bytes);

// Bytes in the given encoding as text, without the mark (a second mark is text like
// any other character). Malformed sequences become U+FFFD.
QString DecodeText(QByteArrayView Bytes, const TTextEncoding& Encoding);
// Text in the given encoding, without a mark.
QByteArray EncodeText(QStringView Text, const TTextEncoding& Encoding);

// A text file's bytes as text: the mark selects the encoding and is dropped.
QString DecodeTextFile(const QByteArray& Bytes);

// Text as lines, each followed by CR LF, the last one too. CR LF, a lone CR and a
// lone LF each end a line; a final line without a break counts as a line, so an
// empty text stays empty.
QString ToLineForm(QStringView Text);

// One line of a text file as a range of its bytes: where it starts and how long it
// is, then how many bytes its line end takes (0 for a last line without one).
struct TTextLine {
    qsizetype Start = 0;
    qsizetype Length = 0;
    qsizetype EndLength = 0;
};

// The lines of a text file's bytes, the mark excluded, by the same rule as
// ToLineForm, in code units of the encoding. The ranges cover every byte after the
// mark, so a file rebuilt from them is the file it was; an odd last byte of a
// UTF-16 file belongs to the last line.
QList<TTextLine> SplitTextLines(QByteArrayView Bytes, const TTextEncoding& Encoding);

// The largest text file that is read whole, in bytes. Real templates and settings
// are a few kilobytes; anything near this is not one.
inline constexpr qint64 MaxTextFileBytes = qint64(1) << 27;

// Reads a file whole without waiting on it: only a regular file (a folder, a FIFO,
// a device or a socket is refused at once) of at most MaxBytes bytes. Raises
// EFOpenError with the full path and the system's text for the error.
QByteArray ReadFileBytes(const QString& FileName, qint64 MaxBytes = MaxTextFileBytes);

// ReadFileBytes, decoded (DecodeTextFile) and brought to the line form.
QString ReadTextFile(const QString& FileName, qint64 MaxBytes = MaxTextFileBytes);

// A file whose new bytes could not all be written (a full disk, a file-size limit):
// "Unable to write to <path>. <reason>".
class EFWriteError : public Exception {
public:
    EFWriteError(const std::string& FileName, const std::string& Reason)
        : Exception("Unable to write to " + FileName + ". " + Reason)
    {
    }
};

// Writes Bytes to FileName through a temporary file in the same folder that
// replaces the old file only once every byte of it is written and synced to the
// disk, so a failure (a full disk, a folder that takes no new file) leaves an
// existing file whole. A symbolic link is written through: its target is replaced,
// the link stays. Raises, with the full path and the system's text for the error,
// EFCreateError when the new file cannot be made or put in place, EFWriteError when
// its bytes cannot be written.
void WriteFileWhole(const QString& FileName, const QByteArray& Bytes);
