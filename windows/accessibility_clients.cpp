#include "windows/accessibility_clients.h"

#include <QAccessible>

namespace {

bool simulatedClient = false;

} // namespace

bool AccessibilityClientListening() {
    return simulatedClient || QAccessible::isActive();
}

void SimulateAccessibilityClient(bool listening) {
    simulatedClient = listening;
}
