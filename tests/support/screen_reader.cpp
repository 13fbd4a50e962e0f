#include "support/screen_reader.h"

#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <QObject>
#include <map>

#include "platform/qt/accessibility_bus.h"

namespace lcdprog::test {
namespace {

ScreenReader* listening = nullptr;

// Qt raises accessibility events only while its platform layer says a reader is there, which the
// offscreen platform never does by itself.
QPlatformAccessibility* Platform_Accessibility() {
    QPlatformIntegration* platform = QGuiApplicationPrivate::platformIntegration();
    return platform != nullptr ? platform->accessibility() : nullptr;
}

void Handle(QAccessibleEvent* event) {
    if (listening != nullptr) {
        listening->Hear(event);
    }
}

}  // namespace

ScreenReader::ScreenReader() : wasActive_(QAccessible::isActive()) {
    listening = this;
    previous_ = QAccessible::installUpdateHandler(Handle);
    if (QPlatformAccessibility* accessibility = Platform_Accessibility()) {
        accessibility->setActive(true);
    }
}

ScreenReader::~ScreenReader() {
    QAccessible::installUpdateHandler(previous_);
    if (QPlatformAccessibility* accessibility = Platform_Accessibility()) {
        accessibility->setActive(wasActive_);
    }
    listening = nullptr;
}

void ScreenReader::Hear(QAccessibleEvent* event) {
    QAccessibleInterface* object = event->accessibleInterface();
    if (object == nullptr || !object->isValid()) {
        return;
    }
    events_.push_back({event->type(), object,
                       platform::Accessible_Id(object->object()).toStdString(), object->role(),
                       object->text(QAccessible::Name).toStdString()});
}

std::vector<std::string> ScreenReader::Announced() const {
    std::vector<std::string> said;
    for (const Event& e : events_) {
        if (e.type == QAccessible::ObjectShow && e.role == QAccessible::Notification) {
            said.push_back(e.name);
        }
    }
    return said;
}

std::vector<std::string> ScreenReader::Focused() const {
    std::vector<std::string> focused;
    std::string last = focusBefore_;
    for (const Event& e : events_) {
        // Qt tells of a focus taken away as a focus on the same control again: a reader hears a
        // control once, when the focus comes to it.
        if (e.type == QAccessible::Focus && e.id != last) {
            focused.push_back(e.id);
            last = e.id;
        }
    }
    return focused;
}

void ScreenReader::Clear() {
    for (const Event& e : events_) {
        if (e.type == QAccessible::Focus) {
            focusBefore_ = e.id;
        }
    }
    events_.clear();
}

std::vector<std::string> ScreenReader::Repeated_Names() const {
    std::map<const void*, std::string> last;
    std::vector<std::string> repeated;
    for (const Event& e : events_) {
        if (e.type != QAccessible::NameChanged) {
            continue;
        }
        const auto known = last.find(e.object);
        if (known != last.end() && known->second == e.name) {
            repeated.push_back(e.id + ": " + e.name);
        }
        last[e.object] = e.name;
    }
    return repeated;
}

}  // namespace lcdprog::test
