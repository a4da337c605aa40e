#pragma once
#include <QDialog>
#include <QString>

#include <memory>

class QLineEdit;
class QPushButton;
namespace Ui {
class QueryWidget;
}

// A one-line question. The popup commands set its caption to their prompt, may fill in a
// starting value, run it modally and read value() after an accepted run.
class QueryWidget : public QDialog
{
    Q_OBJECT
public:
    explicit QueryWidget(QWidget *parent = nullptr);
    ~QueryWidget() override;

    // The form's widgets, by their object names.
    QLineEdit *lineEdit3 = nullptr;
    QPushButton *pushButton3 = nullptr;
    QPushButton *pushButton4 = nullptr;

    virtual QString value();

public slots:
    virtual void value(const QString &text);
    virtual void okButton();
    virtual void cancelButton();

protected slots:
    virtual void languageChange();

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::QueryWidget> m_ui;
    QString m_ownCaption;
};
