#pragma once

#include "platform/Condition.h"

namespace kvp {

// What the window shows for a condition. Every text the window has besides its
// form is made here, so that the window's language is decided in one place.
struct WindowText {
    QString title;
    QString status;  // the whole status line; empty: it stays as it is
    QString message; // for a message box; empty: none is needed
    QString hint;    // the tooltip over the value before anything was read
};

WindowText windowText(Condition condition, const Facts &facts);

} // namespace kvp
