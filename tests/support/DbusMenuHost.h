#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
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
    DbusMenuHost(const QDBusConnection &bus, const QString &service);

    // Subscribes and reads the whole layout once; false when the menu did not answer.
    bool attach();
    // Clicks the visible item with this label, as a host does, and takes in what followed.
    bool click(const QString &label);
    // Returns once every signal the app sent before now has been applied.
    void sync();

    // The visible top-level items' labels ("-" for separators), in order.
    QStringList labels() const;
    // Labels of visible items the host shows with a tick, joined by "|".
    std::string ticked() const;
    int idOf(const QString &label) const;
    QVariantMap properties(const QString &label) const { return m_properties.value(idOf(label)); }

private Q_SLOTS:
    void onPropertiesUpdated(const QDBusMessage &message);
    void onLayoutUpdated(uint revision, int parent);

private:
    bool fetch(int parent);
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args);
    QList<int> visibleChildren() const;

    QDBusConnection m_bus;
    QString m_service;
    QHash<int, QVariantMap> m_properties;
    QHash<int, QList<int>> m_children;
};
