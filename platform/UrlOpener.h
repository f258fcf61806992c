#pragma once

#include <QUrl>

// Hands a URL to the desktop's handler for it.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool open(const QUrl &url) = 0;
};
