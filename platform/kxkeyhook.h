// Lets tests and tools hold virtual keys down without a keyboard: a held key
// reads as down in GetAsyncKeyState, in addition to the real keyboard.
#pragma once

#include "math/kxexactfloat.h"

#ifndef _WIN32

void KxHoldKey(int virtualKey, bool bDown);
void KxReleaseAllKeys();
// Whether the key is held through KxHoldKey; false for codes outside 0..255.
bool KxIsKeyHeld(int virtualKey);

#endif
