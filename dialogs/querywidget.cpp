#include "dialogs/querywidget.h"
#include "dialogs/formimages.h"
#include "ui_querywidget.h"

#include <QEvent>

QueryWidget::QueryWidget(QWidget *parent) : QDialog(parent), m_ui(new Ui::QueryWidget)
{
    registerFormImages();
    m_ui->setupUi(this);
    lineEdit3 = m_ui->lineEdit3;
    pushButton3 = m_ui->pushButton3;
    pushButton4 = m_ui->pushButton4;
    languageChange();
}

QueryWidget::~QueryWidget() = default;

void QueryWidget::value(const QString &text)
{
    lineEdit3->setText(text);
    // A starting value is usually replaced as a whole, so typing overwrites it.
    lineEdit3->selectAll();
}

QString QueryWidget::value()
{
    return lineEdit3->text();
}

void QueryWidget::okButton()
{
    accept();
}

void QueryWidget::cancelButton()
{
    reject();
}

void QueryWidget::languageChange()
{
    // A caption other than the form's own is the asker's prompt and stays.
    const QString caption = windowTitle();
    const bool prompted = !m_ownCaption.isNull() && caption != m_ownCaption;
    m_ui->retranslateUi(this);
    m_ownCaption = windowTitle();
    if (prompted)
        setWindowTitle(caption);
}

void QueryWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(event);
}
