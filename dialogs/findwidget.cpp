#include "dialogs/findwidget.h"
#include "dialogs/formimages.h"
#include "ui_findwidget.h"
#include "world/datadirectory.h"

#include <QEvent>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>

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
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("problemLabel"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    if (auto *grid = qobject_cast<QGridLayout *>(layout()))
        grid->addWidget(m_problem, grid->rowCount(), 0, 1, grid->columnCount());
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
    auto refuse = [this](const char *axis, const QIntValidator *range) {
        m_problem->setText(QStringLiteral("%1 must be a whole number from %2 to %3.")
                               .arg(QLatin1String(axis))
                               .arg(range->bottom())
                               .arg(range->top()));
        m_problem->show();
    };
    int x = 0;
    if (!acceptedNumber(lineEditX, &x))
        return refuse("X", m_xValidator);
    int y = 0;
    if (!acceptedNumber(lineEditY, &y))
        return refuse("Y", m_yValidator);
    m_problem->clear();
    m_problem->hide();
    emit setXY(x, y);
}

QString FindWidget::problem() const
{
    return m_problem->text();
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
