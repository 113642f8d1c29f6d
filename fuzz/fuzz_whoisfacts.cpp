// readWhoisFacts() on any text: dates only from 1985 to 2100 and none from a text without digits,
// the registrar and the status codes pieces of the text, the name servers pieces of it in lower case.
#include "core/lookup/whoisfacts.h"
#include "fuzzcheck.h"

#include <algorithm>

namespace {

void checkDate(const QString &text, const QDateTime &date)
{
    if (!date.isValid())
        return;
    FUZZ_CHECK(date.timeSpec() == Qt::UTC);
    FUZZ_CHECK(date.date().year() >= WhoisFacts::EarliestYear && date.date().year() <= WhoisFacts::LatestYear);
    FUZZ_CHECK(std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit(); }));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (const QString &text : Fuzz::pageTexts(data, size)) {
        const WhoisFacts facts = readWhoisFacts(text);
        checkDate(text, facts.created);
        checkDate(text, facts.expires);
        checkDate(text, facts.updated);
        FUZZ_CHECK(text.contains(facts.registrar));
        FUZZ_CHECK(facts.registrar.size() <= WhoisFacts::MaxRegistrarChars);
        for (const QString &status : facts.statuses)
            FUZZ_CHECK(!status.isEmpty() && text.contains(status));
        const QString lower = text.toLower();
        for (const QString &server : facts.nameServers)
            FUZZ_CHECK(!server.isEmpty() && lower.contains(server) && !server.contains(u' '));
        FUZZ_CHECK(facts == readWhoisFacts(text));
    }
    return 0;
}
