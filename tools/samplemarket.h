// The sample marketplace: results pages, backorder pages, ICP lookup pages and the version
// file, in exactly the formats the collector reads. Served by FakeSite (tools/fakesite.h) to the
// sample-market program and the tests. All texts are UTF-8 here; serving converts where a page is GBK.
#pragma once

#include <string>
#include <vector>


namespace SampleMarket {

inline constexpr int RowsPerPage = 50;

// 50 realistic names for a results page, the same for the same page number.
std::vector<std::string> namesForPage(int pageNo);
// A whole results page listing these names in the marketplace's row markup, with the results
// marker before the table and the pagination marker after it.
std::string resultsPage(const std::vector<std::string> &names);

struct BackorderInfo
{
    std::string domain; // shown in the page's title and heading
    std::string deletionType;
    std::string deletionTime;
    std::string bookingDeadline;
    std::string whois; // several lines
    std::string platform;
    std::string price;
    std::string rmb;
    std::string deposit;
    bool bookingClosed = false; // the page then says "该域名的预订时间已过" (and still has the table)
};
BackorderInfo backorderInfoFor(const std::string &domain);
std::string backorderPage(const BackorderInfo &info);

// The licence number of a domain's website, empty when the domain is not filed.
std::string icpLicenceFor(const std::string &domain);
// An ICP lookup page: the licence-number row when licence is not empty, else the not-filed text.
std::string icpPage(const std::string &licence);

// Whether the sample's DNS server says a name ("abc.com") is taken: about three in five are, the same
// every time; the rest are not in DNS.
bool inSampleDns(const std::string &name);

// "qvrt:" + version + "|", the way the update server publishes it.
std::string versionFile(const std::string &version);

std::string toGbk(const std::string &utf8);

// What the sample marketplace answers at a path: "/search" (with the value of "p"),
// "/backorder/<domain>", "/version/main.txt", "/" or "/<domain>" (the ICP lookup site).
struct SamplePage
{
    std::string text; // UTF-8
    bool gbk = false; // goes out in GBK
    bool html = true; // else plain text

    std::string bytes() const; // the text in the charset it goes out in
    std::string contentType() const; // "text/html; charset=gbk" and the like
};
// Results pages 1..pageCount have rows, others none; the version file announces publishedVersion.
SamplePage samplePageFor(
    const std::string &path, const std::string &pageParameter, int pageCount, const std::string &publishedVersion);

} // namespace SampleMarket
