#pragma once
// Hands a document, address or program to the desktop. Failures are not reported:
// the caller has nothing to offer in their place.
#include <functional>

#include <QDesktopServices>
#include <QUrl>

namespace rollmode::shell {

using UrlOpener = std::function<void(const QUrl&)>;

inline UrlOpener DesktopUrlOpener() {
    return [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

}  // namespace rollmode::shell
