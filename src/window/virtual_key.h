// Key events translated to the Windows virtual-key codes that the movement tables
// and the protocol are indexed by.
#pragma once

#include <cstdint>

// The virtual-key code of a Qt key with its native scan code; 256 (outside every
// table) for a key without one. The key left of 1 is recognised by its position
// (scan code), so it is 192 whatever the keyboard layout prints on it.
int VirtualKey(int qtKey, uint32_t nativeScanCode);
