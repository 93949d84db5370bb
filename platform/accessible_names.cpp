#include "platform/accessible_names.h"

#include "res/resource.h"

using namespace res;

namespace {

bool IsLabel(const ControlTemplate& control)
{
    return control.kind == ControlKind::StaticText && control.id == IDC_STATIC;
}

bool Contains(const ControlTemplate& box, const ControlTemplate& control)
{
    return control.x >= box.x && control.y >= box.y && control.x + control.w <= box.x + box.w
        && control.y + control.h <= box.y + box.h;
}

bool HasOwnText(const ControlTemplate& control)
{
    return control.kind == ControlKind::AutoCheckBox || control.kind == ControlKind::PushButton
        || control.kind == ControlKind::DefaultPushButton;
}

} // namespace

std::string CaptionName(const char* text)
{
    std::string name(text);
    const auto first = name.find_first_not_of(" \t");
    const auto last = name.find_last_not_of(" \t");
    name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    if (!name.empty() && name.back() == ':')
        name.pop_back();
    return name;
}

const ControlTemplate* GroupOf(std::span<const ControlTemplate> controls, const ControlTemplate& control)
{
    const ControlTemplate* group = nullptr;
    for (const ControlTemplate& box : controls) {
        if (box.kind != ControlKind::GroupBox || &box == &control || !Contains(box, control))
            continue;
        if (!group || box.w * box.h < group->w * group->h)
            group = &box;
    }
    return group;
}

const ControlTemplate* LabelOf(std::span<const ControlTemplate> controls, std::size_t index)
{
    const ControlTemplate& field = controls[index];
    const ControlTemplate* nearest = nullptr;
    for (const ControlTemplate& label : controls) {
        if (!IsLabel(label))
            continue;
        const int middle = label.y + label.h / 2;
        const bool sameRow = middle >= field.y && middle < field.y + field.h;
        if (sameRow && label.x + label.w <= field.x && (!nearest || label.x + label.w > nearest->x + nearest->w))
            nearest = &label;
    }
    if (nearest)
        return nearest;
    for (std::size_t i = index; i-- > 0;) {
        if (IsLabel(controls[i]))
            return &controls[i];
    }
    return nullptr;
}

bool IsStatusLine(const ControlTemplate& control)
{
    return control.kind == ControlKind::StaticText && control.id != IDC_STATIC;
}

std::map<const ControlTemplate*, std::string> AccessibleNames(const DialogTemplate& dialogTemplate)
{
    const std::span<const ControlTemplate> controls = dialogTemplate.controls;
    std::map<const ControlTemplate*, std::string> names;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlTemplate& control = controls[i];
        if (control.kind == ControlKind::Edit || control.kind == ControlKind::MultiLineEdit) {
            if (const ControlTemplate* label = LabelOf(controls, i))
                names[&control] = CaptionName(label->text);
        } else if (HasOwnText(control)) {
            names[&control] = CaptionName(control.text);
        }
    }

    std::map<std::string, int> uses;
    for (const auto& [control, name] : names)
        ++uses[name];
    for (auto it = names.begin(); it != names.end();) {
        const ControlTemplate& control = *it->first;
        // A view's caption says only which way its traffic goes; its group says whose it is.
        if (uses[it->second] > 1 || control.kind == ControlKind::MultiLineEdit) {
            if (const ControlTemplate* group = GroupOf(controls, control))
                it->second = std::string(group->text) + ' ' + it->second;
        } else if (HasOwnText(control)) {
            // Its visible text names it already.
            it = names.erase(it);
            continue;
        }
        ++it;
    }
    return names;
}
