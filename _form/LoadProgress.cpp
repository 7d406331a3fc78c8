#include "LoadProgress.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

#include <algorithm>
#include <climits>

QString CountText(qsizetype Count)
{
    const QString Digits = QString::number(Count < 0 ? -Count : Count);
    QString Text = Count < 0 ? QStringLiteral("-") : QString();
    for (qsizetype i = 0; i < Digits.size(); ++i) {
        if (i > 0 && (Digits.size() - i) % 3 == 0) Text += u' ';
        Text += Digits[i];
    }
    return Text;
}

TLoadProgress::TLoadProgress(QWidget* Parent) : QWidget(Parent)
{
    setObjectName(QStringLiteral("pnProgress"));
    auto* Layout = new QHBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(6);
    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setTextFormat(Qt::PlainText);
    // Wide enough for "100 000 из 100 000", so that the bar does not move as the
    // count grows.
    lblProgress->setMinimumWidth(lblProgress->fontMetrics().horizontalAdvance(QStringLiteral("000 000 из 000 000")) +
                                 4);
    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setTextVisible(false);
    pbProgress->setFixedWidth(160);
    pbProgress->setMaximumHeight(std::max(12, fontMetrics().height()));
    btnStop = new QToolButton(this);
    btnStop->setObjectName(QStringLiteral("btnStop"));
    btnStop->setText(tr("Остановить"));
    btnStop->setToolTip(tr("Остановить загрузку (Esc): загруженное останется в списке"));
    btnStop->setAutoRaise(true);
    Layout->addWidget(lblProgress);
    Layout->addWidget(pbProgress);
    Layout->addWidget(btnStop);
}

void TLoadProgress::SetProgress(qsizetype Done, qsizetype Total)
{
    lblProgress->setText(tr("%1 из %2").arg(CountText(Done), CountText(Total)));
    // The bar counts in thousandths, whatever the number of files.
    pbProgress->setRange(0, 1000);
    pbProgress->setValue(Total > 0 ? int(std::min<qsizetype>(1000, Done * 1000 / Total)) : 0);
}
