#include "platform/text/view_keys.h"

#include <array>

namespace {

struct Binding {
    ViewKey key;
    // Shift is not among a motion's: with any of them it extends the selection.
    unsigned modifiers;
    KeyAction action;
};

constexpr Binding motion(ViewKey key, unsigned modifiers, Move move)
{
    return {key, modifiers, {KeyAction::Kind::Motion, move, false, ViewCommand::None}};
}

constexpr Binding command(ViewKey key, unsigned modifiers, ViewCommand command)
{
    return {key, modifiers, {KeyAction::Kind::Command, Move::NextChar, false, command}};
}

constexpr std::array kBindings{
    motion(ViewKey::Left, kNoModifier, Move::PreviousChar),
    motion(ViewKey::Right, kNoModifier, Move::NextChar),
    motion(ViewKey::Left, kControlModifier, Move::PreviousWord),
    motion(ViewKey::Right, kControlModifier, Move::NextWord),
    motion(ViewKey::Up, kNoModifier, Move::PreviousLine),
    motion(ViewKey::Down, kNoModifier, Move::NextLine),
    motion(ViewKey::PageUp, kNoModifier, Move::PreviousPage),
    motion(ViewKey::PageDown, kNoModifier, Move::NextPage),
    motion(ViewKey::Home, kNoModifier, Move::StartOfLine),
    motion(ViewKey::End, kNoModifier, Move::EndOfLine),
    motion(ViewKey::Home, kControlModifier, Move::StartOfText),
    motion(ViewKey::End, kControlModifier, Move::EndOfText),
    command(ViewKey::C, kControlModifier, ViewCommand::Copy),
    command(ViewKey::Insert, kControlModifier, ViewCommand::Copy),
    command(ViewKey::A, kControlModifier, ViewCommand::SelectAll),
    command(ViewKey::F, kControlModifier, ViewCommand::Find),
    command(ViewKey::F3, kNoModifier, ViewCommand::FindNext),
    command(ViewKey::F3, kShiftModifier, ViewCommand::FindPrevious),
    command(ViewKey::G, kControlModifier, ViewCommand::FindNext),
    command(ViewKey::G, kControlModifier | kShiftModifier, ViewCommand::FindPrevious),
    command(ViewKey::F10, kShiftModifier, ViewCommand::ContextMenu),
};

} // namespace

KeyAction keyAction(ViewKey key, unsigned modifiers, bool findOpen)
{
    KeyAction action;
    if (modifiers & kAltModifier)
        return action;
    for (const Binding& binding : kBindings) {
        const bool isMotion = binding.action.kind == KeyAction::Kind::Motion;
        if (binding.key == key && binding.modifiers == (isMotion ? modifiers & ~kShiftModifier : modifiers)) {
            action = binding.action;
            action.select = isMotion && (modifiers & kShiftModifier) != 0;
            return action;
        }
    }
    if (key == ViewKey::Enter && !(modifiers & kControlModifier)) {
        action.kind = KeyAction::Kind::Swallow;
    } else if (key == ViewKey::Escape && findOpen && modifiers == kNoModifier) {
        // An open find bar goes first; the next Escape is the dialog's again.
        action.kind = KeyAction::Kind::Command;
        action.command = ViewCommand::CloseFind;
    }
    return action;
}

FindBarKey findBarKey(ViewKey key, unsigned modifiers)
{
    const KeyAction action = keyAction(key, modifiers, true);
    if (action.kind == KeyAction::Kind::Swallow)
        return modifiers & kShiftModifier ? FindBarKey::FindPrevious : FindBarKey::FindNext;
    if (action.kind != KeyAction::Kind::Command)
        return FindBarKey::NotMine;
    switch (action.command) {
    case ViewCommand::Find:
        return FindBarKey::FocusField;
    case ViewCommand::SelectAll:
        return FindBarKey::SelectField;
    case ViewCommand::FindNext:
        return FindBarKey::FindNext;
    case ViewCommand::FindPrevious:
        return FindBarKey::FindPrevious;
    case ViewCommand::CloseFind:
        return FindBarKey::Close;
    default:
        return FindBarKey::NotMine; // Ctrl+C and the rest are the field's own
    }
}
