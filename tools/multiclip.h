#pragma once
#include <QWidget>

#include <map>
#include <memory>

class ClipWidget;
class QComboBox;
class QStackedWidget;
namespace Ui {
class multiclip;
}

// The clipping controls of the clipping dock: one ClipWidget for statics and one for land,
// a combo box choosing which is shown. Passes their limits and switches on as statics or
// land signals.
class multiclip : public QWidget
{
    Q_OBJECT
public:
    // Stack page ids.
    enum Page { StaticsPage = 1, LandPage = 2 };

    explicit multiclip(QWidget *parent = nullptr);
    ~multiclip() override;

    // The form's widgets, by their object names.
    QComboBox *comboBox1 = nullptr;
    QStackedWidget *widgetStack1 = nullptr;

    ClipWidget *staticClip() const { return m_statics; }
    ClipWidget *landClip() const { return m_land; }
    // The stack page with id, or null.
    QWidget *page(int id) const;
    // The id of the page shown, -1 when none is.
    int visiblePage() const;

public slots:
    virtual void setAbove(bool on);
    virtual void changeAbove(int v);
    virtual void setBelow(bool on);
    virtual void changeBelow(int v);
    virtual void setAboveLand(bool on);
    virtual void changeAboveLand(int v);
    virtual void setBelowLand(bool on);
    virtual void changeBelowLand(int v);
    // Shows page id i + 1: 0 statics, 1 land.
    virtual void selectStack(int i);

protected slots:
    virtual void languageChange();

signals:
    void staticAbove(bool on);
    void staticChangeAbove(int v);
    void staticBelow(bool on);
    void staticChangeBelow(int v);
    void landAbove(bool on);
    void landChangeAbove(int v);
    void landBelow(bool on);
    void landChangeBelow(int v);

protected:
    void changeEvent(QEvent *event) override;

private:
    std::unique_ptr<Ui::multiclip> m_ui;
    std::map<int, QWidget *> m_pages;
    ClipWidget *m_statics = nullptr;
    ClipWidget *m_land = nullptr;
};
