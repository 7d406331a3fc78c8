#include "fer_Exp.h"
#include "WindowFont.h"

#include <QFont>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>


TfrmExp::TfrmExp(QWidget* Owner)
    : QDialog(Owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmExp"));
    setWindowTitle(QStringLiteral("    Имя экспорта"));
    setFont(WindowFont());
    setFixedSize(345, 67);

    edtName = new QLineEdit(ExportDefaultName, this);
    edtName->setObjectName(QStringLiteral("edtName"));
    edtName->setGeometry(9, 8, width() - 18, 21);

    btnClose = new QPushButton(QStringLiteral("Отмена"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(262, 35, 75, 25);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(8, 35, 75, 25);

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
    case Qt::Key_Enter:
        Event->accept();
        return;
    default:
        QDialog::keyPressEvent(Event);
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
