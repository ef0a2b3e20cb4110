#include "app/shell/shortcut/RightCommandGesture.h"

namespace kivo {

bool RightCommandGesture::flagsChanged(bool rightDown, bool otherModifiers)
{
    if (rightDown) {
        if (!down) {
            armed = !otherModifiers;
        }
        if (otherModifiers) {
            armed = false;
        }
        down = true;
        return false;
    }
    const bool fire = down && armed && !otherModifiers;
    down = false;
    armed = false;
    return fire;
}

} // namespace kivo
