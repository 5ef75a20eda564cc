// The CSV reader and writer.
//
// Any bytes are read without a crash or a hang, every record read is seven one-line cells of valid text, and the
// records as the import stores them, written as CSV and read again, come back unchanged.
#include "contacts/table_reader.h"
#include "contacts/writers.h"
#include "contacts_check.h"

#include <cstdint>

using namespace telvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const contacts::ContactList list =
        contacts::readCsv(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const QList<contacts::RecordTexts> stored = fuzzing::checkedAndTidied(list, "fuzz_csv");
    fuzzing::check(contacts::readCsv(contacts::writeCsv(stored)).records == stored, "fuzz_csv",
                   "records do not survive write and read");
    return 0;
}
