// friendlyName extraction and the record intake of both discovery ways.
//
// Input: a description document, then optionally a NUL byte and a location.
// The name found in the document and the location make the record that SSDP
// discovery emits; the whole input also goes in as a record line of its own.

#include "backend.h"
#include "descriptionfetcher.h"
#include "fuzzing.h"
#include "recordintake.h"

#include <QStringList>
#include <QUrl>

namespace {

const QLatin1String separator("] <");

// Each record makes exactly one pair.
QStringList intake(BackEnd &backEnd, void (*add)(const QString &), const QString &record)
{
    add(record);
    const QStringList pair = backEnd.getDevice();
    FUZZ_CHECK(pair.size() == 2);
    FUZZ_CHECK(backEnd.getDevice().isEmpty());
    return pair;
}

// A record as both discovery ways write it.
QString recordOf(const QString &name, const QString &address)
{
    return QLatin1Char('[') + name + separator + address + QLatin1String(">\r\n");
}

// The record of any name and of an address without the separator gives back
// both exactly; the prober's address is cut to its origin.
void checkRecord(BackEnd &backEnd, const QString &record, const QString &name,
                 const QString &address)
{
    const QStringList ssdp = intake(backEnd, addSsdpRecord, record);
    const QStringList lenscout = intake(backEnd, addLenscoutRecord, record);
    if (address.contains(separator))
        return;
    FUZZ_CHECK(ssdp == (QStringList{name, address}));
    FUZZ_CHECK(lenscout == (QStringList{name, originOf(address)}));
}

// The text between the first open and the first close character holds no
// close character, and stands in text between the two.
void checkTextBetween(const QString &text, QChar open, QChar close)
{
    const QString between = textBetween(text, open, close);
    FUZZ_CHECK(!between.contains(close));
    FUZZ_CHECK(between.isEmpty() || text.contains(open + between + close));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzzing::setUp();
    BackEnd &backEnd = Fuzzing::lasting<BackEnd>(); // the intake's queue, empty between inputs
    FUZZ_CHECK(backEndInstance == &backEnd);

    const QByteArray input = Fuzzing::bytes(data, size);
    const qsizetype nul = input.indexOf('\0');
    const QString description = QString::fromUtf8(nul < 0 ? input : input.left(nul));
    const QString location = nul < 0 ? QString() : QString::fromUtf8(input.mid(nul + 1));

    const QString name = DescriptionFetcher::friendlyName(description);
    const QLatin1String open("<friendlyName>");
    const QLatin1String close("</friendlyName>");
    FUZZ_CHECK(name == QLatin1String("Unknown") || description.contains(open + name + close));
    FUZZ_CHECK(!name.contains(close));

    checkRecord(backEnd, recordOf(name, location), name, location);
    const QUrl url(location, QUrl::TolerantMode);
    const QString emitted = DescriptionFetcher::record(name, url);
    FUZZ_CHECK(emitted == recordOf(name, url.toString()));
    checkRecord(backEnd, emitted, name, url.toString());

    const QString text = QString::fromUtf8(input);
    intake(backEnd, addSsdpRecord, text);
    intake(backEnd, addLenscoutRecord, text);
    checkTextBetween(text, QLatin1Char('['), QLatin1Char(']'));
    checkTextBetween(text, QLatin1Char('<'), QLatin1Char('>'));
    return 0;
}
