#include "About.h"
#include "WindowFont.h"

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

TAboutBox::TAboutBox(QWidget* Owner) : QDialog(Owner)
{
    Q_INIT_RESOURCE(velmora);

    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе"));
    setFont(WindowFont());
    const QIcon ProgramIcon(QStringLiteral(":/velmora.svg"));
    setWindowIcon(ProgramIcon);
    setFixedSize(298, 147);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    pnMiddle = new QFrame(this);
    pnMiddle->setObjectName(QStringLiteral("pnMiddle"));
    pnMiddle->setGeometry(8, 8, 281, 97);
    pnMiddle->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnMiddle->setLineWidth(1);

    lblIcon = new QLabel(pnMiddle);
    lblIcon->setObjectName(QStringLiteral("lblIcon"));
    lblIcon->setPixmap(ProgramIcon.pixmap(QSize(32, 32), devicePixelRatio()));
    lblIcon->setGeometry(10, 10, 32, 32);

    lblAbout = new QLabel(QStringLiteral("Velmora\n\n0.9.3.19"), pnMiddle);
    lblAbout->setObjectName(QStringLiteral("lblAbout"));
    lblAbout->setTextFormat(Qt::PlainText);
    lblAbout->setAlignment(Qt::AlignCenter);
    QFont Larger = lblAbout->font();
    Larger.setPointSize(10);
    lblAbout->setFont(Larger);
    lblAbout->setGeometry(pnMiddle->rect().adjusted(4, 4, -4, -4));
    lblAbout->lower();

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 111, 75, 25);
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });

    if (const QScreen* Screen = QGuiApplication::primaryScreen()) {
        QRect Place = rect();
        Place.moveCenter(Screen->availableGeometry().center());
        move(Place.topLeft());
    }
}

void TAboutBox::OKButtonClick()
{
    accept();
}
