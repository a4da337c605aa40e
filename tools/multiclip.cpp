#include "tools/multiclip.h"
#include "dialogs/formimages.h"
#include "tools/clipwidget.h"
#include "ui_multiclip.h"

#include <QEvent>

multiclip::multiclip(QWidget *parent) : QWidget(parent), m_ui(new Ui::multiclip)
{
    registerFormImages();
    m_ui->setupUi(this);
    comboBox1 = m_ui->comboBox1;
    widgetStack1 = m_ui->widgetStack1;

    // The form's stack holds a placeholder page; the two clip controls take its place.
    while (widgetStack1->count() > 0) {
        QWidget *placeholder = widgetStack1->widget(0);
        widgetStack1->removeWidget(placeholder);
        delete placeholder;
    }
    m_statics = new ClipWidget(this);
    m_land = new ClipWidget(this);
    m_pages = {{StaticsPage, m_statics}, {LandPage, m_land}};
    for (const auto &[id, widget] : m_pages)
        widgetStack1->addWidget(widget);
    widgetStack1->setCurrentWidget(m_statics);

    connect(m_statics, qOverload<bool>(&ClipWidget::setAbove), this, &multiclip::setAbove);
    connect(m_statics, qOverload<bool>(&ClipWidget::setBelow), this, &multiclip::setBelow);
    connect(m_statics, &ClipWidget::changeBelow, this, &multiclip::changeBelow);
    connect(m_statics, &ClipWidget::changeAbove, this, &multiclip::changeAbove);
    connect(m_land, qOverload<bool>(&ClipWidget::setAbove), this, &multiclip::setAboveLand);
    connect(m_land, qOverload<bool>(&ClipWidget::setBelow), this, &multiclip::setBelowLand);
    connect(m_land, &ClipWidget::changeBelow, this, &multiclip::changeBelowLand);
    connect(m_land, &ClipWidget::changeAbove, this, &multiclip::changeAboveLand);

    languageChange();
    resize(size().expandedTo(minimumSizeHint()));
}

multiclip::~multiclip() = default;

QWidget *multiclip::page(int id) const
{
    const auto it = m_pages.find(id);
    return it == m_pages.end() ? nullptr : it->second;
}

int multiclip::visiblePage() const
{
    for (const auto &[id, widget] : m_pages) {
        if (widget == widgetStack1->currentWidget())
            return id;
    }
    return -1;
}

void multiclip::setAbove(bool on) { emit staticAbove(on); }
void multiclip::changeAbove(int v) { emit staticChangeAbove(v); }
void multiclip::setBelow(bool on) { emit staticBelow(on); }
void multiclip::changeBelow(int v) { emit staticChangeBelow(v); }
void multiclip::setAboveLand(bool on) { emit landAbove(on); }
void multiclip::changeAboveLand(int v) { emit landChangeAbove(v); }
void multiclip::setBelowLand(bool on) { emit landBelow(on); }
void multiclip::changeBelowLand(int v) { emit landChangeBelow(v); }

void multiclip::selectStack(int i)
{
    if (QWidget *shown = page(i + 1))
        widgetStack1->setCurrentWidget(shown);
}

void multiclip::languageChange()
{
    m_ui->retranslateUi(this);
    const int shown = comboBox1->currentIndex();
    comboBox1->clear();
    comboBox1->addItem(tr("Statics"));
    comboBox1->addItem(tr("Land"));
    comboBox1->setCurrentIndex(qMax(shown, 0));
}

void multiclip::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QWidget::changeEvent(event);
}
