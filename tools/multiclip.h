#pragma once
#include <QWidget>

// The clipping controls of the clipping dock: height limits for land and statics.
class multiclip : public QWidget
{
    Q_OBJECT
public:
    explicit multiclip(QWidget *parent = nullptr);

signals:
    void staticAbove(bool on);
    void staticBelow(bool on);
    void staticChangeBelow(int v);
    void staticChangeAbove(int v);
    void landAbove(bool on);
    void landBelow(bool on);
    void landChangeBelow(int v);
    void landChangeAbove(int v);
};
