#pragma once

#include <QFont>

namespace Ui {
class frmMain;
}

namespace kvp {

// The form's look as it was drawn on another platform: its fonts, mapped to fonts
// that exist here and carry its Chinese texts, the address label on its box's
// middle line, and a tooltip on every control. Returns the form's small font.
QFont dressForm(Ui::frmMain &ui);

} // namespace kvp
