// Profile (INI) files with the semantics of the Windows profile functions:
// section and key names are matched without regard to case, the first match wins;
// writing keeps every other line byte for byte (in whatever encoding it is, UTF-8
// or not) and creates the file when it is missing, but never its folder. Only
// regular files of a sane size are read; a FIFO, a device or an oversized file is
// no setting.
#pragma once

#include <QString>

// The value of Key in Section, trimmed of blanks and of one pair of enclosing
// quotes; Default when the file, the section or the key is missing.
QString ProfileReadString(const QString& FileName, const QString& Section, const QString& Key, const QString& Default);

// Sets Key in Section to Value, adding the key (at the end of its section) or the
// section (at the end of the file) as needed. Nothing is written when the value
// already stands there. The file is replaced whole (WriteFileWhole), so a failure
// leaves the old one as it was; a symbolic link is written through. Raises
// Exception("Unable to write to <FileName>") when the file cannot be written, or is
// not a regular file that can be read whole.
void ProfileWriteString(const QString& FileName, const QString& Section, const QString& Key, const QString& Value);

// A setting read as a flag: true when the text is an integer other than 0, decimal
// or hexadecimal after "0x" or "0X", with an optional sign; anything else is false.
bool ProfileTextIsTrue(const QString& Text);

// The bytes in which a new or rewritten file is kept: Existing with only the one line
// added or changed, in the file's own encoding (its byte-order mark, else UTF-8) and
// with its first line end; Existing itself when the value already stands there.
QByteArray ProfileWriteText(const QByteArray& Existing, const QString& Section, const QString& Key,
                            const QString& Value);
