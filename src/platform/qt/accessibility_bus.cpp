#include "platform/qt/accessibility_bus.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QPointer>
#include <QXmlStreamReader>

namespace lcdprog::platform {
namespace {

// Where Qt's bridge keeps its connection and its adaptor.
const QString kConnectionName = QStringLiteral("a11y");
const QString kAccessiblePath = QStringLiteral("/org/a11y/atspi/accessible");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString kAccessibleId = QStringLiteral("AccessibleId");

// How many arguments `member` of `interface` takes, as the adaptor describes itself; -1 when it
// does not describe that method.
int Arguments_Taken(const QString& xml, const QString& interface, const QString& member) {
    QXmlStreamReader reader(QStringLiteral("<node>") + xml + QStringLiteral("</node>"));
    bool inInterface = false;
    bool inMethod = false;
    int taken = -1;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QStringView name = reader.attributes().value(QStringLiteral("name"));
            if (reader.name() == QStringLiteral("interface")) {
                inInterface = name == interface;
            } else if (reader.name() == QStringLiteral("method") && inInterface) {
                inMethod = name == member;
                if (inMethod) {
                    taken = 0;
                }
            } else if (reader.name() == QStringLiteral("arg") && inMethod &&
                       reader.attributes().value(QStringLiteral("direction")) !=
                           QStringLiteral("out")) {
                ++taken;
            }
        } else if (reader.isEndElement() && reader.name() == QStringLiteral("method")) {
            if (inMethod) {
                return taken;
            }
        }
    }
    return taken;
}

// The object an accessible path names: "root" is the application, the rest are ids.
QAccessibleInterface* Object_At(const QString& path) {
    const QString last = path.section(QLatin1Char('/'), -1);
    if (last == QStringLiteral("root")) {
        return QAccessible::queryAccessibleInterface(qApp);
    }
    bool ok = false;
    const uint id = last.toUInt(&ok);
    return ok ? QAccessible::accessibleInterface(id) : nullptr;
}

class GuardedAdaptor final : public QDBusVirtualObject {
  public:
    GuardedAdaptor(QDBusVirtualObject* qtAdaptor, QObject* parent)
        : QDBusVirtualObject(parent), qt_(qtAdaptor) {}

    // Qt's description of its interfaces, with the AccessibleId property the guard answers.
    QString introspect(const QString& path) const override {
        if (qt_ == nullptr) {
            return {};
        }
        QString xml = qt_->introspect(path);
        const QString opening = QStringLiteral("<interface name=\"%1\">").arg(kAccessible);
        const qsizetype at = xml.indexOf(opening);
        if (at >= 0 && !xml.contains(kAccessibleId)) {
            xml.insert(at + opening.size(),
                       QStringLiteral("\n    <property access=\"read\" type=\"s\" name=\"%1\"/>")
                           .arg(kAccessibleId));
        }
        return xml;
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (qt_ == nullptr) {
            return false;
        }
        const QList<QVariant> arguments = message.arguments();
        if (message.interface() == kProperties) {
            const int wanted = message.member() == QStringLiteral("Set")   ? 3
                               : message.member() == QStringLiteral("Get") ? 2
                                                                           : 1;
            for (int i = 0; i < std::min<int>(wanted, 2); ++i) {
                if (i >= arguments.size() || arguments[i].metaType().id() != QMetaType::QString) {
                    return Refuse(message, connection);
                }
            }
            if (arguments.size() < wanted) {
                return Refuse(message, connection);
            }
            if (message.member() == QStringLiteral("GetAll")) {
                return Answer_Get_All(message, connection, arguments[0].toString());
            }
            if (message.member() == QStringLiteral("Get") &&
                arguments[0].toString() == kAccessible &&
                arguments[1].toString() == kAccessibleId) {
                QAccessibleInterface* object = Object_At(message.path());
                const QString id = object != nullptr && object->isValid()
                                       ? Accessible_Id(object->object())
                                       : QString();
                return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(id))));
            }
        } else {
            const int taken = Arguments_Taken(qt_->introspect(message.path()), message.interface(),
                                              message.member());
            if (taken > arguments.size()) {
                return Refuse(message, connection);
            }
        }
        return qt_->handleMessage(message, connection);
    }

  private:
    static bool Refuse(const QDBusMessage& message, const QDBusConnection& connection) {
        return connection.send(message.createErrorReply(
            QDBusError::InvalidArgs, QStringLiteral("Argomenti mancanti o non validi")));
    }

    // The plain properties of an accessible object; the others are read one by one with Get.
    static bool Answer_Get_All(const QDBusMessage& message, const QDBusConnection& connection,
                               const QString& interface) {
        QVariantMap values;
        QAccessibleInterface* object = Object_At(message.path());
        if (object != nullptr && object->isValid() &&
            interface == QStringLiteral("org.a11y.atspi.Accessible")) {
            values.insert(QStringLiteral("Name"), object->text(QAccessible::Name));
            values.insert(QStringLiteral("Description"), object->text(QAccessible::Description));
            values.insert(QStringLiteral("ChildCount"), object->childCount());
            values.insert(kAccessibleId, Accessible_Id(object->object()));
        }
        return connection.send(message.createReply(QVariant::fromValue(values)));
    }

    QPointer<QDBusVirtualObject> qt_;
};

}  // namespace

QString Accessible_Id(const QObject* object) {
    if (object == nullptr) {
        return {};
    }
    const QString name = object->objectName();
    const qsizetype underscore = name.lastIndexOf(QLatin1Char('_'));
    bool element = underscore > 0 && underscore + 1 < name.size();
    for (qsizetype i = underscore + 1; element && i < name.size(); ++i) {
        element = name[i].isDigit();
    }
    return element ? name.left(underscore) + QLatin1Char('(') + name.mid(underscore + 1) +
                         QLatin1Char(')')
                   : name;
}

namespace {

// Wraps Qt's adaptor once it is on the bus; true when it is (or already was) wrapped.
bool Wrap_Adaptor() {
    QDBusConnection bus(kConnectionName);
    if (!bus.isConnected()) {
        return false;
    }
    QObject* registered = bus.objectRegisteredAt(kAccessiblePath);
    auto* adaptor = qobject_cast<QDBusVirtualObject*>(registered);
    if (adaptor == nullptr) {
        return false;
    }
    if (dynamic_cast<GuardedAdaptor*>(adaptor) != nullptr) {
        return true;
    }
    bus.unregisterObject(kAccessiblePath, QDBusConnection::UnregisterTree);
    auto* guarded = new GuardedAdaptor(adaptor, adaptor);
    return bus.registerVirtualObject(kAccessiblePath, guarded, QDBusConnection::SubPath);
}

}  // namespace

// Qt turns accessibility on, then puts its adaptor on the bus in the same call: the wrapping
// waits for the event loop's next turn.
class AccessibilityBusGuard::Watcher final : public QAccessible::ActivationObserver {
  public:
    void accessibilityActiveChanged(bool active) override {
        if (active) {
            QMetaObject::invokeMethod(
                qApp, [] { Wrap_Adaptor(); }, Qt::QueuedConnection);
        }
    }
};

AccessibilityBusGuard::AccessibilityBusGuard() : watcher_(std::make_unique<Watcher>()) {
    if (qApp == nullptr) {
        return;
    }
    QAccessible::installActivationObserver(watcher_.get());
    QMetaObject::invokeMethod(
        qApp, [] { Wrap_Adaptor(); }, Qt::QueuedConnection);
}

AccessibilityBusGuard::~AccessibilityBusGuard() {
    QAccessible::removeActivationObserver(watcher_.get());
}

}  // namespace lcdprog::platform
