#pragma once

#include "CycleSettings.h"

namespace kvp {

struct ScanSettings {
    // How long one address may take to answer. With the byte gap of quiet that
    // follows a silent address, 32 absent addresses take 32 x 100 ms: a whole scan
    // stays under 4 s on a quiet 19200 bit/s line.
    milliseconds answerTimeout{80};
    // Silence that ends an answer, and the quiet the line must keep before the next
    // address is asked.
    milliseconds byteGap{20};
    int firstAddress = 0;
    int lastAddress = 31;
    // Two-wire RS-485 adapters hear their own transmission: drop that echo.
    bool dropEcho = false;
};

} // namespace kvp
