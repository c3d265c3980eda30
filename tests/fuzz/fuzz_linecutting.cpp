// The runner's line cutting with the tool's output in arbitrary chunks.
//
// Input: one byte n, then n cut offsets of two bytes each (little endian,
// taken modulo the output's length plus one), then the output. The chunks
// run between the sorted offsets, so empty chunks occur too.

#include "fuzzing.h"
#include "lenscoutrunner.h"

#include <QList>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>

namespace {

using Chunks = QList<QByteArray>;

struct Input
{
    Chunks chunks;
    QByteArray output;
};

Input split(const QByteArray &input)
{
    const int cuts = input.isEmpty() ? 0 : quint8(input[0]);
    const qsizetype header = qMin(input.size(), qsizetype(1 + 2 * cuts));
    Input result{{}, input.mid(header)};
    QList<qsizetype> offsets;
    for (qsizetype i = 1; i + 1 < header; i += 2) {
        const int value = quint8(input[i]) | quint8(input[i + 1]) << 8;
        offsets << value % (result.output.size() + 1);
    }
    std::sort(offsets.begin(), offsets.end());
    qsizetype from = 0;
    for (const qsizetype to : std::as_const(offsets)) {
        result.chunks << result.output.mid(from, to - from);
        from = to;
    }
    result.chunks << result.output.mid(from);
    return result;
}

// The lines a new runner emits for chunks, handed over as the child process
// does.
QStringList cut(const Chunks &chunks)
{
    Lenscout runner;
    QStringList lines;
    QObject::connect(&runner, &Lenscout::dataReceived,
                     [&lines](const QString &line) { lines << line; });
    for (const QByteArray &chunk : chunks) {
        QMetaObject::invokeMethod(&runner, "handleDataReceived", Qt::DirectConnection,
                                  Q_ARG(QByteArray, chunk));
    }
    return lines;
}

bool isEmptyLine(const QString &line)
{
    return line == QLatin1String("\r\n") || line == QLatin1String("\n");
}

// Positions in text reachable from those in from by skipping empty lines.
QSet<qsizetype> afterEmptyLines(const QString &text, QSet<qsizetype> from)
{
    QList<qsizetype> todo(from.begin(), from.end());
    while (!todo.isEmpty()) {
        const qsizetype at = todo.takeLast();
        for (const QLatin1String empty : {QLatin1String("\r\n"), QLatin1String("\n")}) {
            if (QStringView(text).mid(at).startsWith(empty) && !from.contains(at + empty.size())) {
                from << at + empty.size();
                todo << at + empty.size();
            }
        }
    }
    return from;
}

// True when text is the lines in order, with empty lines anywhere between
// them, and a rest behind them that holds no line end yet.
bool coversAll(const QString &text, const QStringList &lines)
{
    QSet<qsizetype> positions{0};
    for (const QString &line : lines) {
        QSet<qsizetype> next;
        for (const qsizetype at : afterEmptyLines(text, positions)) {
            if (QStringView(text).mid(at).startsWith(line))
                next << at + line.size();
        }
        positions = next;
    }
    const QSet<qsizetype> ends = afterEmptyLines(text, positions);
    return std::any_of(ends.begin(), ends.end(),
                       [&text](qsizetype at) { return !text.mid(at).contains(QLatin1Char('\n')); });
}

// "\r\n" anywhere in the buffer goes before a lone "\n", so output with both
// kinds of line end is cut where the chunks let each one be seen first.
bool mixesLineEnds(const QString &text)
{
    bool crlf = false;
    bool lf = false;
    for (qsizetype i = text.indexOf(QLatin1Char('\n')); i >= 0;
         i = text.indexOf(QLatin1Char('\n'), i + 1)) {
        (i > 0 && text[i - 1] == QLatin1Char('\r') ? crlf : lf) = true;
    }
    return crlf && lf;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzzing::setUp();
    const Input input = split(Fuzzing::bytes(data, size));
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(input.output);

    const QStringList lines = cut(input.chunks);
    for (const QString &line : lines) {
        FUZZ_CHECK(line.endsWith(QLatin1Char('\n')));
        FUZZ_CHECK(!isEmptyLine(line));
    }
    FUZZ_CHECK(coversAll(text, lines));
    if (!mixesLineEnds(text))
        FUZZ_CHECK(lines == cut({input.output}));
    return 0;
}
