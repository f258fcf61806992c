#pragma once

#include "platform/AlertPresenter.h"

#include <QList>
#include <functional>

// Records each alert; answers with the first button unless told otherwise.
class FakeAlertPresenter final : public AlertPresenter {
public:
    int run(const Alert &alert) override {
        shown << alert;
        if (onRun)
            onRun(alert);
        return answer;
    }

    QList<Alert> shown;
    int answer = 0;
    std::function<void(const Alert &)> onRun; // runs while the alert is "open"
};
