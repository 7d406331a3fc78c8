#include "DetailLabels.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QUrl>

#include "Platform.h"

namespace {

// The longest text that a detail label's tool tip shows; a comment may run to
// megabytes.
constexpr qsizetype MaxToolTipLength = 2000;

// The most of a text that a label lays out: more never fits on a screen, and laying
// out megabytes on every paint would stall the window.
constexpr qsizetype MaxShownLength = 4096;

// The one line that a label shows of a text: line breaks and tabs become blanks.
QString OneLine(const QString& Text)
{
    QString Line = Text.left(MaxShownLength);
    for (QChar& c : Line)
        if (c == u'\r' || c == u'\n' || c == u'\t') c = u' ';
    return Line;
}

}  // namespace

TDetailLabel::TDetailLabel(const QString& Text, QWidget* Parent) : QLabel(Text, Parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

QSize TDetailLabel::sizeHint() const
{
    const QMargins M = contentsMargins();
    return QSize(40 + M.left() + M.right(), fontMetrics().height() + M.top() + M.bottom());
}

QSize TDetailLabel::minimumSizeHint() const
{
    return sizeHint();
}

void TDetailLabel::paintEvent(QPaintEvent*)
{
    QPainter Painter(this);
    const QRect R = contentsRect();
    const QString Shown = fontMetrics().elidedText(OneLine(text()), Qt::ElideRight, R.width());
    Painter.setPen(palette().color(foregroundRole()));
    Painter.setFont(font());
    Painter.drawText(R, int(Qt::AlignLeft | Qt::AlignVCenter) | Qt::TextSingleLine, Shown);
}

bool TDetailLabel::event(QEvent* Event)
{
    if (Event->type() != QEvent::ToolTip) return QLabel::event(Event);
    // The whole text, when the label has had to cut it; escaped, since a tool tip
    // renders markup.
    auto* Help = static_cast<QHelpEvent*>(Event);
    const QString Line = OneLine(text());
    if (fontMetrics().horizontalAdvance(Line) <= contentsRect().width()) {
        QToolTip::hideText();
        Event->ignore();
        return true;
    }
    QString Shown = Line.left(MaxToolTipLength);
    if (text().size() > MaxToolTipLength) Shown += QStringLiteral("…");
    QToolTip::showText(Help->globalPos(), QStringLiteral("<p>") + Shown.toHtmlEscaped() + QStringLiteral("</p>"), this);
    return true;
}

bool IsWebAddress(const QString& Text)
{
    const QUrl Url(Text, QUrl::StrictMode);
    if (!Url.isValid() || Url.host().isEmpty()) return false;
    const QString Scheme = Url.scheme().toLower();
    return Scheme == u"http" || Scheme == u"https" || Scheme == u"ftp";
}

TLinkLabel::TLinkLabel(TPlatform& Platform, const QString& Text, QWidget* Parent)
    : TDetailLabel(Text, Parent), FPlatform(Platform)
{
    QFont Underlined = font();
    Underlined.setUnderline(true);
    setFont(Underlined);
    setForegroundRole(QPalette::Link);
    UpdateLook();
}

void TLinkLabel::SetTarget(const QString& Target)
{
    FTarget = Target;
    FVisited = false;
    UpdateLook();
}

QString TLinkLabel::WebTarget() const
{
    const QString Link = (FTarget.trimmed().isEmpty() ? text() : FTarget).trimmed();
    return IsWebAddress(Link) ? Link : QString();
}

void TLinkLabel::Click()
{
    const QString Link = WebTarget();
    if (Link.isEmpty()) return;
    FPlatform.OpenLink(window(), Link);
    FVisited = true;
    UpdateLook();
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* Event)
{
    if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint())) Click();
    TDetailLabel::mouseReleaseEvent(Event);
}

void TLinkLabel::UpdateLook()
{
    setForegroundRole(FVisited ? QPalette::LinkVisited : QPalette::Link);
    if (WebTarget().isEmpty())
        unsetCursor();
    else
        setCursor(Qt::PointingHandCursor);
    update();
}
