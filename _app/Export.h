// The two exports of the main list: the HTML page filled from the templates in fls/
// and the plain list of magnet links. Everything here works on values, so the
// window's handlers (frm_MainExport.cpp) only ask, read, build and write.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTime>

#include "TorrentEntry.h"

// The longest page, in UTF-16 code units, that an export builds. Placeholder text
// inside a torrent's values is replaced by the later steps, so a hostile torrent
// (a title full of "{COMMENT}", a comment full of "{FILELIST}") could otherwise
// multiply its few megabytes into terabytes; real pages stay far below this.
inline constexpr qsizetype MaxExportLength = qsizetype(1) << 26;

// A text file's bytes as text: a byte-order mark selects UTF-8, UTF-16 LE or
// UTF-16 BE (the mark itself is dropped); without one the bytes are read in the
// ANSI code page, which is UTF-8 here. Malformed sequences become U+FFFD.
QString DecodeTextFile(const QByteArray& Bytes);

// Text as lines, each followed by CR LF, the last one too. CR LF, a lone CR and a
// lone LF each end a line; a final line without a break counts as a line, so an
// empty text stays empty.
QString ToLineForm(QStringView Text);

// Reads a text file whole, decodes it and brings it to the line form. A file that
// cannot be opened or read raises EFOpenError with its full path and the system's
// text for the error.
QString ReadTextFile(const QString& FileName);

// The five characters that matter in HTML text and quoted attributes as entities.
QString HtmlEscape(QStringView Text);

// Replaces every occurrence of Placeholder (ASCII, upper case) in Text, without
// regard to letter case, by Value: one scan from left to right, occurrences do not
// overlap, and the inserted text is not scanned again. Raises Exception when the
// result would be longer than MaxExportLength.
QString ReplacePlaceholder(const QString& Text, QStringView Placeholder, QStringView Value);

// An entry's file list for the page: each file's line HTML-escaped and followed by
// "<br>"; empty for a single-file torrent.
QString FileListHtml(const QString& FileList);

// One entry's block: a copy of the entry template with the entry placeholders
// replaced, in this order: {TITLE} {LEN} {COUNT} {PIECES} {COMMENT} {PIECELEN} {LINK}
// {FILELIST} {ENCODING} {PRIVATE} {WARNING}. {LINK} is the link in use (the full one
// when FullLinks), {WARNING} what speaks against it (LinkWarning) or nothing. Every
// value is HTML-escaped as it goes in.
QString BuildEntryBlock(const QString& EntryTemplate, const TTorrentEntry& Entry, bool FullLinks = false);

// The finished page: the entries' blocks, each followed by CR LF, in place of
// {CONTENT}; then {TIME} and {NAME} over the whole text (both escaped); then the
// line form. Both templates are expected in line form already (ReadTextFile).
QString BuildExportPage(const QString& PageTemplate, const QString& EntryTemplate,
                        const QList<TTorrentEntry>& Entries, const QString& Name,
                        const QString& Time, bool FullLinks = false);

// "{TIME}": the date in the locale's short date format, " - ", the time in its
// long time format without a time zone (the desktop's long time is the hour,
// minutes, seconds and the AM/PM designator where the locale uses one).
QString FormatExportTime(const QLocale& Locale, QDate Date, QTime Time);
// The same for now in the user's locale; the date is read before the time.
QString CurrentExportTime();

// The page as it is written: the byte-order mark EF BB BF, then UTF-8.
QByteArray EncodeExportPage(const QString& Page);

// The text list as it is written: each link followed by CR LF, in the ANSI code
// page (UTF-8), no byte-order mark; no links give no bytes.
QByteArray EncodeLinkList(const QStringList& Links);

// Writes Bytes to FileName through a temporary file that replaces the old file
// only once it is complete, so a failed export leaves an existing file whole.
// Raises EFCreateError with the full path and the system's text for the error.
void WriteFileWhole(const QString& FileName, const QByteArray& Bytes);
