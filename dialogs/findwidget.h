#pragma once
#include <QDialog>

#include <memory>

class QIntValidator;
class QLabel;
class QLineEdit;
class QPushButton;
namespace Ui {
class FindWidget;
}

// The Goto dialog: jumps the view to typed coordinates. Modeless, made once by the main
// window and kept open across uses.
class FindWidget : public QDialog
{
    Q_OBJECT
public:
    explicit FindWidget(QWidget *parent = nullptr);
    ~FindWidget() override;

    // The form's widgets, by their object names.
    QLabel *textLabel1 = nullptr;
    QLabel *textLabel1_2 = nullptr;
    QLineEdit *lineEditX = nullptr;
    QLineEdit *lineEditY = nullptr;
    QPushButton *pushFind = nullptr;

public slots:
    // Fits the field ranges to a facet: 0 .. width and 0 .. height in cells.
    virtual void setMap(int facet);
    // Sends setXY when both fields hold a coordinate inside the facet; the dialog stays open.
    // Otherwise it says below the fields what it takes instead of doing nothing.
    virtual void clickFind();

public:
    // What the dialog says about the last refused Goto; empty after one that was sent.
    QString problem() const;

protected slots:
    virtual void languageChange();

signals:
    void setXY(int x, int y);

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::FindWidget> m_ui;
    QIntValidator *m_xValidator = nullptr;
    QIntValidator *m_yValidator = nullptr;
    QLabel *m_problem = nullptr;
};
