#pragma once

namespace lcdprog::platform {

// Shields the program from malformed queries on the accessibility bus. Qt 6.4's AT-SPI adaptor
// reads arguments a call does not carry: "org.freedesktop.DBus.Properties.GetAll", which
// `gdbus introspect` sends to list property values, makes it read a second argument that is not
// there and crash the program. Once Qt has put its adaptor on the bus, it is wrapped: calls with
// fewer arguments than the method takes get an error reply, GetAll is answered here, and
// everything else goes to Qt's adaptor unchanged. Call once, after the QApplication exists;
// without an accessibility bus it does nothing.
void Guard_Accessibility_Bus();

}  // namespace lcdprog::platform
