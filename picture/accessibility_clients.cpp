#include "picture/accessibility_clients.h"

#include <QAccessible>

namespace {

AccessibilityListener simulatedClient = nullptr;

} // namespace

bool AccessibilityClientListening() {
    return simulatedClient || QAccessible::isActive();
}

void TellAccessibilityClients(QAccessibleEvent& event) {
    if (simulatedClient)
        simulatedClient(&event);
    QAccessible::updateAccessibility(&event);
}

void SimulateAccessibilityClient(AccessibilityListener listener) {
    simulatedClient = listener;
}
