#include "tests/support/DbusMenuHost.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusVariant>

namespace {
const QString kInterface = QStringLiteral("com.canonical.dbusmenu");

// Reads one (ia{sv}av) node and its subtree into the host's tables.
int readNode(const QDBusArgument &node, QHash<int, QVariantMap> &properties,
             QHash<int, QList<int>> &children) {
    int id = 0;
    QVariantMap props;
    node.beginStructure();
    node >> id >> props;
    QList<int> kids;
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        kids << readNode(qvariant_cast<QDBusArgument>(child.variant()), properties, children);
    }
    node.endArray();
    node.endStructure();
    properties[id] = props;
    children[id] = kids;
    return id;
}
} // namespace

DbusMenuHost::DbusMenuHost(const QDBusConnection &bus, const QString &service, const QString &path)
    : m_bus(bus)
    , m_service(service)
    , m_path(path) {}

bool DbusMenuHost::attach() {
    m_bus.connect(m_service, m_path, kInterface, QStringLiteral("ItemsPropertiesUpdated"), this,
                  SLOT(onPropertiesUpdated(QDBusMessage)));
    m_bus.connect(m_service, m_path, kInterface, QStringLiteral("LayoutUpdated"), this,
                  SLOT(onLayoutUpdated(uint, int)));
    return fetch(0);
}

bool DbusMenuHost::fetch(int parent) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_service, m_path, kInterface, QStringLiteral("GetLayout"));
    call.setArguments({parent, -1, QStringList()});
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return false;
    readNode(qvariant_cast<QDBusArgument>(reply.arguments().at(1)), m_properties, m_children);
    return true;
}

void DbusMenuHost::onLayoutUpdated(uint, int parent) {
    fetch(parent);
}

void DbusMenuHost::onPropertiesUpdated(const QDBusMessage &message) {
    const auto updated = qvariant_cast<QDBusArgument>(message.arguments().value(0));
    updated.beginArray();
    while (!updated.atEnd()) {
        int id = 0;
        QVariantMap props;
        updated.beginStructure();
        updated >> id >> props;
        updated.endStructure();
        for (auto it = props.cbegin(); it != props.cend(); ++it)
            m_properties[id].insert(it.key(), it.value());
    }
    updated.endArray();
    const auto removed = qvariant_cast<QDBusArgument>(message.arguments().value(1));
    removed.beginArray();
    while (!removed.atEnd()) {
        int id = 0;
        QStringList names;
        removed.beginStructure();
        removed >> id >> names;
        removed.endStructure();
        for (const QString &name : std::as_const(names))
            m_properties[id].remove(name);
    }
    removed.endArray();
}

bool DbusMenuHost::click(const QString &label) {
    const int id = idOf(label);
    QDBusMessage event =
        QDBusMessage::createMethodCall(m_service, m_path, kInterface, QStringLiteral("Event"));
    event.setArguments(
        {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    const bool sent =
        id > 0 && m_bus.call(event, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
    sync();
    return sent;
}

// The app answers calls in order on its main thread, after the click it handled and the
// signals that followed it; the bus keeps that order on the way here.
void DbusMenuHost::sync() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        m_service, m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get.setArguments({kInterface, QStringLiteral("Version")});
    m_bus.call(get, QDBus::Block, 5000);
    QCoreApplication::processEvents();
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
        labels << (props.value(QStringLiteral("type")) == QStringLiteral("separator")
                       ? QStringLiteral("-")
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

QVariantMap DbusMenuHost::properties(const QString &label) const {
    return m_properties.value(idOf(label));
}
