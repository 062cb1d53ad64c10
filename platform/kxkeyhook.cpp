// The keys held down through KxHoldKey, with or without a keyboard.
#include "platform/kxkeyhook.h"

#include <bitset>
#include <cstddef>

namespace {

constexpr int kVirtualKeyCount = 256;

std::bitset<kVirtualKeyCount>& HeldKeys() {
    static std::bitset<kVirtualKeyCount> keys;
    return keys;
}

bool IsVirtualKey(int virtualKey) {
    return virtualKey >= 0 && virtualKey < kVirtualKeyCount;
}

}  // namespace

void KxHoldKey(int virtualKey, bool bDown) {
    if (IsVirtualKey(virtualKey)) {
        HeldKeys().set(static_cast<size_t>(virtualKey), bDown);
    }
}

void KxReleaseAllKeys() {
    HeldKeys().reset();
}

bool KxIsKeyHeld(int virtualKey) {
    return IsVirtualKey(virtualKey) && HeldKeys().test(static_cast<size_t>(virtualKey));
}
