#include "tests/support/DbusMenuHost.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusVariant>

namespace {
const QString kInterface = QStringLiteral("com.canonical.dbusmenu");
const QString kPath = QStringLiteral("/MenuBar");

// Reads one (ia{sv}av) node and its subtree into the host's tables.
int readNode(const QDBusArgument &node, QHash<int, QVariantMap> &properties,
             QHash<int, QList<int>> &children) {
    int id = 0;
    QList<int> kids;
    node.beginStructure();
    node >> id >> properties[id];
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        kids << readNode(qvariant_cast<QDBusArgument>(child.variant()), properties, children);
    }
    node.endArray();
    node.endStructure();
    children[id] = kids;
    return id;
}

// Calls `apply(id, value)` for each (i, T) structure of an array argument.
template <typename T, typename Apply> void forEachItem(const QVariant &array, Apply apply) {
    const auto argument = qvariant_cast<QDBusArgument>(array);
    argument.beginArray();
    while (!argument.atEnd()) {
        int id = 0;
        T value;
        argument.beginStructure();
        argument >> id >> value;
        argument.endStructure();
        apply(id, value);
    }
    argument.endArray();
}
} // namespace

DbusMenuHost::DbusMenuHost(const QDBusConnection &bus, const QString &service)
    : m_bus(bus)
    , m_service(service) {}

bool DbusMenuHost::attach() {
    m_bus.connect(m_service, kPath, kInterface, QStringLiteral("ItemsPropertiesUpdated"), this,
                  SLOT(onPropertiesUpdated(QDBusMessage)));
    m_bus.connect(m_service, kPath, kInterface, QStringLiteral("LayoutUpdated"), this,
                  SLOT(onLayoutUpdated(uint, int)));
    return fetch(0);
}

QDBusMessage DbusMenuHost::call(const QString &interface, const QString &method,
                                const QVariantList &args) {
    QDBusMessage message = QDBusMessage::createMethodCall(m_service, kPath, interface, method);
    message.setArguments(args);
    return m_bus.call(message, QDBus::Block, 5000);
}

bool DbusMenuHost::fetch(int parent) {
    const QDBusMessage reply =
        call(kInterface, QStringLiteral("GetLayout"), {parent, -1, QStringList()});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return false;
    readNode(qvariant_cast<QDBusArgument>(reply.arguments().at(1)), m_properties, m_children);
    return true;
}

void DbusMenuHost::onLayoutUpdated(uint, int parent) {
    fetch(parent);
}

void DbusMenuHost::onPropertiesUpdated(const QDBusMessage &message) {
    forEachItem<QVariantMap>(message.arguments().value(0), [this](int id, const QVariantMap &set) {
        for (auto it = set.cbegin(); it != set.cend(); ++it)
            m_properties[id].insert(it.key(), it.value());
    });
    forEachItem<QStringList>(message.arguments().value(1), [this](int id, const QStringList &gone) {
        for (const QString &name : gone)
            m_properties[id].remove(name);
    });
}

bool DbusMenuHost::click(const QString &label) {
    const int id = idOf(label);
    const bool sent = id > 0 && call(kInterface, QStringLiteral("Event"),
                                     {id, QStringLiteral("clicked"),
                                      QVariant::fromValue(QDBusVariant(QString())), 0u})
                                        .type() == QDBusMessage::ReplyMessage;
    sync();
    return sent;
}

// The app answers calls in order on its main thread, after the click it handled and the
// signals that followed it; the bus keeps that order on the way here.
void DbusMenuHost::sync() {
    call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
         {kInterface, QStringLiteral("Version")});
    QCoreApplication::processEvents();
}

QList<int> DbusMenuHost::visibleChildren() const {
    QList<int> shown;
    for (int id : m_children.value(0)) {
        if (m_properties.value(id).value(QStringLiteral("visible"), true).toBool())
            shown << id;
    }
    return shown;
}

QStringList DbusMenuHost::labels() const {
    QStringList labels;
    for (int id : visibleChildren()) {
        const QVariantMap props = m_properties.value(id);
        const bool separator = props.value(QStringLiteral("type")) == QStringLiteral("separator");
        labels << (separator ? QStringLiteral("-")
                             : props.value(QStringLiteral("label")).toString());
    }
    return labels;
}

std::string DbusMenuHost::ticked() const {
    QStringList ticked;
    for (int id : visibleChildren()) {
        const QVariantMap props = m_properties.value(id);
        if (!props.value(QStringLiteral("toggle-type")).toString().isEmpty() &&
            props.value(QStringLiteral("toggle-state")).toInt() == 1)
            ticked << props.value(QStringLiteral("label")).toString();
    }
    return ticked.join(QLatin1Char('|')).toStdString();
}

int DbusMenuHost::idOf(const QString &label) const {
    for (int id : visibleChildren()) {
        if (m_properties.value(id).value(QStringLiteral("label")).toString() == label)
            return id;
    }
    return 0;
}
