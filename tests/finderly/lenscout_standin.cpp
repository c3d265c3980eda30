// Stands in for Lenscout in the runner tests: prints StandIn::output slowly,
// in odd chunks, and then keeps running until it is killed, as the real tool
// does while it waits for late answers. With "--exit" it prints at once and
// ends. It never touches the network.

#include "standin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

qint64 parentPid()
{
#ifdef Q_OS_WIN
    const DWORD self = GetCurrentProcessId();
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !parent;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self)
            parent = entry.th32ParentProcessID;
    }
    CloseHandle(snapshot);
    return parent;
#else
    return getppid();
#endif
}

// Holds the parent's lock for as long as this process lives; false if an
// earlier stand-in still holds it.
bool takeLock()
{
    const QString path = StandIn::lockPath(parentPid());
#ifdef Q_OS_WIN
    // A file opened without sharing stays locked until its process ends.
    const HANDLE file = CreateFileW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
        GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file != INVALID_HANDLE_VALUE;
#else
    const int fd = open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT, 0600);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
#endif
}

void writeAll(const char *data, qsizetype size)
{
    std::fwrite(data, 1, size_t(size), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    const qint64 started = StandIn::monotonicMs();
#ifdef Q_OS_WIN
    // The output holds the CR LF of a Windows pipe already.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const bool alone = takeLock();
    QFile status(StandIn::statusPath(parentPid()));
    if (status.open(QIODevice::Append)) {
        status.write(QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
                     QByteArray::number(started) + (alone ? " alone\n" : " overlap\n"));
        status.close();
    }

    const bool exitAtOnce = argc > 1 && qstrcmp(argv[1], "--exit") == 0;
    if (exitAtOnce) {
        writeAll(StandIn::output.constData(), StandIn::output.size());
        return 0;
    }
    // Chunk sizes that cut through the line ends and the multi-byte characters.
    const int chunkSizes[] = {1, 5, 2, 11, 3, 7, 4};
    qsizetype offset = 0;
    for (int i = 0; offset < StandIn::output.size(); ++i) {
        const qsizetype size = qMin<qsizetype>(chunkSizes[i % 7], StandIn::output.size() - offset);
        writeAll(StandIn::output.constData() + offset, size);
        offset += size;
        QThread::msleep(15);
    }
    for (;;)
        QThread::sleep(3600);
}
