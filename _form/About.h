// The About box: the program's name and version, its licence, and OK.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* Owner);

    void OKButtonClick();

    QFrame* pnMiddle = nullptr;
    QLabel* lblIcon = nullptr;
    QLabel* lblAbout = nullptr;
    QLabel* lblLicense = nullptr;
    QPushButton* OKButton = nullptr;
};
