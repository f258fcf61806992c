#include "control/UntilTimeDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

UntilTimeDialog::UntilTimeDialog(const QTime &initial, QWidget *parent)
    : QDialog(parent)
    , m_edit(new QTimeEdit(initial, this)) {
    setWindowTitle(QStringLiteral("Korvella"));
    m_edit->setDisplayFormat(QStringLiteral("HH:mm"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("開始防睡眠"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("防睡眠到幾點？（已過則為明天）"), this));
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
}

QTime UntilTimeDialog::time() const {
    return m_edit->time();
}

std::optional<QTime> UntilTimeDialog::ask(QWidget *parent) {
    // An hour from now, on the whole minute, is a likely first answer.
    const QTime now = QTime::currentTime();
    UntilTimeDialog dialog(QTime(now.hour(), now.minute()).addSecs(3600), parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.time();
}
