#pragma once
// What painting and the Insert entries need beside the view itself: the height text, the
// reading of typed tile numbers, and the question that asks for a tile id.
#include <QString>

#include <functional>
#include <optional>

class QWidget;
struct HeightChange;

namespace painting {

// The height text turned into a new height from base: empty keeps base; "+N" raises by N;
// "--N" lowers by N; anything else is the absolute height (so "-5" sets -5). Numbers are
// decimal, text that is no number reads as 0, and the result is limited to -128..127.
int applyHeightText(const QString &text, int base);
// The same rule as the document applies it to every cell it paints.
HeightChange heightChange(const QString &text);

// A typed tile number: white space simplified and upper-cased, "0X" then hexadecimal digits,
// otherwise decimal; text that is no number reads as 0 (the palette reads its ids alike).
int readTileNumber(const QString &text);

// Shows a modal question captioned `caption` over parent and gives the text entered, or
// nothing when it was cancelled: a QueryWidget, unless another question has been installed
// with setAsker (nullptr goes back to the QueryWidget).
using Asker = std::function<std::optional<QString>(QWidget *parent, const QString &caption)>;
void setAsker(Asker asker);
std::optional<QString> ask(QWidget *parent, const QString &caption);
// ask for a tile number: nothing when cancelled, and when the text is no number, nothing
// either after a box (not waited for) that says so.
std::optional<int> askNumber(QWidget *parent, const QString &caption);
// That box, and its text.
void showNotANumber(QWidget *parent, const QString &caption, const QString &typed);
QString notANumberText(const QString &typed);

} // namespace painting
