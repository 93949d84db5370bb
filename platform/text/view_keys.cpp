#include "platform/text/view_keys.h"

#include <array>

namespace {

struct MotionKey {
    ViewKey key;
    bool control;
    Move move;
};

// Shift with any of these extends the selection instead of moving both of its ends.
constexpr std::array kMotions{
    MotionKey{ViewKey::Left, false, Move::PreviousChar},
    MotionKey{ViewKey::Right, false, Move::NextChar},
    MotionKey{ViewKey::Left, true, Move::PreviousWord},
    MotionKey{ViewKey::Right, true, Move::NextWord},
    MotionKey{ViewKey::Up, false, Move::PreviousLine},
    MotionKey{ViewKey::Down, false, Move::NextLine},
    MotionKey{ViewKey::PageUp, false, Move::PreviousPage},
    MotionKey{ViewKey::PageDown, false, Move::NextPage},
    MotionKey{ViewKey::Home, false, Move::StartOfLine},
    MotionKey{ViewKey::End, false, Move::EndOfLine},
    MotionKey{ViewKey::Home, true, Move::StartOfText},
    MotionKey{ViewKey::End, true, Move::EndOfText},
};

struct CommandKey {
    ViewKey key;
    unsigned modifiers;
    ViewCommand command;
};

constexpr std::array kCommands{
    CommandKey{ViewKey::C, kControlModifier, ViewCommand::Copy},
    CommandKey{ViewKey::Insert, kControlModifier, ViewCommand::Copy},
    CommandKey{ViewKey::A, kControlModifier, ViewCommand::SelectAll},
    CommandKey{ViewKey::F, kControlModifier, ViewCommand::Find},
    CommandKey{ViewKey::F3, kNoModifier, ViewCommand::FindNext},
    CommandKey{ViewKey::F3, kShiftModifier, ViewCommand::FindPrevious},
    CommandKey{ViewKey::G, kControlModifier, ViewCommand::FindNext},
    CommandKey{ViewKey::G, kControlModifier | kShiftModifier, ViewCommand::FindPrevious},
};

} // namespace

KeyAction keyAction(ViewKey key, unsigned modifiers, bool findOpen)
{
    KeyAction action;
    if (modifiers & kAltModifier)
        return action;
    const bool control = (modifiers & kControlModifier) != 0;
    for (const MotionKey& motion : kMotions) {
        if (motion.key == key && motion.control == control) {
            action.kind = KeyAction::Kind::Motion;
            action.move = motion.move;
            action.select = (modifiers & kShiftModifier) != 0;
            return action;
        }
    }
    for (const CommandKey& command : kCommands) {
        if (command.key == key && command.modifiers == modifiers) {
            action.kind = KeyAction::Kind::Command;
            action.command = command.command;
            return action;
        }
    }
    if (key == ViewKey::Enter && !control) {
        action.kind = KeyAction::Kind::Swallow;
    } else if (key == ViewKey::Escape && findOpen && modifiers == kNoModifier) {
        // An open find bar goes first; the next Escape is the dialog's again.
        action.kind = KeyAction::Kind::Command;
        action.command = ViewCommand::CloseFind;
    }
    return action;
}
