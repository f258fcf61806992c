#include "preferences/PreferencesWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

PreferencesWindow::PreferencesWindow(std::function<void()> onClose)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint)
    , m_onClose(std::move(onClose))
    , m_column(new QWidget(this)) {
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(margin, margin, margin, margin);
    outer->setSpacing(0);
    outer->addWidget(m_column);
    outer->addStretch(1);
    setFixedSize(contentWidth, contentHeight);
}

void PreferencesWindow::fitHeightToContent() {
    const int columnWidth = contentWidth - 2 * margin;
    const int columnHeight = m_column->hasHeightForWidth() ? m_column->heightForWidth(columnWidth)
                                                           : m_column->sizeHint().height();
    setFixedSize(contentWidth, std::max(contentHeight, columnHeight + 2 * margin));
}

void PreferencesWindow::centerOnScreen() {
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void PreferencesWindow::closeEvent(QCloseEvent *event) {
    // Closing hides the window; the controller keeps it and its controls for the next opening.
    if (m_onClose)
        m_onClose();
    event->accept();
}
