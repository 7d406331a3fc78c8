// The font of every window of the program, and what the fixed measures of the windows
// and their dialogs' window flags share.
#pragma once

#include <QFont>
#include <QGuiApplication>
#include <QFontMetrics>
#include <QString>
#include <QSize>

// The smallest size that the windows use: Tahoma's 8 pt, which the window's fixed
// measures were made for.
inline constexpr int WindowFontMinimumSize = 8;

// The desktop's user-interface font, at the size that the desktop sets, but never
// below 8 pt. The window was drawn for the Windows UI font of its day (Tahoma 8 pt);
// on Linux the same role falls to the font that the desktop gives every program, and a
// user who asked for 11 pt gets 11 pt. The windows grow their fixed measures where a
// larger font needs it.
inline QFont WindowFont()
{
    // The application's font is the desktop's general font unless the program set one.
    QFont Font = QGuiApplication::font();
    // A desktop font given in pixels is taken as it is.
    if (Font.pointSizeF() > 0 && Font.pointSizeF() < WindowFontMinimumSize) Font.setPointSize(WindowFontMinimumSize);
    return Font;
}

// A fixed measure of the window's resource, grown to what a larger font needs.
inline QSize AtLeast(QSize Resource, QSize Needed)
{
    return Resource.expandedTo(Needed);
}

// The least room that a push button or a one-line field needs for Text in Font: the
// text with the frame and margins that the styles draw around it.
inline QSize TextBoxNeeds(const QFont& Font, const QString& Text)
{
    const QFontMetrics Metrics(Font);
    return QSize(Metrics.horizontalAdvance(Text) + 12, Metrics.height() + 10);
}

// The window flags of the program's dialogs, which cannot be resized: a title and a
// close box, no minimise or maximise button.
inline constexpr Qt::WindowFlags DialogWindowFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
