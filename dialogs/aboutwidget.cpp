#include "dialogs/aboutwidget.h"
#include "dialogs/formimages.h"
#include "ui_aboutwidget.h"

#include <QEvent>

AboutWidget::AboutWidget(QWidget *parent) : QDialog(parent), m_ui(new Ui::AboutWidget)
{
    registerFormImages();
    m_ui->setupUi(this);
    pixmapLabel1 = m_ui->pixmapLabel1;
    textBrowser1 = m_ui->textBrowser1;
    pushButton22 = m_ui->pushButton22;
    languageChange();
}

AboutWidget::~AboutWidget() = default;

void AboutWidget::languageChange()
{
    m_ui->retranslateUi(this);
    QString text = QStringLiteral("<h2>Tessaryn</h2><p>") +
                   tr("Version %1").arg(QStringLiteral(TESSARYN_VERSION)) + QStringLiteral("</p>");
    text += QStringLiteral("<p>") +
            tr("Tessaryn edits the world of the game client: the land, the statics standing on it "
               "and the items of a server's world save.") +
            QStringLiteral("</p><p>") +
            tr("Look at each facet flat, as the client shows it or in 3D; paint tiles from a "
               "palette; select, raise, lower, move, copy, recolour and delete them; place "
               "multis; clear whole rectangles; and hide what lies above or below a height.") +
            QStringLiteral("</p><p>") +
            tr("Changes are kept apart until you save them, into the map files themselves or "
               "into the difference files the client reads beside them.") +
            QStringLiteral("</p><p>") +
            tr("Help \u2192 Commands lists the keys.") + QStringLiteral("</p><p>") +
            tr("Tessaryn is free software, licensed under the GNU General Public License, version 3 "
               "or (at your option) any later version (GPL-3.0-or-later). It comes with no "
               "warranty.") +
            QStringLiteral("</p>");
    textBrowser1->setHtml(text);
}

void AboutWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(event);
}
