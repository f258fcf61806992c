#include "platform/MessageBoxAlertPresenter.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

int MessageBoxAlertPresenter::run(const Alert &alert) {
    QMessageBox box;
    box.setTextFormat(Qt::PlainText);
    box.setIcon(alert.style == Alert::Style::Warning ? QMessageBox::Warning
                                                     : QMessageBox::Information);
    box.setWindowTitle(QStringLiteral("Korvella"));
    box.setText(alert.messageText);
    box.setInformativeText(alert.informativeText);
    // WORKAROUND: Qt 6.4 gives the informative label automatic rich-text detection whatever the
    // box's own format, so a pairing code like "<b>x</b>" would be drawn bold.
    if (auto *informative = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    QList<QPushButton *> buttons;
    for (const QString &title : alert.buttonTitles)
        buttons << box.addButton(title, QMessageBox::AcceptRole);
    if (buttons.isEmpty())
        buttons << box.addButton(QMessageBox::Ok);
    box.setDefaultButton(buttons.first());
    box.exec();
    const int index = buttons.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
    return index < 0 ? 0 : index;
}
