#include "platform/MessageBoxAlertPresenter.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A pairing code from the server reaches the explanation alert: it must show as typed.
TEST(AlertPlainText, MessageAndInformativeTextAreNeverRichText) {
    QStringList shown;
    QList<Qt::TextFormat> formats;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (const char *name : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
            auto *label = box->findChild<QLabel *>(QString::fromLatin1(name));
            ASSERT_NE(label, nullptr) << name;
            shown << label->text();
            formats << label->textFormat();
        }
        box->done(0);
    });
    MessageBoxAlertPresenter presenter;
    presenter.run(
        {Alert::Style::Informational, "<i>m</i>", "/pair <b>x</b>&amp;", {"開啟", "取消"}});
    EXPECT_EQ(shown, QStringList({"<i>m</i>", "/pair <b>x</b>&amp;"}));
    EXPECT_EQ(formats, QList<Qt::TextFormat>({Qt::PlainText, Qt::PlainText}));
}

} // namespace
