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

protected:
    void paintEvent(QPaintEvent* Event) override;
    bool event(QEvent* Event) override;
};

class TPlatform;

// The comment's link label. A click hands the comment to the desktop only when it is
// a web address (http, https, ftp); anything else is only shown.
class TLinkLabel : public TDetailLabel {
public:
    TLinkLabel(TPlatform& Platform, const QString& Text, QWidget* Parent = nullptr);
    void SetTarget(const QString& Target);
    QString Target() const { return FTarget; }
    // The target if it is a web address, else empty.
    QString WebTarget() const;
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

// True when Text is an http, https or ftp address with a host.
bool IsWebAddress(const QString& Text);
