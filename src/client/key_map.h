// Key codes: the Windows virtual-key codes the movement tables and the protocol are
// indexed by, and the one table from Qt's key codes to them, which every window
// (the game window, the map viewer) translates its key events through.
//
// Qt's key codes are plain integers; the few this table names are written here as
// constants of the same values, so the table needs no Qt (the game window checks
// them against Qt's own at compile time).
#pragma once

#include <cstdint>

// Windows virtual-key codes, as the movement tables and the protocol use them.
namespace vk {
inline constexpr int Backspace = 8, Enter = 13, Escape = 27, Space = 32;
inline constexpr int PageUp = 33, PageDown = 34;
inline constexpr int End = 35, Home = 36, Left = 37, Up = 38, Right = 39, Down = 40;
inline constexpr int T = 84, X = 88;
inline constexpr int Numpad0 = 96;
inline constexpr int F1 = 112, F2 = 113, F3 = 114, F4 = 115, F5 = 116, F6 = 117, F7 = 118, F10 = 121,
                     F12 = 123;
inline constexpr int Console = 192;  // the key left of 1 on a US keyboard
}  // namespace vk

// Qt's key codes (Qt::Key) the table reads: letters, digits and the punctuation are
// their Latin-1 codes, the other keys sit above 0x01000000.
namespace qtkey {
inline constexpr int Space = 0x20, Asterisk = 0x2a, Plus = 0x2b, Comma = 0x2c, Minus = 0x2d, Period = 0x2e,
                     Slash = 0x2f, Digit0 = 0x30, Digit9 = 0x39, Colon = 0x3a, Semicolon = 0x3b, Less = 0x3c,
                     Equal = 0x3d, Greater = 0x3e, Question = 0x3f, A = 0x41, Z = 0x5a, BracketLeft = 0x5b,
                     Backslash = 0x5c, BracketRight = 0x5d, Underscore = 0x5f, QuoteLeft = 0x60, BraceLeft = 0x7b,
                     Bar = 0x7c, BraceRight = 0x7d, AsciiTilde = 0x7e, QuoteDbl = 0x22, Apostrophe = 0x27,
                     TwoSuperior = 0xb2;
inline constexpr int Escape = 0x01000000, Tab = 0x01000001, Backtab = 0x01000002, Backspace = 0x01000003,
                     Return = 0x01000004, Enter = 0x01000005, Insert = 0x01000006, Delete = 0x01000007,
                     Pause = 0x01000008, Print = 0x01000009, Home = 0x01000010, End = 0x01000011,
                     Left = 0x01000012, Up = 0x01000013, Right = 0x01000014, Down = 0x01000015,
                     PageUp = 0x01000016, PageDown = 0x01000017, Shift = 0x01000020, Control = 0x01000021,
                     Meta = 0x01000022, Alt = 0x01000023, CapsLock = 0x01000024, NumLock = 0x01000025,
                     ScrollLock = 0x01000026, F1 = 0x01000030, F24 = 0x01000047, Menu = 0x01000055;
}  // namespace qtkey

// A key event as the window has it: Qt's key code, whether it came from the number
// pad, and the system's own codes for the key.
struct TKeyEventCodes {
    int QtKey = 0;
    bool Keypad = false;
    uint32_t NativeVirtualKey = 0;  // Windows gives the virtual-key code itself
    uint32_t NativeScanCode = 0;    // X11's keycode
};

// The virtual-key code of a key event; 0 (no key) for keys the game does not know,
// which the windows then pass on to nobody.
int VirtualKeyOf(const TKeyEventCodes& key);
