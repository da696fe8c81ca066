#pragma once

#include <QString>

namespace skyfault::ui {

// Gives a control the name of the member that holds it, as the windows'
// tests and accessibility tools find it.
template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

}  // namespace skyfault::ui
