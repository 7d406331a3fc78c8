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

#include "TextFile.h"
#include "TorrentEntry.h"

// Placeholder text inside a torrent's values is replaced by the later steps, so a
// hostile torrent (a title full of "{COMMENT}", a comment full of "{FILELIST}")
// could multiply its few megabytes into terabytes. A page may therefore be as long
// as its templates and entries honestly make it (ExportLengthBound) and this many
// UTF-16 code units more, and no longer.
inline constexpr qsizetype MaxExportLength = qsizetype(1) << 26;

// The five characters that matter in HTML text and quoted attributes as entities;
// every control character other than TAB, LF and CR becomes U+FFFD.
QString HtmlEscape(QStringView Text);

// Replaces every occurrence of Placeholder (ASCII, upper case) in Text, without
// regard to letter case, by Value: one scan from left to right, occurrences do not
// overlap, and the inserted text is not scanned again. Raises Exception when the
// result would be longer than Limit.
QString ReplacePlaceholder(const QString& Text, QStringView Placeholder, QStringView Value,
                           qsizetype Limit = MaxExportLength);

// An entry's file list for the page: each file's line made safe to show
// (DisplayText), HTML-escaped and followed by "<br>"; empty for a single-file
// torrent.
QString FileListHtml(const QString& FileList);

// One entry's block: a copy of the entry template with the entry placeholders
// replaced, in this order: {TITLE} {LEN} {COUNT} {PIECES} {COMMENT} {PIECELEN} {LINK}
// {FILELIST} {ENCODING} {PRIVATE} {WARNING}. {LINK} is the link in use (the full one
// when FullLinks), {WARNING} what speaks against it (LinkWarning) or nothing. Every
// value is made safe to show (DisplayText) and HTML-escaped as it goes in. No text on
// the way may be longer than Limit.
QString BuildEntryBlock(const QString& EntryTemplate, const TTorrentEntry& Entry, bool FullLinks = false,
                        qsizetype Limit = MaxExportLength);

// The longest text that building this page may make: the templates with every
// placeholder occurrence taking its whole value (entry placeholders once per entry
// and {CONTENT}, {TIME} and {NAME} as they stand), plus MaxExportLength. A page whose
// values hold no placeholders always stays within it, however many entries it has.
qsizetype ExportLengthBound(const QString& PageTemplate, const QString& EntryTemplate,
                            const QList<TTorrentEntry>& Entries, const QString& Name, const QString& Time,
                            bool FullLinks = false);

// The finished page: the entries' blocks, each followed by CR LF, in place of
// {CONTENT}; then {TIME} and {NAME} over the whole text (both escaped); then the
// line form. Both templates are expected in line form already (ReadTextFile). Raises
// Exception when a text on the way would be longer than ExportLengthBound.
QString BuildExportPage(const QString& PageTemplate, const QString& EntryTemplate, const QList<TTorrentEntry>& Entries,
                        const QString& Name, const QString& Time, bool FullLinks = false);

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

// The templates are read with ReadTextFile and the page and the list written with
// WriteFileWhole (TextFile.h).
