// readPageCount() and lastRunPage() on any text: a number exactly when the text has the syntax of
// one, the value the C library reads from it, and a last page between 0 and 32767. The first eight
// bytes also go to lastRunPage() as a double of any kind, NaN and infinities included.
#include "core/collect/pagecount.h"
#include "fuzzcheck.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Blanks, a sign, digits with an optional point (at least one digit on either side of it), an
// optional exponent with a sign and at least one digit, blanks; nothing else.
bool hasNumberSyntax(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto skipDigits = [&] {
        const qsizetype start = i;
        while (i < n && isDigit(text.at(i)))
            ++i;
        return i - start;
    };
    while (i < n && text.at(i) == u' ')
        ++i;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    qsizetype digits = skipDigits();
    if (i < n && text.at(i) == u'.') {
        ++i;
        digits += skipDigits();
    }
    if (digits == 0)
        return false;
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E')) {
        ++i;
        if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
            ++i;
        if (skipDigits() == 0)
            return false;
    }
    while (i < n && text.at(i) == u' ')
        ++i;
    return i == n;
}

void checkLastRunPage(double count)
{
    const int page = lastRunPage(count);
    FUZZ_CHECK(page >= 0 && page <= LastPossiblePage);
    if (!(count >= 1))
        FUZZ_CHECK(page == 0);
    else if (count >= LastPossiblePage)
        FUZZ_CHECK(page == LastPossiblePage);
    else
        FUZZ_CHECK(page == int(std::floor(count)) && page >= 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(Fuzz::bytesOf(data, size));
    const std::optional<double> count = readPageCount(text);
    FUZZ_CHECK(count.has_value() == hasNumberSyntax(text));
    if (count) {
        FUZZ_CHECK(!std::isnan(*count));
        // strtod() reads with the C locale here: nothing in this process calls setlocale().
        const double expected = std::strtod(text.toLatin1().constData(), nullptr);
        FUZZ_CHECK(std::isinf(*count) == std::isinf(expected));
        FUZZ_CHECK((*count < 0) == (expected < 0));
        FUZZ_CHECK(lastRunPage(*count) == lastRunPage(expected));
        checkLastRunPage(*count);
    }

    double raw = 0;
    std::memcpy(&raw, data, std::min(size, sizeof raw));
    checkLastRunPage(raw);
    return 0;
}
