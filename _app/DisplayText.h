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
