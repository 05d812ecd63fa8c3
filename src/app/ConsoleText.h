#pragma once

#include "condition/Condition.h"

namespace kvp {

// A condition as one line for standard error, in English, without the program's
// name in front. Empty for conditions the console does not mention.
QString consoleText(Condition condition, const Facts &facts);

// A period in seconds as the words give it: "0.9", "15".
QString secondsText(int milliseconds);

} // namespace kvp
