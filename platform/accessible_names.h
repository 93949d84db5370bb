// What assistive tools call the controls of a dialog template, one rule for every window system:
// each field and view is named by the label in front of it, and a control whose name another
// control shares is qualified by its group box ("Local Client Sent bytes", "Local Server Auto"), as
// is each view, whose caption says only which way its traffic goes ("Local Client (to remote
// server)").
#ifndef BRINDLE_PLATFORM_ACCESSIBLE_NAMES_H
#define BRINDLE_PLATFORM_ACCESSIBLE_NAMES_H

#include <cstddef>
#include <map>
#include <span>
#include <string>

#include "res/dialog_template.h"

// The label in front of a field: the nearest one to its left on the same row, else the one before
// it in the template (the views have theirs above them). nullptr when there is none.
const res::ControlTemplate* LabelOf(std::span<const res::ControlTemplate> controls, std::size_t index);

// The smallest group box around the control, or nullptr.
const res::ControlTemplate* GroupOf(
    std::span<const res::ControlTemplate> controls, const res::ControlTemplate& control);

// What a label's text names: trimmed, without the colon it ends with.
std::string CaptionName(const char* text);

// A text the program rewrites while it runs (the status lines): a static text with an id.
bool IsStatusLine(const res::ControlTemplate& control);

// The names of the controls that have no text of their own, or share their text with another;
// controls whose own text names them uniquely are left out. Single-byte text as in the template.
std::map<const res::ControlTemplate*, std::string> AccessibleNames(const res::DialogTemplate& dialogTemplate);

#endif
