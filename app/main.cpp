#include "app/commandline.h"
#include "app/mainwindow.h"
#include "world/terminationwatcher.h"
#include "app/openglcheck.h"
#include "world/datadirectory.h"

#include <QApplication>
#include <QPixmap>
#include <QSplashScreen>
#include <cstdio>

namespace {
// Prints what a command line that does not start the window answers; its exit status.
int answer(const CommandLine &line)
{
    if (line.outcome == CommandLine::Refuse) {
        std::fprintf(stderr, "%s\n", qPrintable(line.message));
        return 2;
    }
    std::fputs(qPrintable(line.message), stdout);
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    // --help, --version and a plainly wrong line are answered before anything needs a
    // display. Qt's own options (-platform, -style, ...) are unknown here; the line is read
    // again once the application object has taken them out.
    {
        QStringList raw;
        for (int i = 0; i < argc; ++i)
            raw << QString::fromLocal8Bit(argv[i]);
        const CommandLine early = parseCommandLine(raw);
        if (early.outcome != CommandLine::Run && !early.unreadable)
            return answer(early);
    }

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tessaryn"));
    QCoreApplication::setApplicationName(QStringLiteral("Tessaryn"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSARYN_VERSION));

    const CommandLine line = parseCommandLine(QCoreApplication::arguments());
    if (line.outcome != CommandLine::Run)
        return answer(line);

    // The map view cannot live without OpenGL; say so before any window depends on it.
    const QString problem = openGLProblem();
    if (!problem.isEmpty()) {
        reportOpenGLProblem(problem);
        return 1;
    }

    if (!line.dataDir.isEmpty())
        setRunDataDirectory(line.dataDir);

    auto *splash = new QSplashScreen(QPixmap(QStringLiteral(":/images/tz.png")));
    splash->show();
    app.processEvents();

    auto *window = new mainWindow(line.start);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    splash->finish(window);
    delete splash;

    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, &QCoreApplication::quit);
    // Ended while the window came up: the edits are already written out for the next run.
    if (TerminationWatcher::wasRequested()) {
        delete window;
        return 0;
    }
    return app.exec();
}
