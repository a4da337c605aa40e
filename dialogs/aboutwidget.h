#pragma once
#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;
class QTextBrowser;
namespace Ui {
class AboutWidget;
}

// The About box: the application image, a few words about Tessaryn, OK.
class AboutWidget : public QDialog
{
    Q_OBJECT
public:
    explicit AboutWidget(QWidget *parent = nullptr);
    ~AboutWidget() override;

    // The form's widgets, by their object names.
    QLabel *pixmapLabel1 = nullptr;
    QTextBrowser *textBrowser1 = nullptr;
    QPushButton *pushButton22 = nullptr;

protected slots:
    virtual void languageChange();

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::AboutWidget> m_ui;
};
