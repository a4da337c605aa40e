#pragma once
#include <QDialog>

class QIntValidator;
class QLabel;
class QLineEdit;
class QPushButton;

// The Goto dialog: jumps the view to typed coordinates. Modeless, made once.
class FindWidget : public QDialog
{
    Q_OBJECT
public:
    explicit FindWidget(QWidget *parent = nullptr);

    QLineEdit *lineEditX = nullptr;
    QLineEdit *lineEditY = nullptr;
    QPushButton *pushFind = nullptr;

public slots:
    virtual void setMap(int facet);
    virtual void clickFind();

protected slots:
    virtual void languageChange();

signals:
    void setXY(int x, int y);

private:
    QLabel *textLabel1 = nullptr;
    QLabel *textLabel1_2 = nullptr;
    QIntValidator *m_xValidator = nullptr;
    QIntValidator *m_yValidator = nullptr;
};
