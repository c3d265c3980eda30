#pragma once

// What the fuzz targets share: libFuzzer's entry point, a check that turns a
// broken invariant into a crash, and a Qt set up once and kept quiet.

#include <QByteArray>
#include <QCoreApplication>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// Aborts with the failed condition, so that the fuzzer keeps the input and
// the replay names what broke.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace Fuzzing {

inline void dropMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

// An object for the whole run, never destroyed. At exit, Qt's own statics
// go before an object with static storage that was made ahead of them, and
// its destructor would reach into them: with Qt 6.8, the application object's
// destruction destroys some of them a second time. Reachable through its
// pointer, the object is no leak to LeakSanitizer.
template<typename T, typename... Arguments> T &lasting(Arguments &&...arguments)
{
    static T *const object = new T(std::forward<Arguments>(arguments)...);
    return *object;
}

// An application object for the classes that start timers or look for one,
// and no Qt messages but fatal ones: the code under test logs every line.
// Cheap enough to call for every input.
inline void setUp()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    lasting<QCoreApplication>(argc, argv);
    qInstallMessageHandler(dropMessage);
}

// The input without a copy; it is valid for the current call only.
inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace Fuzzing
