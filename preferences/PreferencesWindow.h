#pragma once

#include <QWidget>
#include <functional>

// The preferences window: a fixed 380-pixel-wide window that can be closed but neither resized
// nor minimised. Closing only hides it.
class PreferencesWindow final : public QWidget {
    Q_OBJECT

public:
    static constexpr int contentWidth = 380;
    static constexpr int contentHeight = 560;
    static constexpr int margin = 24;

    explicit PreferencesWindow(std::function<void()> onClose);

    // The column of controls, laid out from the top; free height stays below it.
    QWidget *column() const { return m_column; }

    // Keeps the fixed size, growing taller than 560 only as far as the rows need, so that no
    // row is cut off when the desktop's font is larger than the layout was drawn for.
    void fitHeightToContent();
    void centerOnScreen();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::function<void()> m_onClose;
    QWidget *m_column = nullptr;
};
