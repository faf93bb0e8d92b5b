// Whether anything listens for accessibility notifications. A screen reader
// reaches the program through the platform's accessibility bridge, which Qt
// reports as QAccessible::isActive(); notifications that cost work to prepare
// are only prepared while it is. Platforms without a bridge (offscreen, as
// tests and benchmarks run) never report a listener, so those stand in for
// one here and read the notifications from QAccessible's update handler.
#pragma once

bool AccessibilityClientListening();

void SimulateAccessibilityClient(bool listening);
