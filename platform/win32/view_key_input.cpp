#include "platform/win32/view_key_input.h"

#include <array>

namespace {

bool Held(int key)
{
    return (GetKeyState(key) & 0x8000) != 0;
}

} // namespace

ViewKey ViewKeyOf(WPARAM virtualKey)
{
    struct Pair {
        WPARAM virtualKey;
        ViewKey key;
    };
    static constexpr std::array kKeys{Pair{VK_LEFT, ViewKey::Left}, Pair{VK_RIGHT, ViewKey::Right},
        Pair{VK_UP, ViewKey::Up}, Pair{VK_DOWN, ViewKey::Down}, Pair{VK_PRIOR, ViewKey::PageUp},
        Pair{VK_NEXT, ViewKey::PageDown}, Pair{VK_HOME, ViewKey::Home}, Pair{VK_END, ViewKey::End},
        Pair{VK_INSERT, ViewKey::Insert}, Pair{'A', ViewKey::A}, Pair{'C', ViewKey::C}, Pair{'F', ViewKey::F},
        Pair{'G', ViewKey::G}, Pair{'H', ViewKey::H}, Pair{VK_F3, ViewKey::F3}, Pair{VK_F10, ViewKey::F10},
        Pair{VK_RETURN, ViewKey::Enter}, Pair{VK_ESCAPE, ViewKey::Escape}};
    for (const Pair& pair : kKeys)
        if (pair.virtualKey == virtualKey)
            return pair.key;
    return ViewKey::Other;
}

unsigned ViewModifiersHeld()
{
    return (Held(VK_SHIFT) ? kShiftModifier : 0u) | (Held(VK_CONTROL) ? kControlModifier : 0u)
        | (Held(VK_MENU) ? kAltModifier : 0u);
}
