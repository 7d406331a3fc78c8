// Profile (INI) files with the semantics of the Windows profile functions:
// section and key names are matched without regard to case, the first match wins;
// writing keeps every other section, key, comment and blank line as it stands and
// creates the file when it is missing, but never its folder.
#pragma once

#include <QString>

// The value of Key in Section, trimmed of blanks and of one pair of enclosing
// quotes; Default when the file, the section or the key is missing.
QString ProfileReadString(const QString& FileName, const QString& Section,
                          const QString& Key, const QString& Default);

// Sets Key in Section to Value, adding the key (at the end of its section) or the
// section (at the end of the file) as needed. Raises Exception("Unable to write to
// <FileName>") when the file cannot be written.
void ProfileWriteString(const QString& FileName, const QString& Section,
                        const QString& Key, const QString& Value);

// A setting read as a flag: true when the text is an integer other than 0, decimal
// or hexadecimal after "0x" or "0X", with an optional sign; anything else is false.
bool ProfileTextIsTrue(const QString& Text);

// The text in which a new or rewritten file is kept; a file keeps the line ends and
// the byte-order mark it had.
QByteArray ProfileWriteText(const QByteArray& Existing, const QString& Section,
                            const QString& Key, const QString& Value);
