#pragma once
// Driving the map view's context menu as a user does: a right press at a window point, the
// entries chosen with the keyboard in the popup menus once they are up, and the dialogs an
// entry opens answered from a timer while they run modally.
#include "dialogs/querywidget.h"
#include "view/glmapwidget.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <optional>

namespace menufixture {

// The answering timers still waiting. They wait as long as it takes (a first file dialog
// can be slow to come on a busy machine); the cleanup of each test stops those left, so none
// answers a dialog of a later test.
inline QObject *answerers()
{
    static QPointer<QObject> holder;
    if (!holder)
        holder = new QObject(QCoreApplication::instance());
    return holder;
}
inline void stopAnswering()
{
    qDeleteAll(answerers()->children());
}

// Runs answer on the first modal dialog of type T that comes up. Should the answer come
// before the dialog's own event loop takes it, the dialog stays up and is answered again on
// the next tick; once it is gone the timer ends, so it never answers a later dialog.
template <typename T> void whenModal(std::function<void(T *)> answer)
{
    auto *timer = new QTimer(answerers());
    timer->setInterval(20);
    auto answered = std::make_shared<std::optional<QPointer<QWidget>>>();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, answered] {
        if (answered->has_value() && (!answered->value() || !answered->value()->isVisible())) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (auto *d = qobject_cast<T *>(QApplication::activeModalWidget())) {
            *answered = QPointer<QWidget>(d);
            answer(d);
        }
    });
    timer->start();
}

// Answers the next QueryWidget: notes its caption, types text and presses Ok, or Cancel
// when text is null.
inline void answerQuery(const QString &text, QString *caption = nullptr)
{
    whenModal<QueryWidget>([text, caption](QueryWidget *q) {
        if (caption)
            *caption = q->windowTitle();
        if (text.isNull()) {
            q->cancelButton();
        } else {
            q->value(text);
            q->okButton();
        }
    });
}

// Types path into a file dialog's name field and accepts it. Not selectFile: it leaves the
// field alone while the field has the focus, which depends on when the window came up.
inline void typeFileName(QFileDialog *d, const QString &path)
{
    auto *edit = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(path);
    static_cast<QDialog *>(d)->accept(); // accept() is protected in QFileDialog
}

// Answers the next file dialog with path, noting its caption and filters.
inline void answerFileDialog(const QString &path, QString *caption = nullptr, QStringList *filters = nullptr)
{
    whenModal<QFileDialog>([=](QFileDialog *d) {
        if (caption)
            *caption = d->windowTitle();
        if (filters)
            *filters = d->nameFilters();
        typeFileName(d, path);
    });
}

// Chooses the entry path (for example {"Insert", "Land"}) in the popup menus once they are
// up: Right opens a submenu, Return chooses, as with the keyboard. The timer ends before the
// entry runs, so whatever the entry opens is left to other answers.
inline void chooseInMenu(const QStringList &path)
{
    auto *timer = new QTimer(answerers());
    timer->setInterval(20);
    auto step = std::make_shared<int>(0);
    auto missing = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, path, step, missing] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        QAction *entry = nullptr;
        for (QAction *a : menu->actions())
            if (a->text() == path[*step])
                entry = a;
        if (!entry) {
            // A submenu on its way shows within a few ticks; a menu up for five seconds
            // without the entry has none: close it so the right press returns and the
            // test fails.
            if (++*missing > 250) {
                timer->stop();
                timer->deleteLater();
                while (QWidget *popup = QApplication::activePopupWidget())
                    popup->close();
            }
            return;
        }
        menu->setActiveAction(entry);
        if (entry->menu() && *step + 1 < path.size()) {
            ++*step;
            QTest::keyClick(menu, Qt::Key_Right);
            return;
        }
        timer->stop();
        timer->deleteLater();
        QTest::keyClick(menu, Qt::Key_Return);
    });
    timer->start();
}

// A right press and release at p, as the mouse sends them; the press runs the menu.
inline void rightClick(QWidget *w, const QPoint &p)
{
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(p), w->mapToGlobal(QPointF(p)), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(p), w->mapToGlobal(QPointF(p)), Qt::RightButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
}

// Right-clicks p and chooses path in the menu that opens.
inline void chooseAt(QWidget *w, const QPoint &p, const QStringList &path)
{
    chooseInMenu(path);
    rightClick(w, p);
}

// Land of a cell as (id, z); statics of a cell as (id, z, hue) in drawing order.
inline QPair<int, int> landAt(GLMapWidget &v, int x, int y)
{
    const Tile t = v.blockCache().land(x, y);
    return {t.id(), t.z()};
}
inline QList<QList<int>> staticsAt(GLMapWidget &v, int x, int y)
{
    QList<QList<int>> out;
    for (const Tile &t : v.blockCache().statics(x, y))
        out << QList<int>{t.id(), t.z(), t.hue()};
    return out;
}

inline GLMapWidget::StaticSelection oneStatic(int x, int y, int z, int id)
{
    GLMapWidget::StaticSelection s;
    s[x][y][z] = {id};
    return s;
}

} // namespace menufixture
