// Linked into every program of ThreadSanitizer builds only.
//
// Qt starts a child process with a vfork-like clone (CLONE_VM | CLONE_VFORK).
// ThreadSanitizer's clone interceptor runs its after-fork code for the child
// in the address space that the child shares with this process: that marks
// the parent's thread as a forked child, so reports on it are dropped from
// then on and the next thread start ends the program. This clone goes to the
// C library's own, past the interceptor, so that ThreadSanitizer keeps
// watching the parent; the child only runs until its exec.

#include <cstdarg>
#include <dlfcn.h>
#include <sys/types.h>

using CloneFunction = int (*)(int (*)(void *), void *, int, void *, ...);

extern "C" int clone(int (*function)(void *), void *stack, int flags, void *argument, ...)
{
    static const auto libcClone = reinterpret_cast<CloneFunction>(
        dlsym(dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD), "clone"));
    va_list rest;
    va_start(rest, argument);
    pid_t *parentTid = va_arg(rest, pid_t *);
    void *tls = va_arg(rest, void *);
    pid_t *childTid = va_arg(rest, pid_t *);
    va_end(rest);
    return libcClone(function, stack, flags, argument, parentTid, tls, childTid);
}
