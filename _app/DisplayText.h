// Text from a stranger's file made safe to show: nothing in it can hide itself or
// reorder what stands around it.
#pragma once

#include <QString>
#include <QStringView>

// Text as the list, the details panel and the exports show it: every character that
// is invisible or steers the direction of its neighbours stands as a visible escape
// "<U+XXXX>" (at least four upper-case hexadecimal digits). That is the control
// characters other than TAB, LF and CR; the directional marks, embeddings, overrides
// and isolates; the line and paragraph separators; and every other format character
// except the zero-width joiner and non-joiner, which scripts and emoji sequences
// need and which move nothing. So "invoice<U+202E>fdp.exe.torrent" reads as it is
// stored, left to right. Everything else is unchanged.
QString DisplayText(QStringView Text);

// The most characters of one text that a widget is given: more never fits on a
// screen, and a full link may run to hundreds of millions of characters, which
// stall the text layout or break it.
inline constexpr qsizetype MaxShownLength = 4096;

// Text as a widget (a list cell, a label, an edit field, a tool tip) is given it:
// the text itself when it has at most Max characters, else its start followed by
// "…", Max characters in all, with no surrogate pair split. Only the showing is
// cut: the whole text stays with its owner for copying, opening and exporting.
QString ShownText(const QString& Text, qsizetype Max = MaxShownLength);
