// Linked into every program of ThreadSanitizer builds only.
//
// Debian's Qt is not built with ThreadSanitizer: QThread::wait() returns
// through a mutex inside libQt6Core that it cannot see, so it does not know
// that everything a thread did comes before the code after a wait() for it,
// and takes the deletion of a finished thread's objects for a race. These
// two definitions stand in for libQt6Core's own and mark that edge: the
// thread releases itself once run() has returned (finished is emitted in
// the thread), and a wait() that saw it end acquires it.

#include <QThread>
#include <QVariant>

#include <dlfcn.h>

extern "C" void __tsan_acquire(void *address);
extern "C" void __tsan_release(void *address);

namespace {

// libQt6Core's definitions, past these.
template<typename Function> Function next(const char *mangledName)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, mangledName));
}

const char releasesProperty[] = "_finderly_tsan_releases";

} // namespace

void QThread::start(Priority priority)
{
    static const auto realStart =
        next<void (*)(QThread *, Priority)>("_ZN7QThread5startENS_8PriorityE");
    // Once per thread object, however often it is started.
    if (!property(releasesProperty).isValid()) {
        setProperty(releasesProperty, true);
        connect(
            this, &QThread::finished, this, [this] { __tsan_release(this); }, Qt::DirectConnection);
    }
    realStart(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto realWait =
        next<bool (*)(QThread *, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = realWait(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}
