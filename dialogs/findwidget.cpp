#include "dialogs/findwidget.h"
#include "world/datadirectory.h"

#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FindWidget::FindWidget(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FindWidget"));
    setWindowIcon(QIcon(QStringLiteral(":/images/tz.png")));
    auto *grid = new QGridLayout(this);
    textLabel1 = new QLabel(this);
    textLabel1->setObjectName(QStringLiteral("textLabel1"));
    textLabel1_2 = new QLabel(this);
    textLabel1_2->setObjectName(QStringLiteral("textLabel1_2"));
    lineEditX = new QLineEdit(this);
    lineEditX->setObjectName(QStringLiteral("lineEditX"));
    lineEditY = new QLineEdit(this);
    lineEditY->setObjectName(QStringLiteral("lineEditY"));
    pushFind = new QPushButton(this);
    pushFind->setObjectName(QStringLiteral("pushFind"));
    grid->addWidget(textLabel1, 0, 0);
    grid->addWidget(lineEditX, 0, 1);
    grid->addWidget(textLabel1_2, 1, 0);
    grid->addWidget(lineEditY, 1, 1);
    grid->addWidget(pushFind, 2, 0, 1, 2);
    m_xValidator = new QIntValidator(this);
    m_yValidator = new QIntValidator(this);
    lineEditX->setValidator(m_xValidator);
    lineEditY->setValidator(m_yValidator);
    languageChange();
    connect(pushFind, &QPushButton::clicked, this, &FindWidget::clickFind);
    setMap(0);
}

void FindWidget::setMap(int facet)
{
    m_xValidator->setRange(0, facetBlocksX(facet) * 8);
    m_yValidator->setRange(0, facetBlocksY(facet) * 8);
}

void FindWidget::clickFind()
{
    bool ok = false;
    const int x = lineEditX->text().toInt(&ok, 10);
    if (!ok)
        return;
    const int y = lineEditY->text().toInt(&ok, 10);
    if (!ok)
        return;
    emit setXY(x, y);
}

void FindWidget::languageChange()
{
    setWindowTitle(tr("Goto"));
    textLabel1->setText(tr("X:"));
    textLabel1_2->setText(tr("Y:"));
    pushFind->setText(tr("Find"));
}
