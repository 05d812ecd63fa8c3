#pragma once

#include "condition/Condition.h"

#include <vector>

namespace kvp {

// A condition as one line for standard error, in English, without the program's
// name in front. Empty for conditions the console does not mention.
QString consoleText(Condition condition, const Facts &facts);

// A period in seconds as the words give it: "0.9", "15".
QString secondsText(int milliseconds);

// Addresses as --address takes them, runs of three or more as ranges: "0-2,4,7-31".
QString addressListText(const std::vector<int> &addresses);

// Modules on a bus set aside because they do not answer (facts: the port, how many
// are aside and how often each is asked).
QString silentText(const std::vector<int> &addresses, const Facts &facts);

// The start of reading a bus, said once for all its modules.
QString busReadingText(const std::vector<int> &addresses, const QString &port);

} // namespace kvp
