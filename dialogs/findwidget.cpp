#include "dialogs/findwidget.h"
#include "dialogs/formimages.h"
#include "ui_findwidget.h"
#include "world/datadirectory.h"

#include <QEvent>
#include <QIntValidator>

namespace {
// The field's number when it is a decimal its validator accepts in full. A number the
// validator only tolerates while typing (past the facet's edge) is not a place to go to.
bool acceptedNumber(const QLineEdit *edit, int *value)
{
    bool ok = false;
    *value = edit->text().toInt(&ok, 10);
    return ok && edit->hasAcceptableInput();
}
} // namespace

FindWidget::FindWidget(QWidget *parent) : QDialog(parent), m_ui(new Ui::FindWidget)
{
    registerFormImages();
    m_ui->setupUi(this);
    textLabel1 = m_ui->textLabel1;
    textLabel1_2 = m_ui->textLabel1_2;
    lineEditX = m_ui->lineEditX;
    lineEditY = m_ui->lineEditY;
    pushFind = m_ui->pushFind;

    m_xValidator = new QIntValidator(lineEditX);
    m_yValidator = new QIntValidator(lineEditY);
    lineEditX->setValidator(m_xValidator);
    lineEditY->setValidator(m_yValidator);
    languageChange();
    setMap(0);
}

FindWidget::~FindWidget() = default;

void FindWidget::setMap(int facet)
{
    m_xValidator->setRange(0, facetBlocksX(facet) * 8);
    m_yValidator->setRange(0, facetBlocksY(facet) * 8);
}

void FindWidget::clickFind()
{
    int x = 0;
    if (!acceptedNumber(lineEditX, &x))
        return;
    int y = 0;
    if (!acceptedNumber(lineEditY, &y))
        return;
    emit setXY(x, y);
}

void FindWidget::languageChange()
{
    m_ui->retranslateUi(this);
}

void FindWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(event);
}
