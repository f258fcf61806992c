#pragma once

#include "platform/LoginItemService.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>
#include <atomic>

// Answers as scripted and notes each call, and whether it ran on the main thread. Calls come
// from worker threads: tests read the record only after the answer reached the main thread.
class FakeLoginItemService final : public LoginItemService {
public:
    Status status() const override {
        note("status");
        return currentStatus;
    }
    bool registerItem() override {
        note("register");
        if (acceptChanges)
            currentStatus = Status::Enabled;
        return acceptChanges;
    }
    bool unregisterItem() override {
        note("unregister");
        if (acceptChanges)
            currentStatus = Status::NotRegistered;
        return acceptChanges;
    }

    Status currentStatus = Status::NotRegistered;
    bool acceptChanges = true;
    mutable QStringList calls;
    mutable std::atomic<int> callsOnMainThread = 0;

private:
    void note(const char *call) const {
        calls << QString::fromLatin1(call);
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            ++callsOnMainThread;
    }
};
