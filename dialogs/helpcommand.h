#pragma once
#include <QDialog>

#include <memory>

class QTextBrowser;
namespace Ui {
class HelpCommand;
}

// The command list: the keys of the map window and what they do. When its parent is the
// main window, the menu entries that have a key are listed too, read from the window's own
// actions so the page always names the keys that are set.
class HelpCommand : public QDialog
{
    Q_OBJECT
public:
    explicit HelpCommand(QWidget *parent = nullptr);
    ~HelpCommand() override;

    // The form's widget, by its object name.
    QTextBrowser *textBrowser2 = nullptr;

protected slots:
    virtual void languageChange();

protected:
    void changeEvent(QEvent *event) override;

private:
    QString menuKeys() const;

    std::unique_ptr<Ui::HelpCommand> m_ui;
};
