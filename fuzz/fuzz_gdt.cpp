// Feeds arbitrary bytes to the GDT reader and, for what it accepts, the request
// checks; a record the reader accepted and the writer can write must read back
// with the same lines.
#include "core/exchange/gdt_exchange.h"
#include "core/exchange/gdt_record.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    GdtRecord record;
    if (!ParseGdt(bytes, record))
        return 0;
    GdtRequest request;
    ReadGdtRequest(record, request);

    QByteArray written;
    if (!SerializeGdt(record, written))
        return 0;
    GdtRecord again;
    if (!ParseGdt(written, again) || again.lines.size() != record.lines.size())
        std::abort();
    for (std::size_t i = 0; i < record.lines.size(); ++i)
        if (again.lines[i].field != record.lines[i].field || again.lines[i].value != record.lines[i].value)
            std::abort();
    return 0;
}
