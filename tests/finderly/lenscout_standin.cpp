// Stands in for Lenscout in the runner tests: prints StandIn::output slowly,
// in odd chunks, and then keeps running until it is killed, as the real tool
// does while it waits for late answers. With "--exit" it prints at once and
// ends. It never touches the network.

#include "standin.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Holds the parent's lock for as long as this process lives; false if an
// earlier stand-in still holds it.
bool takeLock()
{
    const int fd =
        open(QFile::encodeName(StandIn::lockPath(getppid())).constData(), O_RDWR | O_CREAT, 0600);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
}

void writeAll(const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = write(STDOUT_FILENO, data, size_t(size));
        if (written <= 0)
            return;
        data += written;
        size -= written;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const qint64 started = StandIn::monotonicMs();
    const bool alone = takeLock();
    QFile status(StandIn::statusPath(getppid()));
    if (status.open(QIODevice::Append)) {
        status.write(QByteArray::number(qint64(getpid())) + ' ' + QByteArray::number(started) +
                     (alone ? " alone\n" : " overlap\n"));
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
        usleep(15000);
    }
    for (;;)
        pause();
}
