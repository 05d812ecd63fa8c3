#pragma once

#include "CycleSettings.h"

namespace kvp {

struct ScanSettings {
    // How long one address may take to answer. With the byte gap of quiet that
    // follows a silent address, 32 absent addresses take 32 x 100 ms: a whole scan
    // stays under 4 s on a quiet 19200 bit/s line.
    milliseconds answerTimeout{80};
    // Addresses whose answer came late or garbled in that quick pass are asked
    // once more, given this long. Zero: no second pass (the user chose the time-out).
    milliseconds retryTimeout{CycleSettings{}.replyTimeout};
    // Silence that ends an answer, and the quiet the line must keep before the next
    // address is asked.
    milliseconds byteGap{20};
    int firstAddress = 0;
    int lastAddress = 31;
    // Addresses silent in the quick pass are asked once more at its end, as briefly:
    // a module that loses some of its replies (a poor line) is then missed far less
    // often, and the one that answers only then is named (lossy()). Costs a pass
    // over the silent addresses again, with the user's time-out too.
    bool askSilentAgain = false;
    // Two-wire RS-485 adapters hear their own transmission: drop that echo.
    bool dropEcho = false;

    // A scan on the line the reader reads: the user's time-out is honoured for every
    // address; without one, the quick pass and the second chance.
    static ScanSettings like(const CycleSettings &reading)
    {
        ScanSettings s;
        s.dropEcho = reading.dropEcho;
        s.byteGap = reading.byteGap;
        if (!reading.adaptTimeout) {
            s.answerTimeout = reading.replyTimeout;
            s.retryTimeout = milliseconds(0);
        }
        return s;
    }
};

} // namespace kvp
