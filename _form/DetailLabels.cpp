#include "DetailLabels.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QUrl>

#include <QCoreApplication>

#include "DisplayText.h"
#include "Platform.h"

namespace {

// The longest text that a detail label's tool tip shows; a comment may run to
// megabytes.
constexpr qsizetype MaxToolTipLength = 2000;

// The one line that a label shows of a text: line breaks and tabs become blanks.
// Laying out megabytes on every paint would stall the window: only what can show
// is laid out.
QString OneLine(const QString& Text)
{
    QString Line = ShownText(Text);
    for (QChar& c : Line)
        if (c == u'\r' || c == u'\n' || c == u'\t') c = u' ';
    return Line;
}

// Text for a tool tip's rich text: escaped, and with a place to break in every run
// of 80 characters without a blank, so that a long address wraps within the screen
// instead of running off it.
QString ToolTipHtml(const QString& Text)
{
    constexpr int Run = 80;
    QString Breakable;
    Breakable.reserve(Text.size() + Text.size() / Run);
    int Since = 0;
    for (const QChar c : Text) {
        Since = c.isSpace() ? 0 : Since + 1;
        if (Since > Run && !c.isLowSurrogate()) {
            Breakable += QChar(0x200B);  // zero-width space: a break opportunity
            Since = 1;
        }
        Breakable += c;
    }
    return Breakable.toHtmlEscaped();
}

// Text as an http, https or ftp address with a host, else an empty address.
QUrl WebUrl(const QString& Text)
{
    const QUrl Url(Text, QUrl::StrictMode);
    if (!Url.isValid() || Url.host().isEmpty()) return QUrl();
    const QString Scheme = Url.scheme().toLower();
    if (Scheme != u"http" && Scheme != u"https" && Scheme != u"ftp") return QUrl();
    return Url;
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

QString TDetailLabel::ToolTipText() const
{
    // The whole text, when the label has had to cut it; escaped, since a tool tip
    // renders markup.
    const QString Line = OneLine(text());
    if (fontMetrics().horizontalAdvance(Line) <= contentsRect().width()) return QString();
    return QStringLiteral("<p>") + ToolTipHtml(ShownText(Line, MaxToolTipLength)) + QStringLiteral("</p>");
}

bool TDetailLabel::event(QEvent* Event)
{
    if (Event->type() != QEvent::ToolTip) return QLabel::event(Event);
    const QString Tip = ToolTipText();
    if (Tip.isEmpty()) {
        QToolTip::hideText();
        Event->ignore();
        return true;
    }
    QToolTip::showText(static_cast<QHelpEvent*>(Event)->globalPos(), Tip, this);
    return true;
}

TNoteLabel::TNoteLabel(QWidget* Parent) : TDetailLabel(QString(), Parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

QSize TNoteLabel::sizeHint() const
{
    const QMargins M = contentsMargins();
    return QSize(fontMetrics().horizontalAdvance(OneLine(text())) + M.left() + M.right(),
                 TDetailLabel::sizeHint().height());
}

QSize TNoteLabel::minimumSizeHint() const
{
    return TDetailLabel::sizeHint();
}

bool IsWebAddress(const QString& Text)
{
    const QUrl Url = WebUrl(Text);
    return !Url.isEmpty() && Url.userInfo().isEmpty();
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

QString TLinkLabel::TargetHost() const
{
    return WebUrl((FTarget.trimmed().isEmpty() ? text() : FTarget).trimmed()).host();
}

QString TLinkLabel::ToolTipText() const
{
    const QString Host = TargetHost();
    if (Host.isEmpty()) return TDetailLabel::ToolTipText();
    const QString Line = WebTarget().isEmpty()
                             ? QCoreApplication::translate("TLinkLabel",
                                                           "Не открывается: начало адреса до «@» — имя пользователя, "
                                                           "а не сайт; сайт — %1")
                             : QCoreApplication::translate("TLinkLabel", "Ссылка ведёт на сайт %1");
    // The host whole, however long: it is what the user has to judge.
    return QStringLiteral("<p>") + ToolTipHtml(Line.arg(DisplayText(Host))) + QStringLiteral("</p>") +
           TDetailLabel::ToolTipText();
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
