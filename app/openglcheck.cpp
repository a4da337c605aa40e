#include "app/openglcheck.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_1_1>
#include <QTimer>
#include <cstdio>

QString openGLProblem()
{
    const QString platform = QGuiApplication::platformName();
    QOpenGLContext context;
    context.setFormat(QSurfaceFormat::defaultFormat());
    if (!context.create())
        return QObject::tr("No OpenGL context could be made on the window system \"%1\".").arg(platform);
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return QObject::tr("An OpenGL context was made on the window system \"%1\", but it could not be used.")
            .arg(platform);
    QOpenGLFunctions_1_1 functions;
    const bool ok = functions.initializeOpenGLFunctions();
    const QSurfaceFormat made = context.format();
    context.doneCurrent();
    if (!ok)
        return QObject::tr("The OpenGL driver offers no OpenGL 1.1 functions (it made a version %1.%2 %3 context).")
            .arg(made.majorVersion())
            .arg(made.minorVersion())
            .arg(made.profile() == QSurfaceFormat::CoreProfile ? QObject::tr("core") : QObject::tr("compatibility"));
    return QString();
}

QString openGLProblemText(const QString &problem)
{
    return QObject::tr("Tessaryn cannot draw the map: it needs OpenGL, and none is available here.\n\n%1\n\n"
                       "To fix this, start Tessaryn on a desktop whose graphics driver offers OpenGL "
                       "(on Debian the Mesa drivers, package libgl1-mesa-dri). On a machine without a "
                       "screen, start it under a virtual X server: xvfb-run -a tessaryn. Qt's "
                       "\"offscreen\" platform (QT_QPA_PLATFORM=offscreen) has no OpenGL.")
        .arg(problem);
}

void reportOpenGLProblem(const QString &problem)
{
    const QString text = openGLProblemText(problem);
    std::fprintf(stderr, "tessaryn: %s\n", qPrintable(text));
    std::fflush(stderr);
    QMessageBox box(QMessageBox::Critical, QObject::tr("Tessaryn: no OpenGL"), text, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("noOpenGLBox"));
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("TESSARYN_UNATTENDED", &ok);
    if (ok && seconds >= 0)
        QTimer::singleShot(seconds * 1000, &box, [&box] {
            std::fprintf(stderr, "tessaryn: nobody answered the message; closing it\n");
            box.accept();
        });
    box.exec();
}
