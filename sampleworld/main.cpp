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
                                          QStringLiteral("Comma-separated facets to write (early 0-3, later 0-5; "
                                                         "default: all of the layout)."),
                                          QStringLiteral("LIST"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the world."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption layoutOption(QStringLiteral("layout"),
                                          QStringLiteral("Client generation: early (6144-wide, MUL files) or later "
                                                         "(7168-wide, UOP maps and art, facets 4 and 5)."),
                                          QStringLiteral("early|later"), QStringLiteral("early"));
    const QCommandLineOption mulMapsOption(QStringLiteral("mul-maps"),
                                           QStringLiteral("Later layout: comma-separated facets whose map is a plain "
                                                          "map<N>.mul instead of a UOP container."),
                                           QStringLiteral("LIST"));
    parser.addOptions({outOption, facetsOption, seedOption, layoutOption, mulMapsOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        err << "tessaryn-sampleworld: unexpected argument " << parser.positionalArguments().first() << "\n";
        return 2;
    }

    sampleworld::Options options;
    options.outDir = parser.value(outOption);
    const QString layout = parser.value(layoutOption);
    if (layout == QLatin1String("later")) {
        options.layout = sampleworld::Layout::Later;
    } else if (layout != QLatin1String("early")) {
        err << "tessaryn-sampleworld: invalid layout \"" << layout << "\" (early or later)\n";
        return 2;
    }
    const QList<int> known = sampleworld::layoutFacets(options.layout);
    const auto facetList = [&](const QString &text, QList<int> *out) {
        for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const int facet = part.trimmed().toInt(&ok);
            if (!ok || !known.contains(facet)) {
                err << "tessaryn-sampleworld: invalid facet \"" << part << "\" (facets are 0 to " << known.last()
                    << ")\n";
                return false;
            }
            out->append(facet);
        }
        return true;
    };
    options.facets = known;
    if (parser.isSet(facetsOption)) {
        options.facets.clear();
        if (!facetList(parser.value(facetsOption), &options.facets))
            return 2;
    }
    if (!facetList(parser.value(mulMapsOption), &options.mulMaps))
        return 2;
    if (!options.mulMaps.isEmpty() && options.layout != sampleworld::Layout::Later) {
        err << "tessaryn-sampleworld: --mul-maps needs --layout later\n";
        return 2;
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
