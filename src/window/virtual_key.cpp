// Qt keys to Windows virtual-key codes.
#include "window/virtual_key.h"

#include <Qt>

namespace {

// The scan code of the key left of 1 on each platform's keyboard.
bool IsKeyLeftOfOne(uint32_t scanCode)
{
#if defined(Q_OS_WIN)
    return scanCode == 0x29;
#elif defined(Q_OS_MACOS)
    return scanCode == 50;
#else
    return scanCode == 49;  // X11 / evdev keycode of the TLDE key
#endif
}

}  // namespace

int VirtualKey(int qtKey, uint32_t nativeScanCode)
{
    if (nativeScanCode != 0 && IsKeyLeftOfOne(nativeScanCode))
        return 192;
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return 'A' + (qtKey - Qt::Key_A);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return '0' + (qtKey - Qt::Key_0);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 112 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    // Without a scan code (synthetic events), the characters of the key left of 1
    // on common layouts.
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
    case Qt::Key_twosuperior:
    case Qt::Key_section:
    case Qt::Key_onehalf:
    case Qt::Key_AsciiCircum:
    case Qt::Key_Dead_Circumflex:
    case Qt::Key_Dead_Grave: return nativeScanCode == 0 ? 192 : 256;
    default: return 256;
    }
}
