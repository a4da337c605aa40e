#include "tools/palettefile.h"
#include "tiles/tilenumber.h"

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

namespace {

// The largest tile id of each kind: land ids index 16384 land tiles, statics are 16-bit.
constexpr int kLastTile[2] = {0x3FFF, 0xFFFF};

// Out-of-range numbers would paint tiles that do not exist (or -1, the empty tile), so they
// read as tile 0 like text that is not a number.
int tileNumber(const QString &text, int kind)
{
    const int id = readTileNumber(text);
    return id < 0 || id > kLastTile[kind] ? 0 : id;
}

// What an open element means to the reader. The stack of these replaces recursion over the
// file's nesting, and its depth is bounded.
enum class Role {
    Root,       // the document element: its TILESETS children count
    Tilesets,   // its STATICS and LAND children are sections
    Section,    // a kind's section: only tile sets count here
    Category,   // a tile set or a group
    Tile,       // a TILE entry: its text (with that of anything inside) is the number
    Random,     // a RANDOM entry: its TILE children are the choices
    RandomTile, // one TILE of a RANDOM
    Text,       // inside a TILE: only its text counts
    Skip,       // means nothing, nor does anything inside
};

struct Frame {
    Role role = Role::Skip;
    int kind = 0;
    int category = -1; // index in the kind's categories; -1 when none
    int group = -1;    // the category's group, -1 for a tile set
    QString text;      // gathered text of a TILE
    PaletteEntry entry; // a RANDOM being read
};

bool fail(QString *error, const QString &path, const QString &reason)
{
    if (error)
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
}

} // namespace

bool PaletteFile::read(const QString &path, PaletteContent *content, QString *error,
                       const std::function<bool()> &cancelled)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, path, file.errorString());
    if (file.size() > MaxBytes)
        return fail(error, path, QStringLiteral("the file is larger than %1 MiB").arg(MaxBytes >> 20));
    const QByteArray bytes = file.read(MaxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(error, path, file.errorString());
    return parse(bytes, path, content, error, cancelled);
}

bool PaletteFile::parse(const QByteArray &bytes, const QString &path, PaletteContent *content, QString *error,
                        const std::function<bool()> &cancelled)
{
    if (error)
        error->clear();
    if (bytes.size() > MaxBytes)
        return fail(error, path, QStringLiteral("the file is larger than %1 MiB").arg(MaxBytes >> 20));

    PaletteContent read;
    std::array<int, 2> nextGroup{0, 0};
    std::vector<Frame> stack;
    stack.reserve(MaxDepth);
    QXmlStreamReader xml(bytes);
    bool rootSeen = false;
    qint64 tokens = 0;

    const auto where = [&xml] {
        return QStringLiteral(" (line %1, column %2)").arg(xml.lineNumber()).arg(xml.columnNumber());
    };

    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (cancelled && (++tokens & 0xFFF) == 0 && cancelled())
            return false;
        if (token == QXmlStreamReader::StartElement) {
            if (int(stack.size()) >= MaxDepth)
                return fail(error, path, QStringLiteral("its elements are nested more than %1 deep").arg(MaxDepth) + where());
            const QString tag = xml.qualifiedName().toString().toUpper();
            Frame f;
            f.role = Role::Skip;
            if (stack.empty()) {
                f.role = rootSeen ? Role::Skip : Role::Root;
                rootSeen = true;
            } else {
                Frame &top = stack.back();
                f.kind = top.kind;
                switch (top.role) {
                case Role::Root:
                    if (tag == QLatin1String("TILESETS"))
                        f.role = Role::Tilesets;
                    break;
                case Role::Tilesets:
                    if (tag == QLatin1String("STATICS") || tag == QLatin1String("LAND")) {
                        f.role = Role::Section;
                        f.kind = tag == QLatin1String("LAND") ? 0 : 1;
                    }
                    break;
                case Role::Section:
                case Role::Category: {
                    auto &categories = read.categories[size_t(f.kind)];
                    const QXmlStreamAttributes attributes = xml.attributes();
                    if (tag == QLatin1String("TILESET")) {
                        // A tile set is a top-level category wherever it stands.
                        categories.push_back({-1, -1, attributes.value(QLatin1String("name")).toString(),
                                              attributes.value(QLatin1String("image")).toString().simplified()});
                        f.role = Role::Category;
                        f.category = int(categories.size()) - 1;
                    } else if (top.category < 0) {
                        // Groups and tiles outside any tile set have no category to live in.
                    } else if (tag == QLatin1String("GROUP")) {
                        categories.push_back({top.category, nextGroup[size_t(f.kind)]++,
                                              attributes.value(QLatin1String("name")).toString(), QString()});
                        f.role = Role::Category;
                        f.category = int(categories.size()) - 1;
                        f.group = categories.back().group;
                    } else if (top.group >= 0 && tag == QLatin1String("TILE")) {
                        // Entries directly inside a tile set would belong to group -1, never shown.
                        f.role = Role::Tile;
                        f.group = top.group;
                    } else if (top.group >= 0 && tag == QLatin1String("RANDOM")) {
                        f.role = Role::Random;
                        f.group = top.group;
                        f.entry.label = attributes.value(QLatin1String("name")).toString();
                        f.entry.id = tileNumber(attributes.hasAttribute(QLatin1String("image"))
                                                    ? attributes.value(QLatin1String("image")).toString()
                                                    : QStringLiteral("0"),
                                                f.kind);
                    }
                    break;
                }
                case Role::Random:
                    if (tag == QLatin1String("TILE"))
                        f.role = Role::RandomTile;
                    break;
                case Role::Tile:
                case Role::RandomTile:
                case Role::Text:
                    f.role = Role::Text;
                    break;
                case Role::Skip:
                    break;
                }
            }
            stack.push_back(std::move(f));
        } else if (token == QXmlStreamReader::Characters) {
            // A TILE's number is all the text inside it, that of nested elements included.
            for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
                if (it->role == Role::Text)
                    continue;
                if (it->role == Role::Tile || it->role == Role::RandomTile)
                    it->text += xml.text();
                break;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (stack.empty())
                break; // the parser reports the mismatch
            Frame f = std::move(stack.back());
            stack.pop_back();
            if (f.role == Role::Tile) {
                PaletteEntry entry;
                entry.id = tileNumber(f.text, f.kind);
                entry.tiles = {entry.id};
                entry.label = QLatin1String("0x") + QString::number(entry.id, 16);
                read.entries[size_t(f.kind)][f.group].push_back(std::move(entry));
            } else if (f.role == Role::RandomTile && !stack.empty()) {
                stack.back().entry.tiles.push_back(tileNumber(f.text, f.kind));
            } else if (f.role == Role::Random) {
                read.entries[size_t(f.kind)][f.group].push_back(std::move(f.entry));
            }
        }
    }
    if (xml.hasError())
        return fail(error, path, xml.errorString() + where());
    if (!rootSeen)
        return fail(error, path, QStringLiteral("the file holds no XML element"));
    *content = std::move(read);
    return true;
}
