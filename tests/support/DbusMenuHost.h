#pragma once

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <QVariantMap>
#include <string>

// A tray host's copy of an app's exported menu (com.canonical.dbusmenu), kept the way real hosts
// keep it: one GetLayout when the menu is first seen, then only what ItemsPropertiesUpdated
// (updated and removed properties) and LayoutUpdated (re-fetch of that subtree) say. A property
// the app stops sending without listing it as removed stays, as it does in real hosts.
class DbusMenuHost final : public QObject {
    Q_OBJECT

public:
    DbusMenuHost(const QDBusConnection &bus, const QString &service)
        : m_bus(bus)
        , m_service(service) {
        m_bus.connect(m_service, kPath, kInterface, "ItemsPropertiesUpdated", this,
                      SLOT(onPropertiesUpdated(QDBusMessage)));
        m_bus.connect(m_service, kPath, kInterface, "LayoutUpdated", this,
                      SLOT(onLayoutUpdated(uint, int)));
    }

    // Reads the whole layout once; false when the menu did not answer.
    bool attach() {
        onLayoutUpdated(0, 0);
        return m_children.contains(0);
    }
    // Clicks the visible item with this label, as a host does, and takes in what followed.
    bool click(const QString &label) {
        const int id = idOf(label);
        const QVariant empty = QVariant::fromValue(QDBusVariant(QString()));
        const bool sent = id > 0 && call(kInterface, "Event", {id, "clicked", empty, 0u}).type() ==
                                        QDBusMessage::ReplyMessage;
        sync();
        return sent;
    }
    // Returns once every signal the app sent before now has been applied: the app answers calls
    // in order, after the signals that came before, and the bus keeps that order.
    void sync() {
        call("org.freedesktop.DBus.Properties", "Get", {kInterface, "Version"});
        QCoreApplication::processEvents();
    }

    // The visible top-level items' labels ("-" for separators), in order.
    QStringList labels() const {
        QStringList labels;
        for (int id : visibleChildren())
            labels << (m_properties[id].value("type") == "separator"
                           ? QStringLiteral("-")
                           : m_properties[id].value("label").toString());
        return labels;
    }
    // Labels of visible items the host shows with a tick, joined by "|".
    std::string ticked() const {
        QStringList ticked;
        for (int id : visibleChildren()) {
            if (!m_properties[id].value("toggle-type").toString().isEmpty() &&
                m_properties[id].value("toggle-state").toInt() == 1)
                ticked << m_properties[id].value("label").toString();
        }
        return ticked.join(QLatin1Char('|')).toStdString();
    }
    int idOf(const QString &label) const {
        for (int id : visibleChildren()) {
            if (m_properties[id].value("label").toString() == label)
                return id;
        }
        return 0;
    }
    QVariantMap properties(const QString &label) const { return m_properties.value(idOf(label)); }

private Q_SLOTS:
    void onPropertiesUpdated(const QDBusMessage &message) {
        forEachItem<QVariantMap>(
            message.arguments().value(0),
            [this](int id, const QVariantMap &set) { m_properties[id].insert(set); });
        forEachItem<QStringList>(message.arguments().value(1),
                                 [this](int id, const QStringList &gone) {
                                     for (const QString &name : gone)
                                         m_properties[id].remove(name);
                                 });
    }
    void onLayoutUpdated(uint, int parent) {
        const QDBusMessage reply = call(kInterface, "GetLayout", {parent, -1, QStringList()});
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() >= 2)
            readNode(qvariant_cast<QDBusArgument>(reply.arguments().at(1)));
    }

private:
    static constexpr char kInterface[] = "com.canonical.dbusmenu";
    static constexpr char kPath[] = "/MenuBar";

    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args) {
        QDBusMessage message = QDBusMessage::createMethodCall(m_service, kPath, interface, method);
        message.setArguments(args);
        return m_bus.call(message, QDBus::Block, 5000);
    }
    // Reads one (ia{sv}av) node and its subtree.
    int readNode(const QDBusArgument &node) {
        int id = 0;
        QList<int> kids;
        node.beginStructure();
        node >> id >> m_properties[id];
        node.beginArray();
        while (!node.atEnd()) {
            QDBusVariant child;
            node >> child;
            kids << readNode(qvariant_cast<QDBusArgument>(child.variant()));
        }
        node.endArray();
        node.endStructure();
        m_children[id] = kids;
        return id;
    }
    // Calls `apply(id, value)` for each (i, T) structure of an array argument.
    template <typename T, typename Apply>
    static void forEachItem(const QVariant &array, Apply apply) {
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
    QList<int> visibleChildren() const {
        QList<int> shown = m_children.value(0);
        shown.removeIf(
            [this](int id) { return !m_properties[id].value("visible", true).toBool(); });
        return shown;
    }

    QDBusConnection m_bus;
    QString m_service;
    QHash<int, QVariantMap> m_properties;
    QHash<int, QList<int>> m_children;
};
