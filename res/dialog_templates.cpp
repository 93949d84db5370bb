#include "dialog_template.h"

#include <cstddef>
#include <iterator>

#include "resource.h"
#include "resource_script.h" // generated from brindle.rc

namespace res {
namespace {

constexpr std::size_t kNone = std::size(script::kDialogs);

constexpr std::size_t IndexOf(int dialogId)
{
    for (std::size_t i = 0; i < std::size(script::kDialogs); ++i) {
        if (script::kDialogs[i].id == dialogId)
            return i;
    }
    return kNone;
}

static_assert(IndexOf(IDD_RELAY_DIALOG) != kNone && IndexOf(IDD_ABOUTBOX) != kNone, "brindle.rc holds both dialogs");

} // namespace

const DialogTemplate& RelayDialogTemplate()
{
    return script::kDialogs[IndexOf(IDD_RELAY_DIALOG)];
}

const DialogTemplate* FindDialogTemplate(int dialogId)
{
    const std::size_t index = IndexOf(dialogId);
    return index == kNone ? nullptr : &script::kDialogs[index];
}

} // namespace res
