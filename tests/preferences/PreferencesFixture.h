#pragma once

#include "preferences/PlainText.h"
#include "preferences/PreferencesWindow.h"
#include "preferences/PreferencesWindowController.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/WaitUntil.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// Readable failure messages for texts.
inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

// A controller on fakes; `make()` builds it after the test has filled the settings.
class PreferencesTest : public ::testing::Test {
protected:
    PreferencesWindowController &make(PreferencesConfig config = {}) {
        controller = std::make_unique<PreferencesWindowController>(fake.platform(), config);
        controller->onTelegramSettingsChanged = [this] {
            ++callbacks;
            writesAtCallback << fake.settings.writes;
        };
        return *controller;
    }

    // Shows the window and waits until it is the active window, so focus moves as for a user.
    void showActive() {
        controller->showWindow();
        ASSERT_TRUE(
            waitUntil([&] { return QApplication::activeWindow() == controller->window(); }));
    }

    static void type(QWidget *widget, const QString &text) { QTest::keyClicks(widget, text); }

    // A mouse click as the window system delivers it, focus handling included.
    static void click(QWidget *widget) {
        const QPointF local = QRectF(widget->rect()).center();
        const QPointF global = widget->mapToGlobal(local);
        QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(widget, &release);
    }

    QString stored(const QString &key) const {
        return fake.settings.stringValue(key).value_or(QStringLiteral("<absent>"));
    }

    FakePlatform fake;
    std::unique_ptr<PreferencesWindowController> controller;
    int callbacks = 0;
    QList<QStringList> writesAtCallback; // the store's write log each time the callback ran
};
