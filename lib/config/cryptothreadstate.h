#pragma once

#include "ulvex_export.h"

// The per-thread state of the crypto library behind SQLCipher and TLS.
class ULVEX_EXPORT CryptoThreadState {
public:
    // Frees the calling thread's state now. A thread that used the databases
    // calls it as the last thing it does: left to the thread's own exit
    // clean-up, the release could run while the main thread, leaving the
    // process, already tears the library down (a double free).
    static void release();
};
