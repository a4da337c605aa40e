#include "dialogs/cleardialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
int fieldValue(const QLineEdit *edit)
{
    bool ok = false;
    const int v = edit->text().toInt(&ok, 10);
    return ok ? v : -1;
}

QGroupBox *corner(QWidget *parent, const char *name, QLineEdit **x, const char *xName,
                  QLineEdit **y, const char *yName)
{
    auto *box = new QGroupBox(parent);
    box->setObjectName(QLatin1String(name));
    auto *grid = new QGridLayout(box);
    grid->addWidget(new QLabel(QStringLiteral("X"), box), 0, 0);
    *x = new QLineEdit(box);
    (*x)->setObjectName(QLatin1String(xName));
    (*x)->setValidator(new QIntValidator(0, 6144, *x));
    grid->addWidget(*x, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Y"), box), 1, 0);
    *y = new QLineEdit(box);
    (*y)->setObjectName(QLatin1String(yName));
    (*y)->setValidator(new QIntValidator(0, 4096, *y));
    grid->addWidget(*y, 1, 1);
    return box;
}
} // namespace

ClearDialog::ClearDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ClearDialog"));
    setWindowIcon(QIcon(QStringLiteral(":/images/tz.png")));
    auto *layout = new QVBoxLayout(this);
    groupBox3 = corner(this, "groupBox3", &lineX, "lineX", &lineY, "lineY");
    groupBox3_2 = corner(this, "groupBox3_2", &lineX_2, "lineX_2", &lineY_2, "lineY_2");
    layout->addWidget(groupBox3);
    layout->addWidget(groupBox3_2);
    checkStatics = new QCheckBox(this);
    checkStatics->setObjectName(QStringLiteral("checkStatics"));
    checkLand = new QCheckBox(this);
    checkLand->setObjectName(QStringLiteral("checkLand"));
    layout->addWidget(checkStatics);
    layout->addWidget(checkLand);
    auto *buttons = new QHBoxLayout;
    pushButton2 = new QPushButton(this);
    pushButton2->setObjectName(QStringLiteral("pushButton2"));
    pushButton3 = new QPushButton(this);
    pushButton3->setObjectName(QStringLiteral("pushButton3"));
    buttons->addWidget(pushButton2);
    buttons->addWidget(pushButton3);
    layout->addLayout(buttons);
    languageChange();
    connect(pushButton2, &QPushButton::clicked, this, &QDialog::accept);
    connect(pushButton3, &QPushButton::clicked, this, &QDialog::reject);
}

int ClearDialog::getX1() { return fieldValue(lineX); }
int ClearDialog::getY1() { return fieldValue(lineY); }
int ClearDialog::getY2() { return fieldValue(lineY_2); }
int ClearDialog::getX2() { return fieldValue(lineX_2); }
bool ClearDialog::getStatics() { return checkStatics->isChecked(); }
bool ClearDialog::getLand() { return checkLand->isChecked(); }

void ClearDialog::languageChange()
{
    setWindowTitle(tr("Clear Tiles"));
    groupBox3->setTitle(tr("Upper Left Corner"));
    groupBox3_2->setTitle(tr("Lower Right Corner"));
    checkStatics->setText(tr("Statics"));
    checkLand->setText(tr("Land"));
    pushButton2->setText(tr("OK"));
    pushButton3->setText(tr("Cancel"));
}
