#include "app/mainwindow.h"

#include <QApplication>
#include <QPixmap>
#include <QSplashScreen>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessaryn"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessaryn"));

    auto *splash = new QSplashScreen(QPixmap(QStringLiteral(":/images/tz.png")));
    splash->show();
    app.processEvents();

    auto *window = new mainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    splash->finish(window);
    delete splash;

    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, &QCoreApplication::quit);
    return app.exec();
}
