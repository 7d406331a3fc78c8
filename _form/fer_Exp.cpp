#include "fer_Exp.h"
#include "WindowFont.h"

#include <QCoreApplication>
#include <QFont>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

TfrmExp::TfrmExp(QWidget* Owner) : QDialog(Owner, DialogWindowFlags)
{
    setObjectName(QStringLiteral("frmExp"));
    setWindowTitle(QCoreApplication::translate("TfrmExp", "    Имя экспорта"));
    setFont(WindowFont());

    edtName = new QLineEdit(ExportDefaultName, this);
    edtName->setObjectName(QStringLiteral("edtName"));
    btnClose = new QPushButton(QCoreApplication::translate("TfrmExp", "Отмена"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));

    // The resource's measures (345 × 67, the field 21 high, the buttons 75 × 25 at
    // 8 and 262), grown where a larger desktop font needs more room.
    const int FieldHeight = std::max(21, TextBoxNeeds(font(), ExportDefaultName).height() - 4);
    const QSize Button =
        AtLeast(AtLeast(QSize(75, 25), TextBoxNeeds(font(), btnClose->text())), TextBoxNeeds(font(), btnOK->text()));
    const int ButtonsTop = 8 + FieldHeight + 6;
    const int Width = 345 + (Button.width() - 75);
    setFixedSize(Width, ButtonsTop + Button.height() + 7);
    edtName->setGeometry(9, 8, Width - 18, FieldHeight);
    btnClose->setGeometry(Width - 8 - Button.width(), ButtonsTop, Button.width(), Button.height());
    btnOK->setGeometry(8, ButtonsTop, Button.width(), Button.height());

    for (QPushButton* Button : {btnClose, btnOK}) {
        Button->setAutoDefault(false);
        Button->setDefault(false);
    }
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    setTabOrder(edtName, btnClose);
    setTabOrder(btnClose, btnOK);
    edtName->setFocus();
    edtName->selectAll();
}

QString TfrmExp::ExportName() const
{
    return result() == QDialog::Accepted ? edtName->text() : ExportDefaultName;
}

void TfrmExp::keyPressEvent(QKeyEvent* Event)
{
    // QDialog closes on Escape and presses a default button on Enter; here neither.
    switch (Event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter: Event->accept(); return;
    default: QDialog::keyPressEvent(Event);
    }
}

void TfrmExp::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    if (QWidget* Owner = parentWidget()) {
        const QRect Frame = Owner->window()->frameGeometry();
        QRect Mine = frameGeometry();
        Mine.moveCenter(Frame.center());
        move(Mine.topLeft());
    }
    edtName->setFocus(Qt::OtherFocusReason);
    edtName->selectAll();
}

QString AskExportName(QWidget* Owner)
{
    TfrmExp Dialog(Owner);
    Dialog.exec();
    return Dialog.ExportName();
}
