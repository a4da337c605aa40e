#pragma once
#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

// Asks for the corners of a rectangle and what to clear in it (land, statics).
class ClearDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ClearDialog(QWidget *parent = nullptr);

    QLineEdit *lineX = nullptr, *lineY = nullptr, *lineX_2 = nullptr, *lineY_2 = nullptr;
    QCheckBox *checkStatics = nullptr, *checkLand = nullptr;
    QPushButton *pushButton2 = nullptr, *pushButton3 = nullptr;

public slots:
    virtual int getX1();
    virtual int getY1();
    virtual int getY2();
    virtual int getX2();
    virtual bool getStatics();
    virtual bool getLand();

protected slots:
    virtual void languageChange();

private:
    QGroupBox *groupBox3 = nullptr, *groupBox3_2 = nullptr;
};
