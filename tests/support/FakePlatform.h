#pragma once

#include "platform/Platform.h"
#include "tests/support/FakeAlertPresenter.h"
#include "tests/support/FakeApplication.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeLoginItemService.h"
#include "tests/support/FakePowerAssertions.h"
#include "tests/support/FakePowerSourceInfo.h"
#include "tests/support/FakeSettingsStore.h"
#include "tests/support/FakeUrlOpener.h"

// A full set of fakes; any member can be swapped for a real backend before platform() is read.
struct FakePlatform {
    FakeApplication application;
    FakeAlertPresenter alerts;
    FakeUrlOpener urlOpener;
    FakePowerAssertions powerAssertions;
    FakePowerSourceInfo powerSource;
    FakeSettingsStore settings;
    FakeClock clock;
    FakeLoginItemService loginItems;

    Platform platform() {
        return Platform{&application, &alerts,   &urlOpener, &powerAssertions,
                        &powerSource, &settings, &clock,     &loginItems};
    }
};
