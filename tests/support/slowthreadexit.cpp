// Preloaded into the program by tests (LD_PRELOAD). Every thread the program
// starts lingers a moment in its thread-exit clean-up, and the process's exit
// clean-up waits a little longer at its end, the way a loaded machine may
// stretch both. Clean-up of a thread that still runs while the process tears
// its libraries down then lands after that teardown, every time.
#include <dlfcn.h>
#include <pthread.h>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr useconds_t threadLingerUs = 50000;
constexpr useconds_t exitLingerUs = 400000;

pthread_key_t lingerKey;

void linger(void*)
{
    ::usleep(threadLingerUs);
}

struct Start {
    void* (*routine)(void*);
    void* arg;
};

void* startLingering(void* raw)
{
    const Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    // Keys made earlier are cleaned up first: this one, made at load, holds
    // up every key the program's libraries make later.
    ::pthread_setspecific(lingerKey, &lingerKey);
    return start.routine(start.arg);
}

void exitLinger()
{
    ::usleep(exitLingerUs);
}

__attribute__((constructor)) void install()
{
    ::pthread_key_create(&lingerKey, linger);
    // Registered first, so it runs after every later exit handler.
    std::atexit(exitLinger);
}

} // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*routine)(void*), void* arg)
{
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto real = reinterpret_cast<Create>(::dlsym(RTLD_NEXT, "pthread_create"));
    auto* start = new Start{routine, arg};
    const int result = real(thread, attr, startLingering, start);
    if (result != 0)
        delete start;
    return result;
}
