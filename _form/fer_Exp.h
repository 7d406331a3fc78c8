// The export-name dialog of the HTML export: one edit field for the name that the
// page's "{NAME}" shows, and the two buttons. Neither button is a default or cancel
// button: Enter and Escape leave the dialog open, so a name is only taken by a
// deliberate click (or Space on a focused button).
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLineEdit;
class QPushButton;

// The name that the field starts with, and the name that Cancel gives.
inline const QString ExportDefaultName = QStringLiteral("* Экспорт магнитных ссылок *");

class TfrmExp : public QDialog {
public:
    explicit TfrmExp(QWidget* Owner);

    // The export's name after the dialog has closed: the field's text as typed for
    // OK (it may be empty), the default name for Cancel and for the close box.
    QString ExportName() const;

    QLineEdit* edtName = nullptr;
    QPushButton* btnClose = nullptr;
    QPushButton* btnOK = nullptr;

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
};

// Shows the dialog modally over Owner and returns the export's name: the typed text
// for OK, the default name for Cancel or the close box.
QString AskExportName(QWidget* Owner);

// How the main window asks for the name; tests answer without a dialog.
using TExportNameQuestion = std::function<QString(QWidget* Owner)>;
