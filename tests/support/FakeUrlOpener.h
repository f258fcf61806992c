#pragma once

#include "platform/UrlOpener.h"

#include <QList>

class FakeUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl &url) override {
        opened << url;
        return true;
    }
    QList<QUrl> opened;
};
