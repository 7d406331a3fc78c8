// The details panel's link field: one read-only line that may show only the start
// of a link far longer than a line can hold.
#pragma once

#include <QLineEdit>
#include <QString>

// A read-only line for a link of any length. It is given no more of the link than can
// show (ShownText: the start, then "…"), yet copying from it, by the keys, its menu or
// the desktop's selection, takes what the selection stands for in the whole link: the
// "…" stands for the rest of it.
class TLinkField : public QLineEdit {
public:
    explicit TLinkField(const QString& Text, QWidget* Parent = nullptr);

    // Shows Link, cut to what a line is given; Link is kept whole for copying.
    void SetLink(const QString& Link);
    // The whole link that the field stands for: the one last set while the field
    // still shows it, else the text it shows.
    QString Link() const;
    // The part of the whole link that the selection stands for; empty for none.
    QString SelectedLink() const;
    // Puts SelectedLink on the clipboard, as Ctrl+C and the menu's copy do; with no
    // selection, the clipboard is left alone.
    void CopySelection();

protected:
    bool event(QEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    // Whether the field shows the start of FLink cut short.
    bool Cut() const;
    // The desktop's selection (middle-click pasting) gets the whole of what is selected
    // too, where the line copied only what it shows.
    void KeepSelectionWhole();

    QString FLink;   // the whole link
    QString FShown;  // what SetLink gave the line to show
};
