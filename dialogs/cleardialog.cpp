#include "dialogs/cleardialog.h"
#include "dialogs/formimages.h"
#include "ui_cleardialog.h"

#include "world/clientlayout.h"
#include "world/datadirectory.h"

#include <QEvent>
#include <QIntValidator>

#include <algorithm>

namespace {
// The largest facet's size in cells in the open directory (6144 x 4096 in early clients,
// 7168 wide in later ones). The fields take it whatever facet is open; the view lowers a
// corner past the open facet's edge to its last cell.
int largestFacetCells(int (*blocks)(int))
{
    int most = 0;
    for (int f = 0; f < ClientLayout::FacetCount; ++f)
        most = std::max(most, blocks(f) * 8);
    return most;
}

int fieldValue(const QLineEdit *edit)
{
    bool ok = false;
    const int v = edit->text().toInt(&ok, 10);
    return ok ? v : -1;
}
} // namespace

ClearDialog::ClearDialog(QWidget *parent) : QDialog(parent), m_ui(new Ui::ClearDialog)
{
    registerFormImages();
    m_ui->setupUi(this);
    groupBox3 = m_ui->groupBox3;
    groupBox3_2 = m_ui->groupBox3_2;
    textLabelX = m_ui->textLabelX;
    textLabelY = m_ui->textLabelY;
    textLabelX_2 = m_ui->textLabelX_2;
    textLabelY_2 = m_ui->textLabelY_2;
    lineX = m_ui->lineX;
    lineY = m_ui->lineY;
    lineX_2 = m_ui->lineX_2;
    lineY_2 = m_ui->lineY_2;
    checkStatics = m_ui->checkStatics;
    checkLand = m_ui->checkLand;
    pushButton2 = m_ui->pushButton2;
    pushButton3 = m_ui->pushButton3;

    const int maxX = largestFacetCells(facetBlocksX), maxY = largestFacetCells(facetBlocksY);
    for (QLineEdit *x : {lineX, lineX_2})
        x->setValidator(new QIntValidator(0, maxX, x));
    for (QLineEdit *y : {lineY, lineY_2})
        y->setValidator(new QIntValidator(0, maxY, y));
    languageChange();
}

ClearDialog::~ClearDialog() = default;

int ClearDialog::getX1() { return fieldValue(lineX); }
int ClearDialog::getY1() { return fieldValue(lineY); }
int ClearDialog::getY2() { return fieldValue(lineY_2); }
int ClearDialog::getX2() { return fieldValue(lineX_2); }
bool ClearDialog::getStatics() { return checkStatics->isChecked(); }
bool ClearDialog::getLand() { return checkLand->isChecked(); }

void ClearDialog::languageChange()
{
    m_ui->retranslateUi(this);
}

void ClearDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        languageChange();
    QDialog::changeEvent(event);
}
