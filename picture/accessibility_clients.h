// Telling screen readers what changed. A screen reader reaches the program
// through the platform's accessibility bridge, which Qt reports as
// QAccessible::isActive(); notices that cost work to prepare are prepared only
// while something listens. Platforms without a bridge (offscreen, as tests
// and benchmarks run) never have a listener and Qt drops every notice there,
// so tests and benchmarks may stand in for a screen reader with a function
// that receives the notices instead.
//
// It lives in the lowest library with widgets so that every widget can use it.
#pragma once

class QAccessibleEvent;

using AccessibilityListener = void (*)(QAccessibleEvent* event);

bool AccessibilityClientListening();

// Hands a notice to the screen reader, and to the stand-in if there is one.
void TellAccessibilityClients(QAccessibleEvent& event);

// The stand-in for a screen reader; nullptr for none.
void SimulateAccessibilityClient(AccessibilityListener listener);
