// The font of every window of the program.
#pragma once

#include <QFont>
#include <QString>

// Tahoma 8 pt where it is installed, else the desktop's sans serif face at that size.
inline QFont WindowFont()
{
    QFont Font(QStringLiteral("Tahoma"));
    Font.setStyleHint(QFont::SansSerif);
    Font.setPointSize(8);
    return Font;
}
