// Turns a dialog template into Qt widgets: every control a direct child of the dialog at the
// place the template gives it, in dialog units of the dialog's font.
#ifndef BRINDLE_PLATFORM_QT_DIALOG_BUILDER_H
#define BRINDLE_PLATFORM_QT_DIALOG_BUILDER_H

#include <map>
#include <vector>

#include <QIcon>
#include <QRect>

#include "res/dialog_template.h"

class QDialog;
class QFont;
class QWidget;

// A horizontal dialog unit is a quarter of the font's average letter width, a vertical one an
// eighth of its height.
struct DialogUnits {
    int baseWidth = 0;
    int baseHeight = 0;

    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(int x, int y, int w, int h) const;
};

DialogUnits DialogUnitsOf(const QFont& font);

struct BuiltControl {
    const res::ControlTemplate* control;
    QWidget* widget;
};

struct BuiltDialog {
    DialogUnits units;
    std::vector<BuiltControl> controls; // template order
    std::map<int, QWidget*> byId; // without IDC_STATIC
};

// Sizes, titles and fills `dialog`; the dialog's current font sets the scale.
BuiltDialog BuildDialog(QDialog& dialog, const res::DialogTemplate& dialogTemplate);

// Both sizes of an icon resource; a null icon for an unknown id.
QIcon LoadIconResource(int iconId);

#endif
