#include "app/commandline.h"
#include "world/datadirectory.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine out;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tessaryn, a map editor for the world files of the game client.\n"
                       "Without DATA_DIR it opens the client directory chosen under "
                       "Edit > Settings > UO Directory."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version."));
    const QCommandLineOption facet(QStringLiteral("facet"),
                                   QStringLiteral("Opens facet N: 0 Felucca, 1 Trammel, 2 Ilshenar, 3 Malas."),
                                   QStringLiteral("N"));
    const QCommandLineOption position(QStringLiteral("goto"), QStringLiteral("Centres the view on cell X,Y."),
                                      QStringLiteral("X,Y"));
    const QCommandLineOption palette(QStringLiteral("palette"),
                                     QStringLiteral("Reads the palette from FILE for this run."), QStringLiteral("FILE"));
    parser.addOptions({help, version, facet, position, palette});
    parser.addPositionalArgument(QStringLiteral("DATA_DIR"),
                                 QStringLiteral("Client data directory to open for this run; the stored choice "
                                                "stays as it is."),
                                 QStringLiteral("[DATA_DIR]"));

    const auto refuse = [&out](const QString &why) {
        out.outcome = CommandLine::Refuse;
        out.message = QStringLiteral("tessaryn: ") + why + QStringLiteral("\nTry 'tessaryn --help'.");
        return out;
    };
    if (!parser.parse(arguments)) {
        out.unreadable = true;
        return refuse(parser.errorText());
    }
    if (parser.isSet(help)) {
        out.outcome = CommandLine::ShowHelp;
        // Read before the application object exists, the usage line names no program.
        static const QRegularExpression usage(QStringLiteral("^Usage: \\S+"));
        out.message = parser.helpText().replace(usage, QStringLiteral("Usage: tessaryn"));
        return out;
    }
    if (parser.isSet(version)) {
        out.outcome = CommandLine::ShowVersion;
        out.message = QStringLiteral("Tessaryn " TESSARYN_VERSION "\n");
        return out;
    }

    const QStringList dirs = parser.positionalArguments();
    if (dirs.size() > 1)
        return refuse(QStringLiteral("only one data directory can be opened, not %1").arg(dirs.size()));
    if (!dirs.isEmpty()) {
        const QFileInfo info(dirs.first());
        if (!info.exists())
            return refuse(QStringLiteral("the data directory %1 does not exist").arg(dirs.first()));
        if (!info.isDir())
            return refuse(QStringLiteral("%1 is not a directory").arg(dirs.first()));
        out.dataDir = QDir::cleanPath(info.absoluteFilePath());
    }
    if (parser.isSet(facet)) {
        bool ok = false;
        const int n = parser.value(facet).toInt(&ok);
        if (!ok || n < 0 || facetBlocksX(n) <= 0)
            return refuse(QStringLiteral("invalid facet \"%1\" (facets are 0 Felucca, 1 Trammel, 2 Ilshenar, 3 Malas)")
                              .arg(parser.value(facet)));
        out.start.facet = n;
    }
    if (parser.isSet(position)) {
        static const QRegularExpression pair(QStringLiteral("^\\s*(\\d{1,6})\\s*,\\s*(\\d{1,6})\\s*$"));
        const QRegularExpressionMatch m = pair.match(parser.value(position));
        if (!m.hasMatch())
            return refuse(QStringLiteral("invalid position \"%1\" for --goto (expected X,Y, for example 680,48)")
                              .arg(parser.value(position)));
        out.start.position = QPoint(m.captured(1).toInt(), m.captured(2).toInt());
    }
    if (parser.isSet(palette)) {
        const QFileInfo info(parser.value(palette));
        if (!info.isFile())
            return refuse(QStringLiteral("the palette file %1 does not exist").arg(parser.value(palette)));
        out.start.paletteFile = info.absoluteFilePath();
    }
    return out;
}
