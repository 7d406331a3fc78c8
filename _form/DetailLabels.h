// The labels of the details panel, for text that may come from a stranger's file.
#pragma once

#include <QLabel>
#include <QString>

// A one-line label for text that may come from a stranger's file: shown as plain
// text, on one line, cut with an ellipsis when it is wider than the label, so that
// no value can widen the window or push the panel's other lines away.
class TDetailLabel : public QLabel {
public:
    explicit TDetailLabel(const QString& Text, QWidget* Parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The tool tip, as rich text with every value escaped; empty for none. Here the
    // whole text (up to a bound) when the label has had to cut it.
    virtual QString ToolTipText() const;

protected:
    void paintEvent(QPaintEvent* Event) override;
    bool event(QEvent* Event) override;
};

// A status bar note: it asks for the room of its whole text and takes it while the
// bar has it; with less, it is cut as a detail label is, instead of widening the window.
class TNoteLabel : public TDetailLabel {
public:
    explicit TNoteLabel(QWidget* Parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};

class TPlatform;

// The comment's link label. A click hands the comment to the desktop only when it is
// a web address (http, https, ftp); anything else is only shown. Its tool tip names
// the host of a web address in full, since the label may show only the address's
// start, and the start need not be the host.
class TLinkLabel : public TDetailLabel {
public:
    TLinkLabel(TPlatform& Platform, const QString& Text, QWidget* Parent = nullptr);
    void SetTarget(const QString& Target);
    QString Target() const { return FTarget; }
    // The target if it is a web address, else empty.
    QString WebTarget() const;
    // The host of the target as the desktop would reach it (internationalized names
    // as Qt shows them), also for an address refused for its user name; empty when
    // the target is no web address.
    QString TargetHost() const;
    QString ToolTipText() const override;
    bool Visited() const { return FVisited; }
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    void UpdateLook();
    TPlatform& FPlatform;
    QString FTarget;
    bool FVisited = false;
};

// True when Text is an http, https or ftp address with a host and without a user
// name or password: text before an "@" in an address reads as its host ("https://
// trusted.example%2F…@evil.example/" leads to evil.example), and a comment has no
// business logging in anywhere.
bool IsWebAddress(const QString& Text);
