#pragma once

#include <QString>
#include <memory>

class QObject;

namespace lcdprog::platform {

// The stable identifier of a control on the accessibility bus (AT-SPI's AccessibleId, which
// tools and tests use and screen readers do not speak): its objectName, an element of a control
// array with its index in parentheses ("pct_Image_64128E_2" is "pct_Image_64128E(2)"). Qt 6.4
// leaves the property empty; the guard below answers it.
QString Accessible_Id(const QObject* object);

// Shields the program from malformed queries on the accessibility bus. Qt 6.4's AT-SPI adaptor
// reads arguments a call does not carry: "org.freedesktop.DBus.Properties.GetAll", which
// `gdbus introspect` sends to list property values, makes it read a second argument that is not
// there and crash the program. Once Qt has put its adaptor on the bus, it is wrapped: calls with
// fewer arguments than the method takes get an error reply, GetAll is answered here, and
// everything else goes to Qt's adaptor unchanged. The guard also answers each object's
// AccessibleId, in Get and GetAll and in the description of the Accessible interface. The
// program makes one, after the QApplication exists, and keeps it while it runs; without an
// accessibility bus it does nothing.
class AccessibilityBusGuard {
  public:
    AccessibilityBusGuard();
    ~AccessibilityBusGuard();
    AccessibilityBusGuard(const AccessibilityBusGuard&) = delete;
    AccessibilityBusGuard& operator=(const AccessibilityBusGuard&) = delete;

  private:
    class Watcher;
    std::unique_ptr<Watcher> watcher_;
};

}  // namespace lcdprog::platform
