// Runs a fuzz target on every file of the directories given, in name order,
// as libFuzzer runs a corpus: a broken invariant or a sanitizer report ends
// the process. A directory that does not exist holds no inputs.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QDir directory(QString::fromLocal8Bit(argv[i]));
        const QFileInfoList files = directory.entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo &info : files) {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(info.filePath()));
                return 1;
            }
            // A buffer of the input's exact size, so that AddressSanitizer
            // sees a read past its end.
            const QByteArray contents = file.readAll();
            const std::vector<uint8_t> input(contents.begin(), contents.end());
            std::fprintf(stderr, "%s\n", qPrintable(info.filePath()));
            LLVMFuzzerTestOneInput(input.data(), input.size());
            ++inputs;
        }
    }
    std::fprintf(stderr, "%d inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
