#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QString>

// Texts from settings or servers (a token, a chat id, a pairing code) must show as typed: never
// as rich text, and never with '&' taken as a keyboard mnemonic.
namespace PlainText {

inline QString escapedMnemonics(QString text) {
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

inline void setButtonTitle(QAbstractButton *button, const QString &title) {
    button->setText(escapedMnemonics(title));
}

// The title a user reads on the button.
inline QString buttonTitle(const QAbstractButton *button) {
    return button->text().replace(QLatin1String("&&"), QLatin1String("&"));
}

inline QLabel *label(const QString &text) {
    auto *label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

} // namespace PlainText
