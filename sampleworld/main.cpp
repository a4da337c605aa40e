// tessaryn-sampleworld: writes a complete set of sample client files.
#include "sampleworld/sampleworld.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaryn-sampleworld"));
    QTextStream out(stdout), err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes sample client data files for Tessaryn."));
    parser.addHelpOption();
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Output directory."),
                                       QStringLiteral("DIR"), QStringLiteral("./sample-world"));
    const QCommandLineOption facetsOption(QStringLiteral("facets"),
                                          QStringLiteral("Comma-separated facets to write (0-3)."),
                                          QStringLiteral("LIST"), QStringLiteral("0,1,2,3"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the world."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    parser.addOptions({outOption, facetsOption, seedOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        err << "tessaryn-sampleworld: unexpected argument " << parser.positionalArguments().first() << "\n";
        return 2;
    }

    sampleworld::Options options;
    options.outDir = parser.value(outOption);
    options.facets.clear();
    for (const QString &part : parser.value(facetsOption).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int facet = part.trimmed().toInt(&ok);
        if (!ok || facet < 0 || facet > 3) {
            err << "tessaryn-sampleworld: invalid facet \"" << part << "\" (facets are 0 to 3)\n";
            return 2;
        }
        options.facets.append(facet);
    }
    bool seedOk = false;
    options.seed = parser.value(seedOption).toUInt(&seedOk, 0);
    if (!seedOk) {
        err << "tessaryn-sampleworld: invalid seed \"" << parser.value(seedOption) << "\"\n";
        return 2;
    }

    QElapsedTimer timer;
    timer.start();
    QString error;
    QList<sampleworld::WrittenFile> written;
    if (!sampleworld::write(options, &error, &written)) {
        err << "tessaryn-sampleworld: " << error << "\n";
        return 1;
    }
    qint64 total = 0;
    for (const sampleworld::WrittenFile &f : written) {
        out << qSetFieldWidth(24) << f.name << qSetFieldWidth(12) << f.size << qSetFieldWidth(0) << " bytes\n";
        total += f.size;
    }
    out << "wrote " << written.size() << " files, " << total << " bytes, into "
        << QDir(options.outDir).absolutePath() << " in " << timer.elapsed() << " ms\n";
    return 0;
}
