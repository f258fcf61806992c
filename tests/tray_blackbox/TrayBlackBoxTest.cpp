// The korvella binary as a user's desktop runs it: an X server (Xvfb), a session bus with a
// tray registry that reports a host, and logind on the same private bus. The test reads the
// tray's exported menu and clicks in it the way a tray host does.
#include "tests/support/DBusMock.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>
#include <xcb/xcb.h>

namespace {
const QString kRegistry = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kRegistryPath = QStringLiteral("/StatusNotifierWatcher");
const QString kTemplate =
    QStringLiteral(KORVELLA_TEST_SOURCE_DIR "/tray/status_notifier_watcher.py");
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");

template <typename Predicate> bool waitFor(Predicate done, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(50);
    }
    return done();
}

std::unique_ptr<QProcess> childProcess() {
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    return process;
}

// A private X server on the first free display.
class Xvfb final {
public:
    Xvfb()
        : m_process(childProcess()) {
        m_process->start(QStringLiteral("Xvfb"),
                         {QStringLiteral("-displayfd"), QStringLiteral("1"),
                          QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                          QStringLiteral("-screen"), QStringLiteral("0"),
                          QStringLiteral("640x480x24")});
        waitFor(
            [this] {
                return m_process->canReadLine() || m_process->state() == QProcess::NotRunning;
            },
            10000);
        const QByteArray number = m_process->readLine().trimmed();
        if (!number.isEmpty())
            m_display = QStringLiteral(":") + QString::fromLatin1(number);
    }
    ~Xvfb() {
        m_process->terminate();
        m_process->waitForFinished(3000);
    }
    QString display() const { return m_display; }

private:
    std::unique_ptr<QProcess> m_process;
    QString m_display;
};

// Claims the XEmbed tray selection of screen 0, as a panel's tray does when it starts.
class XEmbedTrayOwner final {
public:
    explicit XEmbedTrayOwner(const QString &display)
        : m_connection(xcb_connect(display.toLatin1().constData(), nullptr)) {}
    ~XEmbedTrayOwner() { xcb_disconnect(m_connection); }
    bool claim() {
        if (xcb_connection_has_error(m_connection))
            return false;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const xcb_window_t window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const char name[] = "_NET_SYSTEM_TRAY_S0";
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, sizeof name - 1, name), nullptr);
        if (!atom)
            return false;
        xcb_set_selection_owner(m_connection, window, atom->atom, XCB_CURRENT_TIME);
        std::free(atom);
        return xcb_flush(m_connection) > 0;
    }

private:
    xcb_connection_t *m_connection;
};

struct DBusMenuItem {
    int id = 0;
    QString label;
    bool isSeparator = false;
    bool enabled = true;
    bool checked = false;
    QVariant shortcut;
};

DBusMenuItem readItem(const QDBusArgument &argument) {
    DBusMenuItem item;
    QVariantMap properties;
    argument.beginStructure();
    argument >> item.id >> properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant submenu;
        argument >> submenu;
    }
    argument.endArray();
    argument.endStructure();
    item.label = properties.value(QStringLiteral("label")).toString();
    item.isSeparator = properties.value(QStringLiteral("type")) == QStringLiteral("separator");
    item.enabled = properties.value(QStringLiteral("enabled"), true).toBool();
    item.checked = properties.value(QStringLiteral("toggle-state"), 0).toInt() == 1;
    item.shortcut = properties.value(QStringLiteral("shortcut"));
    if (!properties.value(QStringLiteral("visible"), true).toBool())
        item.id = -item.id; // hidden: marked, and left out by visibleItems()
    return item;
}

class TrayBlackBox : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(x.display().isEmpty()) << "Xvfb did not start";
        ASSERT_TRUE(bus.isRunning()) << bus.errorString().toStdString();
        ASSERT_TRUE(bus.startTemplate(QStringLiteral("logind"))) << bus.errorString().toStdString();
    }
    void TearDown() override {
        if (korvella->state() != QProcess::NotRunning) {
            korvella->kill();
            korvella->waitForFinished(3000);
        }
    }

    void startKorvella() {
        QProcessEnvironment environment = bus.environment();
        environment.insert(QStringLiteral("DISPLAY"), x.display());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        // A sanitizer build must still exit 0 when Qt's own caches are all that is left; the
        // suppression needs whole stacks through Qt's libraries, which lack frame pointers.
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) +
                               QStringLiteral(":fast_unwind_on_malloc=0"));
        environment.insert(
            QStringLiteral("LSAN_OPTIONS"),
            QStringLiteral("suppressions=" KORVELLA_TEST_SOURCE_DIR "/tray_blackbox/lsan.supp:") +
                environment.value(QStringLiteral("LSAN_OPTIONS")));
        korvella->setProcessEnvironment(environment);
        korvella->start(QStringLiteral(KORVELLA_BINARY), QStringList());
        ASSERT_TRUE(korvella->waitForStarted(5000)) << korvella->errorString().toStdString();
    }
    QString standardError() {
        m_stderr += QString::fromUtf8(korvella->readAllStandardError());
        return m_stderr;
    }
    // The tray item's bus name, once it has registered with the registry.
    QString registeredItem() {
        const auto calls =
            bus.methodCalls(kRegistry, kRegistryPath, QStringLiteral("RegisterStatusNotifierItem"));
        return calls.isEmpty() ? QString() : calls.last().value(0).toString();
    }
    QList<DBusMenuItem> visibleItems() {
        QDBusMessage call = QDBusMessage::createMethodCall(m_item, QStringLiteral("/MenuBar"),
                                                           QStringLiteral("com.canonical.dbusmenu"),
                                                           QStringLiteral("GetLayout"));
        call.setArguments({0, -1, QStringList()});
        const QDBusMessage reply = bus.connection().call(call, QDBus::Block, 5000);
        QList<DBusMenuItem> items;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
            return items;
        const auto root = qvariant_cast<QDBusArgument>(reply.arguments().at(1));
        int rootId = 0;
        QVariantMap rootProperties;
        root.beginStructure();
        root >> rootId >> rootProperties;
        root.beginArray();
        while (!root.atEnd()) {
            QDBusVariant child;
            root >> child;
            const DBusMenuItem item = readItem(qvariant_cast<QDBusArgument>(child.variant()));
            if (item.id > 0)
                items << item;
        }
        root.endArray();
        root.endStructure();
        return items;
    }
    QStringList labels() {
        QStringList labels;
        for (const DBusMenuItem &item : visibleItems())
            labels << (item.isSeparator ? QStringLiteral("-") : item.label);
        return labels;
    }
    DBusMenuItem itemLabelled(const QString &label) {
        for (const DBusMenuItem &item : visibleItems()) {
            if (item.label == label)
                return item;
        }
        return {};
    }
    bool click(const QString &label) {
        const int id = itemLabelled(label).id;
        QDBusMessage event = QDBusMessage::createMethodCall(
            m_item, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"),
            QStringLiteral("Event"));
        event.setArguments(
            {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
        return id > 0 && bus.connection().call(event, QDBus::Block, 5000).type() ==
                             QDBusMessage::ReplyMessage;
    }
    // logind's inhibitors as "what who mode" lines.
    QStringList inhibitors() {
        const QDBusMessage reply = bus.connection().call(
            QDBusMessage::createMethodCall(kLogind, kLogindPath,
                                           QStringLiteral("org.freedesktop.login1.Manager"),
                                           QStringLiteral("ListInhibitors")),
            QDBus::Block, 5000);
        QStringList lines;
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {QStringLiteral("error: ") + reply.errorMessage()};
        const auto list = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
        list.beginArray();
        while (!list.atEnd()) {
            QString what, who, why, mode;
            uint uid = 0, pid = 0;
            list.beginStructure();
            list >> what >> who >> why >> mode >> uid >> pid;
            list.endStructure();
            lines << QStringLiteral("%1 %2 %3").arg(what, who, mode);
        }
        list.endArray();
        return lines;
    }

    Xvfb x;
    DBusMock bus;
    std::unique_ptr<QProcess> korvella = childProcess();
    QString m_item;
    QString m_stderr;
};

const QStringList kIdleLabels{QStringLiteral("開始防睡眠"),
                              QStringLiteral("-"),
                              QStringLiteral("30 分鐘"),
                              QStringLiteral("1 小時"),
                              QStringLiteral("2 小時"),
                              QStringLiteral("4 小時"),
                              QStringLiteral("無限期"),
                              QStringLiteral("直到指定時間…"),
                              QStringLiteral("-"),
                              QStringLiteral("闔蓋時保持喚醒"),
                              QStringLiteral("-"),
                              QStringLiteral("偏好設定…"),
                              QStringLiteral("結束 Korvella"),
                              QStringLiteral("-")};

TEST_F(TrayBlackBox, ATimedPeriodFromTheTrayMenuHoldsTheLockCountsDownAndQuitReleasesIt) {
    startKorvella();
    // No tray yet: one clear line, and the process keeps running.
    EXPECT_TRUE(waitFor([&] { return standardError().contains("桌面上目前沒有系統匣"); }, 10000))
        << standardError().toStdString();
    EXPECT_EQ(korvella->state(), QProcess::Running);

    // The registry appears later, as at a login: the item registers with it.
    ASSERT_TRUE(bus.startTemplate(kTemplate)) << bus.errorString().toStdString();
    ASSERT_TRUE(waitFor([&] { return !(m_item = registeredItem()).isEmpty(); }, 10000))
        << standardError().toStdString();
    ASSERT_TRUE(waitFor([&] { return labels().size() == 15; }, 5000)) << m_item.toStdString();
    QStringList idle = labels();
    EXPECT_EQ(idle.mid(0, 14), kIdleLabels);
    EXPECT_TRUE(idle[14].startsWith("Korvella v"));
    EXPECT_FALSE(visibleItems()[14].enabled);
    EXPECT_EQ(itemLabelled("結束 Korvella").shortcut.isValid(), true);
    EXPECT_FALSE(itemLabelled("1 小時").shortcut.isValid());
    const int oneHourId = itemLabelled("1 小時").id;
    EXPECT_TRUE(inhibitors().isEmpty()) << inhibitors().join(", ").toStdString();

    ASSERT_TRUE(click("1 小時"));
    ASSERT_TRUE(waitFor([&] { return !inhibitors().isEmpty(); }, 5000));
    EXPECT_TRUE(inhibitors().first().contains("Korvella")) << inhibitors().join(", ").toStdString();
    ASSERT_TRUE(waitFor([&] { return labels().size() == 17; }, 5000));
    EXPECT_EQ(labels().first(), "防睡眠中・剩 1 小時");
    EXPECT_FALSE(visibleItems().first().enabled);
    EXPECT_EQ(labels()[2], "結束防睡眠");
    EXPECT_EQ(itemLabelled("1 小時").id, oneHourId) << "items keep their ids";
    EXPECT_TRUE(itemLabelled("1 小時").checked);

    // The countdown runs in the process: after a minute the line shows 59 minutes.
    EXPECT_TRUE(waitFor([&] { return labels().value(0) == "防睡眠中・剩 59 分"; }, 75000))
        << labels().value(0).toStdString();

    ASSERT_TRUE(click("結束 Korvella"));
    ASSERT_TRUE(korvella->waitForFinished(10000)) << standardError().toStdString();
    EXPECT_EQ(korvella->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(korvella->exitCode(), 0) << standardError().toStdString();
    EXPECT_TRUE(waitFor([&] { return inhibitors().isEmpty(); }, 5000))
        << inhibitors().join(", ").toStdString();
}

TEST_F(TrayBlackBox, AnXEmbedTrayThatAppearsLaterIsFoundWithoutARegistry) {
    startKorvella();
    EXPECT_TRUE(waitFor([&] { return standardError().contains("桌面上目前沒有系統匣"); }, 10000))
        << standardError().toStdString();

    XEmbedTrayOwner tray(x.display());
    ASSERT_TRUE(tray.claim());
    EXPECT_TRUE(waitFor([&] { return standardError().contains("系統匣已出現"); }, 5000))
        << standardError().toStdString();
    EXPECT_EQ(korvella->state(), QProcess::Running);
    EXPECT_EQ(standardError().count("桌面上目前沒有系統匣"), 1) << "said once, not repeated";
}
} // namespace
