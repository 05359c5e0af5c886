#pragma once
// A control group's reference to one widget of the main window, with the handler
// the group installed on it. Storing another widget (or none) takes the handler off
// the previous one, so a replaced widget no longer drives the group; a widget
// destroyed before the group reads as null.
#include <QMetaObject>
#include <QObject>
#include <QPointer>

namespace rollmode::controls {

template <typename Widget>
class ControlGroupLink {
public:
    ControlGroupLink() = default;
    ControlGroupLink(const ControlGroupLink&) = delete;
    ControlGroupLink& operator=(const ControlGroupLink&) = delete;
    ~ControlGroupLink() { QObject::disconnect(connection_); }

    Widget* get() const { return widget_.data(); }
    explicit operator bool() const { return !widget_.isNull(); }
    Widget* operator->() const { return widget_.data(); }

    // `install(widget)` connects the group's handler and returns the connection; it
    // is called only for a widget that is not null.
    template <typename Install>
    void Set(Widget* widget, Install install) {
        QObject::disconnect(connection_);
        connection_ = {};
        widget_ = widget;
        if (widget != nullptr) connection_ = install(widget);
    }

private:
    QPointer<Widget> widget_;
    QMetaObject::Connection connection_;
};

}  // namespace rollmode::controls
