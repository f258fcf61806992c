#pragma once

#include <QDialog>
#include <QTime>
#include <optional>

class QTimeEdit;

// Asks for the clock time a period should last until.
class UntilTimeDialog final : public QDialog {
    Q_OBJECT

public:
    explicit UntilTimeDialog(const QTime &initial, QWidget *parent = nullptr);
    QTime time() const;

    // The chosen time, or nothing when the user cancelled.
    static std::optional<QTime> ask(QWidget *parent = nullptr);

private:
    QTimeEdit *m_edit;
};
