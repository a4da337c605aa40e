#pragma once
#include <QDialog>

#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace Ui {
class ClearDialog;
}

// Asks for the corners of a rectangle and what to clear in it (land, statics). Made per
// use and run modally; the main window checks the answer.
class ClearDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ClearDialog(QWidget *parent = nullptr);
    ~ClearDialog() override;

    // The form's widgets, by their object names.
    QGroupBox *groupBox3 = nullptr, *groupBox3_2 = nullptr;
    QLabel *textLabelX = nullptr, *textLabelY = nullptr, *textLabelX_2 = nullptr,
           *textLabelY_2 = nullptr;
    QLineEdit *lineX = nullptr, *lineY = nullptr, *lineX_2 = nullptr, *lineY_2 = nullptr;
    QCheckBox *checkStatics = nullptr, *checkLand = nullptr;
    QPushButton *pushButton2 = nullptr, *pushButton3 = nullptr;

public slots:
    // Each corner field as a decimal, -1 when it holds none.
    virtual int getX1();
    virtual int getY1();
    virtual int getY2();
    virtual int getX2();
    virtual bool getStatics();
    virtual bool getLand();

protected slots:
    virtual void languageChange();

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::ClearDialog> m_ui;
};
