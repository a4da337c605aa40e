#pragma once
#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QLCDNumber;
class QSlider;
class QStackedWidget;
namespace Ui {
class ClipWidget;
}

// One pair of height limits (above, below) with a slider, a number display and an Enable
// box per limit; the combo box shows the controls of one limit at a time. It only sends
// signals: the owner passes them on to the view.
class ClipWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ClipWidget(QWidget *parent = nullptr);
    ~ClipWidget() override;

    // The form's widgets, by their object names.
    QComboBox *comboBox1 = nullptr;
    QStackedWidget *widgetStack1 = nullptr; // Enable boxes: page 0 above, page 1 below
    QStackedWidget *widgetStack2 = nullptr; // slider pages: page 0 above, page 1 below
    QCheckBox *checkAbove = nullptr;
    QCheckBox *checkBelow = nullptr;
    QSlider *slideAbove = nullptr;
    QSlider *slideBelow = nullptr;
    QLCDNumber *lcdAbove = nullptr;
    QLCDNumber *lcdBelow = nullptr;

public slots:
    // A limit moved: show it and send it.
    virtual void setAbove(int v);
    virtual void setBelow(int v);
    // An Enable box toggled: send the switch.
    virtual void enableAbove(bool on);
    virtual void enableBelow(bool on);
    // 0 shows the above controls, 1 the below controls, both stacks at once.
    virtual void setMode(int m);

protected slots:
    virtual void languageChange();

signals:
    // The switches share their names with the limit slots; the argument type tells them apart.
    void setBelow(bool on);
    void setAbove(bool on);
    void changeBelow(int v);
    void changeAbove(int v);

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::ClipWidget> m_ui;
};
