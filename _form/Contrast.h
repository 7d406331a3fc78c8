// Coloured texts that stay readable on whatever palette the desktop gives: the
// contrast ratio of two colours by the WCAG 2 formula, and the colour nearest to a
// wanted one that reaches a ratio on a background.
#pragma once

#include <QColor>

// The contrast that the window's coloured texts keep on their background (WCAG AA
// for normal text).
inline constexpr double MinTextContrast = 4.5;

// The relative luminance of an sRGB colour: 0 for black, 1 for white.
double RelativeLuminance(const QColor& Colour);

// (L1 + 0.05) / (L2 + 0.05), L1 the luminance of the lighter colour: from 1 (the
// same luminance) to 21 (black on white). Alpha plays no part.
double ContrastRatio(const QColor& A, const QColor& B);

// Wanted itself when it reaches MinRatio on Background. Otherwise Wanted with its hue
// and saturation kept and its lightness moved just far enough to reach MinRatio:
// lighter on a dark background, darker on a light one (the other way when that one
// cannot reach it); white or black, whichever contrasts more, when neither way does.
QColor ReadableOn(const QColor& Wanted, const QColor& Background, double MinRatio = MinTextContrast);
