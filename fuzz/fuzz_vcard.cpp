// The vCard reader and writer.
//
// Any bytes are read without a crash or a hang, every record read is seven one-line cells of valid text, and the
// records as the import stores them, written as vCards and read again, come back unchanged.
#include "contacts/vcard_reader.h"
#include "contacts/writers.h"
#include "contacts_check.h"

#include <cstdint>

using namespace telvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const contacts::ContactList list =
        contacts::readVCards(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const QList<contacts::RecordTexts> stored = fuzzing::checkedAndTidied(list, "fuzz_vcard");

    // Any reading will do for the round trip: the phonetic names are not read back.
    const contacts::PhoneticReading reading = [](QStringView text, bool) {
        return QStringList(text.size(), QStringLiteral("pin"));
    };
    qsizetype written = 0;
    const QByteArray file = contacts::writeVCards(stored, reading, &written);
    fuzzing::check(written == stored.size(), "fuzz_vcard", "a record was not written");
    fuzzing::check(contacts::readVCards(file).records == stored, "fuzz_vcard", "records do not survive write and read");
    return 0;
}
