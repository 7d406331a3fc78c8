#include "Contrast.h"

#include <algorithm>
#include <cmath>

namespace {

double Linear(double Channel)
{
    return Channel <= 0.04045 ? Channel / 12.92 : std::pow((Channel + 0.055) / 1.055, 2.4);
}

// Wanted's hue and saturation at lightness L.
QColor WithLightness(const QColor& Wanted, double L)
{
    const QColor Hsl = Wanted.toHsl();
    return QColor::fromHslF(std::max<float>(0.0f, Hsl.hslHueF()), Hsl.hslSaturationF(), float(L));
}

// The lightness nearest to Wanted's, towards Target (0 or 1), that reaches MinRatio on
// Background; a negative value when even Target does not.
double LightnessReaching(const QColor& Wanted, const QColor& Background, double MinRatio, double Target)
{
    if (ContrastRatio(WithLightness(Wanted, Target), Background) < MinRatio) return -1.0;
    // Luminance grows with lightness at a fixed hue and saturation, so the contrast
    // grows monotonically on the way to Target: halve the interval.
    double Near = Wanted.toHsl().lightnessF();
    double Far = Target;
    for (int Step = 0; Step < 24; ++Step) {
        const double Middle = (Near + Far) / 2;
        if (ContrastRatio(WithLightness(Wanted, Middle), Background) >= MinRatio)
            Far = Middle;
        else
            Near = Middle;
    }
    return Far;
}

}  // namespace

double RelativeLuminance(const QColor& Colour)
{
    const QColor Rgb = Colour.toRgb();
    return 0.2126 * Linear(Rgb.redF()) + 0.7152 * Linear(Rgb.greenF()) + 0.0722 * Linear(Rgb.blueF());
}

double ContrastRatio(const QColor& A, const QColor& B)
{
    const double La = RelativeLuminance(A);
    const double Lb = RelativeLuminance(B);
    return (std::max(La, Lb) + 0.05) / (std::min(La, Lb) + 0.05);
}

QColor ReadableOn(const QColor& Wanted, const QColor& Background, double MinRatio)
{
    if (ContrastRatio(Wanted, Background) >= MinRatio) return Wanted;
    const bool DarkBackground = ContrastRatio(Qt::white, Background) >= ContrastRatio(Qt::black, Background);
    const double First = DarkBackground ? 1.0 : 0.0;
    for (const double Target : {First, 1.0 - First}) {
        const double L = LightnessReaching(Wanted, Background, MinRatio, Target);
        if (L < 0) continue;
        // Painted in 8 bits a channel: step on until the rounded colour reaches it too.
        QColor Result(WithLightness(Wanted, L).rgb());
        for (double Next = L; ContrastRatio(Result, Background) < MinRatio && Next != Target;) {
            Next = Target > L ? std::min(1.0, Next + 1.0 / 255) : std::max(0.0, Next - 1.0 / 255);
            Result = QColor(WithLightness(Wanted, Next).rgb());
        }
        Result.setAlpha(Wanted.alpha());
        return Result;
    }
    return DarkBackground ? QColor(Qt::white) : QColor(Qt::black);
}
