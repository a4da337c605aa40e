#pragma once
#include "tools/palettefile.h"

#include <QListWidgetItem>
#include <QString>
#include <QTimer>
#include <QTreeWidgetItem>
#include <QWidget>

#include <array>
#include <map>
#include <memory>
#include <vector>

class ArtStore;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QSplitter;
class QTabWidget;
class QTreeWidget;
class WaitCursor;
namespace Ui {
class PaletteNew;
}

// A category of a palette tree: a tile set (group -1, never holds tiles) or a group (0 and up).
class PaletteGroupItem : public QTreeWidgetItem
{
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;
    PaletteGroupItem(QTreeWidget *tree, int group);
    PaletteGroupItem(QTreeWidgetItem *parent, int group);
    int group() const { return m_group; }

private:
    int m_group;
};

// One entry of the shown group in an icon view. Its icon is decoded after it is added.
class PaletteTileItem : public QListWidgetItem
{
public:
    static constexpr int Type = QListWidgetItem::UserType + 1;
    PaletteTileItem(QListWidget *view, const PaletteEntry &entry);
    std::vector<int> tiles() const { return m_tiles; }
    int iconId() const { return m_iconId; }
    bool iconPending() const { return m_iconPending; }

private:
    friend class PaletteNew;
    std::vector<int> m_tiles;
    int m_iconId;
    bool m_iconPending = true;
};

// The tile palette of the palette dock. Reads a palette XML file that sorts tile ids into tile
// sets and groups, one tab per kind (statics on tab 0, land on tab 1), and offers its entries
// for painting together with the altitude text.
//
// The palette file is read by PaletteFile (palettefile.h), which bounds its size and nesting.
class PaletteNew : public QWidget
{
    Q_OBJECT
public:
    enum Kind { Land = 0, Statics = 1 };

    explicit PaletteNew(QWidget *parent = nullptr);
    ~PaletteNew() override;

    QString fileName() const { return m_file; }
    // Why the last setFile left the palette empty; empty when it read the file.
    QString lastError() const { return m_error; }

    // Simplified and upper-cased; "0X" starts a hexadecimal number, anything else is decimal;
    // text that is not a number reads as 0.
    static int parseNumber(const QString &text);

    // The group shown in the kind's icon view, -1 when none.
    int shownGroup(int kind) const { return m_shown[kind]; }
    // The entries read for a group of a kind (empty for an unknown group).
    std::vector<PaletteEntry> entries(int kind, int group) const;
    // Icons of the shown groups that still wait to be decoded.
    int pendingIcons() const;

    // The widgets of the form.
    QGroupBox *groupBox1;
    QLineEdit *lineAlt;
    QTabWidget *tabWidget7;
    QSplitter *splitter1, *splitter2;
    QTreeWidget *listStatic, *listLand;
    QListWidget *iconStatic, *iconLand;

public slots:
    virtual void setFile(const QString &fileName);
    virtual void doubleClickedLand(QListWidgetItem *item);
    virtual void doubleClickedStatic(QListWidgetItem *item);
    virtual void clicked(QTreeWidgetItem *item);
    virtual void paintLand(QListWidgetItem *item);
    virtual void paintStatic(QListWidgetItem *item);
    virtual void altChange(const QString &text);
    virtual void languageChange();

signals:
    void tileselect(int type, std::vector<int> tiles, QString alt);
    void paintsig(int type, std::vector<int> tiles, QString alt);
    void AltChange(QString alt);

protected:
    // Fills the kind's tree and entries from what the file held: one item per category, in
    // document order, each under its parent.
    virtual void populateBox(PaletteContent &content, int kind);
    void changeEvent(QEvent *event) override;

private slots:
    // Decodes icons of the shown groups for a few milliseconds, visible items first.
    void decodeIconBatch();

private:
    struct IconQueue {
        std::vector<PaletteTileItem *> items; // in view order
        size_t next = 0;                      // items before this one are all decoded
        int remaining = 0;                    // items still waiting
    };

    QTreeWidget *tree(int kind) const { return kind == Land ? listLand : listStatic; }
    QListWidget *iconView(int kind) const { return kind == Land ? iconLand : iconStatic; }
    void clearIcons(int kind);
    void decodeIcon(int kind, PaletteTileItem *item);
    void emitTile(void (PaletteNew::*signal)(int, std::vector<int>, QString), int type,
                  QListWidgetItem *item);

    std::unique_ptr<Ui::PaletteNew> m_ui;
    std::unique_ptr<ArtStore> m_art;
    QString m_file;
    QString m_error;
    QString m_fileDir;
    std::array<int, 2> m_shown{-1, -1};
    std::array<std::map<int, std::vector<PaletteEntry>>, 2> m_entries;
    std::array<IconQueue, 2> m_queues;
    QTimer m_decodeTimer;
    std::unique_ptr<WaitCursor> m_waitCursor; // held while icons wait to be decoded
};
