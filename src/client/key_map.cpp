// The table from Qt's key codes to virtual-key codes.
#include "client/key_map.h"

int VirtualKeyOf(const TKeyEventCodes& event)
{
    const int key = event.QtKey;
    if (key >= qtkey::A && key <= qtkey::Z)
        return 'A' + (key - qtkey::A);
    if (event.Keypad) {
        // The number pad has codes of its own while it types digits.
        if (key >= qtkey::Digit0 && key <= qtkey::Digit9)
            return vk::Numpad0 + (key - qtkey::Digit0);
        switch (key) {
        case qtkey::Asterisk: return 106;
        case qtkey::Plus: return 107;
        case qtkey::Minus: return 109;
        case qtkey::Period:
        case qtkey::Comma: return 110;
        case qtkey::Slash: return 111;
        default: break;
        }
    }
    if (key >= qtkey::Digit0 && key <= qtkey::Digit9)
        return '0' + (key - qtkey::Digit0);
    // A digit key with Shift reports the character it types (US layout): the code is
    // still the digit's.
    constexpr char shiftedDigits[] = ")!@#$%^&*(";
    for (int d = 0; d < 10; ++d)
        if (key == shiftedDigits[d])
            return '0' + d;
    if (key >= qtkey::F1 && key <= qtkey::F24)
        return vk::F1 + (key - qtkey::F1);
    switch (key) {
    case qtkey::Backspace: return vk::Backspace;
    case qtkey::Return:
    case qtkey::Enter: return vk::Enter;
    case qtkey::Escape: return vk::Escape;
    case qtkey::Space: return vk::Space;
    case qtkey::PageUp: return vk::PageUp;
    case qtkey::PageDown: return vk::PageDown;
    case qtkey::End: return vk::End;
    case qtkey::Home: return vk::Home;
    case qtkey::Left: return vk::Left;
    case qtkey::Up: return vk::Up;
    case qtkey::Right: return vk::Right;
    case qtkey::Down: return vk::Down;
    case qtkey::QuoteLeft:
    case qtkey::AsciiTilde:
    case qtkey::TwoSuperior: return vk::Console;
    // Keys that only keep the movement books, as every key does.
    case qtkey::Tab:
    case qtkey::Backtab: return 9;
    case qtkey::Shift: return 16;
    case qtkey::Control: return 17;
    case qtkey::Alt: return 18;
    case qtkey::Pause: return 19;
    case qtkey::CapsLock: return 20;
    case qtkey::Print: return 44;
    case qtkey::Insert: return 45;
    case qtkey::Delete: return 46;
    case qtkey::Meta: return 91;
    case qtkey::Menu: return 93;
    case qtkey::NumLock: return 144;
    case qtkey::ScrollLock: return 145;
    case qtkey::Semicolon:
    case qtkey::Colon: return 186;
    case qtkey::Equal:
    case qtkey::Plus: return 187;
    case qtkey::Comma:
    case qtkey::Less: return 188;
    case qtkey::Minus:
    case qtkey::Underscore: return 189;
    case qtkey::Period:
    case qtkey::Greater: return 190;
    case qtkey::Slash:
    case qtkey::Question: return 191;
    case qtkey::BracketLeft:
    case qtkey::BraceLeft: return 219;
    case qtkey::Backslash:
    case qtkey::Bar: return 220;
    case qtkey::BracketRight:
    case qtkey::BraceRight: return 221;
    case qtkey::Apostrophe:
    case qtkey::QuoteDbl: return 222;
    default: break;
    }
    // Windows gives the code itself; X11 keycode 49 is the key left of 1 on any layout.
    if (event.NativeVirtualKey == 192 || event.NativeScanCode == 49)
        return vk::Console;
    return 0;
}
