#pragma once

namespace kivo::Compositing {

// Whether the desktop draws translucent windows: on X11 only while a compositing manager
// holds its selection; other platforms always do.
bool active();

} // namespace kivo::Compositing
