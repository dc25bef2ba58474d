#include "config/cryptothreadstate.h"

#include <QtGlobal>

#if defined(Q_OS_UNIX)
#include <dlfcn.h>
#endif

void CryptoThreadState::release()
{
#if defined(Q_OS_UNIX)
    // Looked up rather than linked: the library arrives with SQLCipher (and
    // Qt's TLS plugin), and a process that never loaded it has nothing to free.
    using ThreadStop = void (*)();
    if (auto* stop = reinterpret_cast<ThreadStop>(::dlsym(RTLD_DEFAULT, "OPENSSL_thread_stop")))
        stop();
#endif
}
