// The status bar's pane for a long load: how many files of how many, a bar, and a
// button that stops the load.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QToolButton;

// A count as the status bar writes it: groups of three digits separated by a
// space, "100 000".
QString CountText(qsizetype Count);

class TLoadProgress : public QWidget {
    Q_OBJECT

public:
    explicit TLoadProgress(QWidget* Parent = nullptr);

    // "1 234 из 100 000" and the bar at Done of Total.
    void SetProgress(qsizetype Done, qsizetype Total);

    QLabel* lblProgress = nullptr;
    QProgressBar* pbProgress = nullptr;
    QToolButton* btnStop = nullptr;
};
