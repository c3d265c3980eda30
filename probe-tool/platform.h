#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// The few operating-system and C-runtime calls that differ between Windows and
// the other platforms. Windows uses its own bounded functions and UUID
// service; elsewhere the same results are produced with portable code.
namespace Platform {

// "urn:uuid:" followed by a new UUID in 36 lower-case characters; only
// "urn:uuid:" when the operating system cannot turn the UUID into text.
QByteArray newMessageId();

// As sscanf_s(source, "%s", target, size): skips leading white space and copies
// the following run of non-white-space characters. A run that does not fit in
// size - 1 bytes leaves target empty; no run at all leaves target unchanged.
// Returns 1 when a run was copied, 0 when it did not fit, -1 when there was none.
int scanToken(const char *source, char *target, std::size_t size);

// As strcpy_s: copies source whole or, when it does not fit, leaves target empty.
// Returns false in the second case.
bool copyText(char *target, std::size_t size, const char *source);

// As sprintf_s: formats into target, which always ends up NUL-terminated.
// Returns the length of the text, or -1 when it was cut to fit.
int formatText(char *target, std::size_t size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// The "ProductVersion" text of the executable's version record ("1.0.0"), where
// Qt would show the record's numeric form (1.0.0.0). Empty where executables
// carry no version record, or when it cannot be read.
QString productVersion();

// Lets a write to a pipe that nobody reads fail with an error instead of
// ending the process (POSIX raises SIGPIPE; Windows has no such signal).
void ignoreBrokenPipe();

// Flushes standard output and ends the process at once with status, without
// running exit handlers or destructors while other threads are still at work.
[[noreturn]] void terminateProcess(int status);

} // namespace Platform
