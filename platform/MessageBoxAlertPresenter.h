#pragma once

#include "platform/AlertPresenter.h"

// Alerts as modal QMessageBoxes, texts always plain.
class MessageBoxAlertPresenter final : public AlertPresenter {
public:
    int run(const Alert &alert) override;
};
