// The korvella binary as a user's desktop runs it: an X server (Xvfb), a session bus with a
// tray registry that reports a host, and logind on the same private bus. The test keeps the
// exported menu and clicks in it the way a tray host does.
#include "app/IconRenderer.h"
#include "tests/support/DbusMenuHost.h"
#include "tests/support/InhibitorBus.h"
#include "tests/support/WaitUntil.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>
#include <xcb/xcb.h>

namespace {
const QString kRegistry = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kTemplate =
    QStringLiteral(KORVELLA_TEST_SOURCE_DIR "/tray/status_notifier_watcher.py");
const QString kItem = QStringLiteral("org.kde.StatusNotifierItem");
const QString kNoTray = QStringLiteral("桌面上目前沒有系統匣");

std::unique_ptr<QProcess> childProcess() {
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    return process;
}

// A private X server on the first free display, and a client of it that looks and acts as the
// desktop's own programs do.
class XServer final {
public:
    XServer() {
        m_process->start("Xvfb",
                         {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
        waitUntil([this] { return m_process->canReadLine() || !m_process->processId(); }, 10000);
        const QByteArray number = m_process->readLine().trimmed();
        if (number.isEmpty())
            return;
        m_display = ":" + QString::fromLatin1(number);
        m_c = xcb_connect(m_display.toLatin1().constData(), nullptr);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
    }
    ~XServer() {
        if (m_c)
            xcb_disconnect(m_c);
        m_process->terminate();
        m_process->waitForFinished(3000);
    }
    QString display() const { return m_display; }

    // Claims the XEmbed tray selection of screen 0, as a panel's tray does when it starts.
    bool claimTray() {
        const xcb_window_t window = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const char name[] = "_NET_SYSTEM_TRAY_S0";
        xcb_intern_atom_reply_t *atom =
            xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, sizeof name - 1, name), nullptr);
        if (!atom)
            return false;
        xcb_set_selection_owner(m_c, window, atom->atom, XCB_CURRENT_TIME);
        std::free(atom);
        return xcb_flush(m_c) > 0;
    }

    // Popup windows (a menu) on screen: only Korvella draws on this private server.
    int viewablePopups() {
        int popups = 0;
        xcb_query_tree_reply_t *tree =
            xcb_query_tree_reply(m_c, xcb_query_tree(m_c, m_root), nullptr);
        for (int i = 0; tree && i < xcb_query_tree_children_length(tree); ++i) {
            auto *attributes = xcb_get_window_attributes_reply(
                m_c, xcb_get_window_attributes(m_c, xcb_query_tree_children(tree)[i]), nullptr);
            if (attributes && attributes->override_redirect &&
                attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                ++popups;
            std::free(attributes);
        }
        std::free(tree);
        return popups;
    }

private:
    std::unique_ptr<QProcess> m_process = childProcess();
    QString m_display;
    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_root = 0;
};

// An array of (width, height, ARGB32 bytes in network byte order) images.
QList<QImage> readPixmaps(const QDBusArgument &list) {
    QList<QImage> images;
    list.beginArray();
    while (!list.atEnd()) {
        int width = 0, height = 0;
        QByteArray bytes;
        list.beginStructure();
        list >> width >> height >> bytes;
        list.endStructure();
        QImage image(width, height, QImage::Format_ARGB32);
        for (int i = 0; i + 3 < bytes.size() && i / 4 < width * height; i += 4) {
            const auto *p = reinterpret_cast<const uchar *>(bytes.constData() + i);
            image.setPixel((i / 4) % width, (i / 4) / width, qRgba(p[1], p[2], p[3], p[0]));
        }
        images << image;
    }
    list.endArray();
    return images;
}

QDBusArgument propertyValue(const QDBusMessage &reply) {
    return qvariant_cast<QDBusArgument>(
        qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant());
}

// The text of a ToolTip property: (icon name, icon pixmaps, title, description).
QString toolTipTitle(const QDBusMessage &reply) {
    const QDBusArgument tip = propertyValue(reply);
    QString icon, title, description;
    tip.beginStructure();
    tip >> icon;
    readPixmaps(tip);
    tip >> title >> description;
    tip.endStructure();
    return title;
}

class TrayBlackBox : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(x.display().isEmpty()) << "Xvfb did not start";
        ASSERT_TRUE(locks.startLogind());
    }
    void TearDown() override {
        korvella->kill();
        korvella->waitForFinished(3000);
    }

    // No tray yet when it starts: it says so in one line and keeps running.
    void startWithoutTray(QProcessEnvironment environment) {
        environment.insert("DISPLAY", x.display());
        // A sanitizer build must still exit 0 when Qt's own caches are all that is left; the
        // suppression needs whole stacks through Qt's libraries, which lack frame pointers.
        environment.insert("ASAN_OPTIONS",
                           environment.value("ASAN_OPTIONS") + ":fast_unwind_on_malloc=0");
        environment.insert("LSAN_OPTIONS", "suppressions=" KORVELLA_TEST_SOURCE_DIR
                                           "/tray_blackbox/lsan.supp:" +
                                               environment.value("LSAN_OPTIONS"));
        korvella->setProcessEnvironment(environment);
        korvella->start(KORVELLA_BINARY, QStringList());
        ASSERT_TRUE(korvella->waitForStarted(5000)) << korvella->errorString().toStdString();
        ASSERT_TRUE(waitUntil([&] { return standardError().contains(kNoTray); }, 10000))
            << standardError().toStdString();
    }
    QString standardError() {
        m_stderr += QString::fromUtf8(korvella->readAllStandardError());
        return m_stderr;
    }
    // The tray item's bus name, once it has registered with the registry.
    QString waitForItem() {
        QString item;
        waitUntil(
            [&] {
                const auto calls = bus.methodCalls(kRegistry, "/StatusNotifierWatcher",
                                                   "RegisterStatusNotifierItem");
                item = calls.isEmpty() ? QString() : calls.last().value(0).toString();
                return !item.isEmpty();
            },
            10000);
        return item;
    }
    bool locked() { return !locks.inhibitors().isEmpty(); }

    XServer x;
    InhibitorBus locks;
    DBusMock &bus = locks.mock;
    std::unique_ptr<QProcess> korvella = childProcess();
    QString m_stderr;
};

const QStringList kIdleLabels{
    "開始防睡眠",    "-", "30 分鐘",        "1 小時", "2 小時",    "4 小時",        "無限期",
    "直到指定時間…", "-", "闔蓋時保持喚醒", "-",      "偏好設定…", "結束 Korvella", "-"};

// Started as a session that offers both Wayland and X11 would start it, with no Wayland
// compositor answering, before the panel: it comes up on X11 and registers once the tray's
// registry appears. Tray hosts (XFCE, Plasma, GNOME's extension) keep the menu they read first
// and apply only the updates they are sent, so a tick the app clears without saying so stays.
TEST_F(TrayBlackBox, OnX11ItWaitsForTheTrayAndTheHostsCopyOfTheMenuFollowsEveryChange) {
    QProcessEnvironment environment = bus.environment();
    environment.remove("QT_QPA_PLATFORM");
    environment.insert("WAYLAND_DISPLAY", "/nonexistent/wayland-0");
    startWithoutTray(environment);
    ASSERT_TRUE(bus.startTemplate(kTemplate)) << bus.errorString().toStdString();
    const QString item = waitForItem();
    ASSERT_FALSE(item.isEmpty()) << standardError().toStdString();

    QDBusMessage get = QDBusMessage::createMethodCall(item, "/StatusNotifierItem",
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << kItem << "IconPixmap";
    QSet<int> sizes;
    for (const QImage &image :
         readPixmaps(propertyValue(bus.connection().call(get, QDBus::Block, 5000)))) {
        sizes.insert(image.width());
        const QImage scaled =
            IconRenderer::statusIcon(false, QSizeF(18, 18))
                .scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_ARGB32);
        EXPECT_NE(image, scaled) << "drawn at " << image.width() << " px, not scaled";
    }
    EXPECT_GE(sizes.size(), 4);
    // Set before the tray appeared, and handed over when it did.
    get.setArguments({kItem, QStringLiteral("ToolTip")});
    EXPECT_EQ(toolTipTitle(bus.connection().call(get, QDBus::Block, 5000)),
              "Korvella・防睡眠未啟動");

    DbusMenuHost host(bus.connection(), item);
    ASSERT_TRUE(waitUntil([&] { return host.attach() && host.labels().size() == 15; }, 5000));
    EXPECT_EQ(host.labels().mid(0, 14), kIdleLabels);
    EXPECT_TRUE(host.labels()[14].startsWith("Korvella v"));
    EXPECT_FALSE(host.properties(host.labels()[14]).value("enabled", true).toBool());
    EXPECT_EQ(host.ticked(), "");
    const int oneHourId = host.idOf("1 小時");

    ASSERT_TRUE(host.click("1 小時"));
    ASSERT_TRUE(waitUntil([&] { return locked(); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return host.sync(), host.labels().size() == 17; }, 5000));
    EXPECT_EQ(host.labels().first(), "防睡眠中・剩 1 小時");
    EXPECT_EQ(host.labels()[2], "結束防睡眠");
    EXPECT_EQ(host.idOf("1 小時"), oneHourId) << "items keep their ids";
    EXPECT_EQ(host.ticked(), "1 小時");

    // A period begins once logind has answered for its lock.
    const auto tickedSoon = [&](const std::string &label) {
        return waitUntil([&] { return host.sync(), host.ticked() == label; }, 5000);
    };
    ASSERT_TRUE(host.click("30 分鐘"));
    EXPECT_TRUE(tickedSoon("30 分鐘")) << host.ticked();
    EXPECT_EQ(host.labels().first(), "防睡眠中・剩 30 分");
    ASSERT_TRUE(host.click("結束防睡眠"));
    EXPECT_EQ(host.labels().mid(0, 14), kIdleLabels);
    EXPECT_EQ(host.ticked(), "");
    EXPECT_TRUE(waitUntil([&] { return !locked(); }, 5000));
    ASSERT_TRUE(host.click("闔蓋時保持喚醒"));
    EXPECT_EQ(host.ticked(), "闔蓋時保持喚醒");
    ASSERT_TRUE(host.click("闔蓋時保持喚醒"));
    EXPECT_EQ(host.ticked(), "");
    ASSERT_TRUE(host.click("無限期"));
    EXPECT_TRUE(tickedSoon("無限期")) << host.ticked();

    EXPECT_EQ(x.viewablePopups(), 0);
    QDBusMessage activate =
        QDBusMessage::createMethodCall(item, "/StatusNotifierItem", kItem, "Activate");
    activate << 100 << 10;
    ASSERT_EQ(bus.connection().call(activate, QDBus::Block, 5000).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_TRUE(waitUntil([&] { return x.viewablePopups() == 1; }, 5000));

    ASSERT_TRUE(host.click("結束 Korvella"));
    ASSERT_TRUE(korvella->waitForFinished(10000)) << standardError().toStdString();
    EXPECT_EQ(korvella->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(korvella->exitCode(), 0) << standardError().toStdString();
    EXPECT_EQ(standardError().count(kNoTray), 1) << "said once, not repeated";
    EXPECT_TRUE(waitUntil([&] { return !locked(); }, 5000));
}

TEST_F(TrayBlackBox, AnXEmbedTrayThatAppearsLaterIsFoundWithoutARegistry) {
    QProcessEnvironment environment = bus.environment();
    environment.insert("QT_QPA_PLATFORM", "xcb");
    startWithoutTray(environment);
    ASSERT_TRUE(x.claimTray());
    EXPECT_TRUE(waitUntil([&] { return standardError().contains("系統匣已出現"); }, 5000))
        << standardError().toStdString();
    EXPECT_EQ(korvella->state(), QProcess::Running);
    EXPECT_EQ(standardError().count(kNoTray), 1) << "said once, not repeated";
}
} // namespace
