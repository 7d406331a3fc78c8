// File paths as the system holds them, bytes with no character set, carried in a
// QString without loss.
//
// Most paths are UTF-8 and become the text they spell. A byte that is no part of
// valid UTF-8 becomes the lone surrogate U+DC00 + byte (U+DC80..U+DCFF), which no
// decoded text contains; turning the QString back gives every byte as it was.
// Such a QString opens the file; only PathForDisplay may be shown.
#pragma once

#include <QByteArray>
#include <QString>

QString PathFromLocal(const QByteArray& Bytes);
QString PathFromLocal(const char* Bytes);
// The bytes that PathFromLocal took; other text as UTF-8.
QByteArray PathToLocal(const QString& Path);
// The path for people: each byte that was no UTF-8 (and any other lone surrogate)
// shows as U+FFFD.
QString PathForDisplay(const QString& Path);
