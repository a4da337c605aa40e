#include "tools/clipwidget.h"
#include "dialogs/formimages.h"
#include "ui_clipwidget.h"

#include <QEvent>

ClipWidget::ClipWidget(QWidget *parent) : QWidget(parent), m_ui(new Ui::ClipWidget)
{
    registerFormImages();
    m_ui->setupUi(this);
    comboBox1 = m_ui->comboBox1;
    widgetStack1 = m_ui->widgetStack1;
    widgetStack2 = m_ui->widgetStack2;
    checkAbove = m_ui->checkAbove;
    checkBelow = m_ui->checkBelow;
    slideAbove = m_ui->slideAbove;
    slideBelow = m_ui->slideBelow;
    lcdAbove = m_ui->lcdAbove;
    lcdBelow = m_ui->lcdBelow;
    languageChange();
    resize(size().expandedTo(minimumSizeHint()));
}

ClipWidget::~ClipWidget() = default;

void ClipWidget::setAbove(int v)
{
    lcdAbove->display(v);
    emit changeAbove(v);
}

void ClipWidget::setBelow(int v)
{
    lcdBelow->display(v);
    emit changeBelow(v);
}

void ClipWidget::enableAbove(bool on)
{
    emit setAbove(on);
}

void ClipWidget::enableBelow(bool on)
{
    emit setBelow(on);
}

void ClipWidget::setMode(int m)
{
    if (m < 0 || m >= widgetStack1->count() || m >= widgetStack2->count())
        return;
    widgetStack2->setCurrentIndex(m);
    widgetStack1->setCurrentIndex(m);
}

void ClipWidget::languageChange()
{
    m_ui->retranslateUi(this);
    // Refilling the list must not lose which limit is shown.
    const int shown = comboBox1->currentIndex();
    comboBox1->clear();
    comboBox1->addItem(tr("Above"));
    comboBox1->addItem(tr("Below"));
    comboBox1->setCurrentIndex(qMax(shown, 0));
}

void ClipWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QWidget::changeEvent(event);
}
