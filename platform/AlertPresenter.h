#pragma once

#include "platform/Alert.h"

// Shows an alert and waits until it is dismissed.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // Returns the index of the button pressed (0 for the first or default button).
    virtual int run(const Alert &alert) = 0;
};
