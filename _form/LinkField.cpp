#include "LinkField.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

#include "DisplayText.h"

namespace {

// The standard menu's items, by the names that later Qt versions give them, or by
// their captions (Qt's own texts, which Qt's catalogue translates).
const char* const QtContext = "QLineEdit";

bool IsItem(const QAction* Action, QLatin1String Name, const char* Caption)
{
    return Action->objectName() == Name ||
           Action->text().section(u'\t', 0, 0) == QCoreApplication::translate(QtContext, Caption);
}

}  // namespace

TLinkField::TLinkField(const QString& Text, QWidget* Parent) : QLineEdit(Text, Parent)
{
    setReadOnly(true);
}

void TLinkField::SetLink(const QString& Link)
{
    FLink = Link;
    FShown = ShownText(Link);
    setText(FShown);
}

bool TLinkField::Cut() const
{
    // A text set by other means than SetLink is shown whole.
    return !FShown.isNull() && text() == FShown && FShown.size() < FLink.size();
}

QString TLinkField::Link() const
{
    return Cut() ? FLink : text();
}

QString TLinkField::SelectedLink() const
{
    if (!hasSelectedText()) return QString();
    if (!Cut()) return selectedText();
    // The line holds the link's start and then "…": a selection that takes in the
    // "…" runs on to the link's end.
    const qsizetype Start = selectionStart();
    if (Start + selectionLength() < FShown.size()) return selectedText();
    return FLink.mid(Start);
}

void TLinkField::CopySelection()
{
    const QString Selected = SelectedLink();
    if (!Selected.isEmpty()) QGuiApplication::clipboard()->setText(Selected);
}

void TLinkField::keyPressEvent(QKeyEvent* Event)
{
    if (Event->matches(QKeySequence::Copy)) {
        CopySelection();
        Event->accept();
        return;
    }
    QLineEdit::keyPressEvent(Event);
}

void TLinkField::contextMenuEvent(QContextMenuEvent* Event)
{
    QMenu* Menu = createStandardContextMenu();
    if (!Menu) return;
    // The line's own copy takes what it shows; the whole link is taken instead.
    for (QAction* Action : Menu->actions()) {
        if (IsItem(Action, QLatin1String("select-all"), "Select All")) {
            Action->setObjectName(QStringLiteral("select-all"));
        } else if (IsItem(Action, QLatin1String("edit-copy"), "&Copy")) {
            Action->setObjectName(QStringLiteral("edit-copy"));
            disconnect(Action, &QAction::triggered, this, nullptr);
            connect(Action, &QAction::triggered, this, &TLinkField::CopySelection);
        }
    }
    Menu->setAttribute(Qt::WA_DeleteOnClose);
    Menu->popup(Event->globalPos());
}

bool TLinkField::event(QEvent* Event)
{
    const bool Handled = QLineEdit::event(Event);
    switch (Event->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress: KeepSelectionWhole(); break;
    default: break;
    }
    return Handled;
}

void TLinkField::KeepSelectionWhole()
{
    QClipboard* Clipboard = QGuiApplication::clipboard();
    if (!Cut() || !hasSelectedText() || !Clipboard->supportsSelection()) return;
    // Only what the line itself has just put there is replaced.
    const QString Selected = SelectedLink();
    if (Selected.size() != selectedText().size() && Clipboard->text(QClipboard::Selection) == selectedText())
        Clipboard->setText(Selected, QClipboard::Selection);
}
