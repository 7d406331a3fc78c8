#include "About.h"
#include "WindowFont.h"

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

TAboutBox::TAboutBox(QWidget* Owner) : QDialog(Owner, DialogWindowFlags)
{
    Q_INIT_RESOURCE(velmora);

    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(tr("О программе"));
    setFont(WindowFont());
    const QIcon ProgramIcon(QStringLiteral(":/velmora.svg"));
    setWindowIcon(ProgramIcon);

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
    // 10 pt beside the window's 8 pt: two points above the window's font.
    QFont Larger = lblAbout->font();
    if (Larger.pointSizeF() > 0)
        Larger.setPointSizeF(Larger.pointSizeF() + 2);
    else
        Larger.setPixelSize(Larger.pixelSize() * 5 / 4);
    lblAbout->setFont(Larger);

    // The licence in the window's own font, along the panel's bottom edge.
    lblLicense = new QLabel(tr("Распространяется по лицензии MIT"), pnMiddle);
    lblLicense->setObjectName(QStringLiteral("lblLicense"));
    lblLicense->setTextFormat(Qt::PlainText);
    lblLicense->setAlignment(Qt::AlignCenter);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);

    // The resource's measures, grown where a larger desktop font needs more room.
    const QSize TextSize = lblAbout->sizeHint() + QSize(8 + 4, 8 + 4);
    // The name stays in the middle: the licence's strip is kept free at the top too.
    const QSize LicenseSize = lblLicense->sizeHint();
    const QSize Middle =
        AtLeast(QSize(281, 97), QSize(std::max(TextSize.width() + 2 * (10 + 32), LicenseSize.width() + 8 + 4),
                                      TextSize.height() + 2 * LicenseSize.height()));
    pnMiddle->resize(Middle);
    lblAbout->setGeometry(pnMiddle->rect().adjusted(4, 4, -4, -4));
    lblLicense->setGeometry(4, Middle.height() - 4 - LicenseSize.height(), Middle.width() - 8, LicenseSize.height());
    lblAbout->lower();
    const QSize Button = AtLeast(QSize(75, 25), TextBoxNeeds(OKButton->font(), OKButton->text()));
    const int Width = std::max(298, Middle.width() + 17);
    OKButton->setGeometry((Width - Button.width()) / 2, 8 + Middle.height() + 6, Button.width(), Button.height());
    setFixedSize(Width, OKButton->geometry().bottom() + 1 + 11);
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
