#include "tools/samplemarket.h"

#include <QByteArray>
#include <QString>
#include <QStringEncoder>

#include <cstdint>

namespace SampleMarket {

namespace {

// A small generator of our own: the same seed gives the same names on every platform and
// standard library, which std::uniform_int_distribution does not promise.
class Random
{
public:
    explicit Random(std::uint64_t seed)
        : m_state(seed)
    { }

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // 0 .. bound-1
    int below(int bound) { return static_cast<int>(next() % static_cast<std::uint64_t>(bound)); }

    template <typename T, std::size_t N> const T &pick(const T (&items)[N])
    {
        return items[below(static_cast<int>(N))];
    }

private:
    std::uint64_t m_state;
};

std::uint64_t hashOf(const std::string &text, std::uint64_t salt)
{
    std::uint64_t hash = 0xCBF29CE484222325ULL ^ salt;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001B3ULL;
    }
    return Random(hash).next();
}

const char *const Syllables[] = { "zhong", "guo", "hua", "xin", "tian", "long", "feng", "yun", "shan", "hai", "jin",
    "bao", "fu", "kang", "mei", "le", "an", "xing", "da", "tong", "wang", "ming", "yu", "chen", "lin", "hong", "sheng",
    "jia", "bei", "nan", "dong", "xi", "qi", "hao", "rui", "wei", "you", "ke", "ji", "shi", "tao", "bai", "ling", "zhi",
    "kuai", "yi", "ding", "chuang", "ai", "mai", "che", "fang", "wu", "cai", "pin" };
const char *const Letters = "abcdefghijklmnopqrstuvwxyz";
const char *const Consonants = "bcdfghjklmnpqrstwxyz";

struct Tld
{
    const char *suffix;
    int weight;
};
const Tld Tlds[] = { { ".com", 30 }, { ".cn", 20 }, { ".net", 12 }, { ".com.cn", 10 }, { ".cc", 8 }, { ".org", 6 },
    { ".net.cn", 4 }, { ".top", 4 }, { ".vip", 3 }, { ".xyz", 3 } };

std::string pickTld(Random &random)
{
    int total = 0;
    for (const Tld &tld : Tlds)
        total += tld.weight;
    int roll = random.below(total);
    for (const Tld &tld : Tlds) {
        if (roll < tld.weight)
            return tld.suffix;
        roll -= tld.weight;
    }
    return ".com";
}

std::string digits(Random &random, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += static_cast<char>('0' + random.below(10));
    return text;
}

std::string makeLabel(Random &random)
{
    switch (random.below(16)) {
    case 0:
    case 1:
    case 2:
    case 9:
    case 10:
    case 11:
    case 12: // two syllables: "xinhua"
        return std::string(random.pick(Syllables)) + random.pick(Syllables);
    case 3: // three syllables: "zhongguolong"
        return std::string(random.pick(Syllables)) + random.pick(Syllables) + random.pick(Syllables);
    case 4: { // letters and digits: "k52", "ab8"
        std::string text;
        for (int i = 0, n = 1 + random.below(2); i < n; ++i)
            text += Letters[random.below(26)];
        return text + digits(random, 1 + random.below(3));
    }
    case 5: // all digits: "8816"
        return std::to_string(1 + random.below(9)) + digits(random, 3 + random.below(2));
    case 6:
    case 13:
    case 14: // a syllable and a lucky number: "hua88"
        return std::string(random.pick(Syllables)) + digits(random, 2 + random.below(2));
    case 7: { // initials: "zgjx"
        std::string text;
        for (int i = 0, n = 3 + random.below(2); i < n; ++i)
            text += Consonants[random.below(20)];
        return text;
    }
    case 8: // short letter word with a digit in front: "5ikan"
        return std::to_string(random.below(10)) + random.pick(Syllables);
    default: // now and then hyphenated: "tian-yun"
        return std::string(random.pick(Syllables)) + "-" + random.pick(Syllables);
    }
}

// Day of June 2024 on which the domain is deleted, 1 to 28.
int deletionDay(const std::string &domain)
{
    return 1 + static_cast<int>(hashOf(domain, 7) % 28);
}

std::string twoDigits(int value)
{
    return (value < 10 ? "0" : "") + std::to_string(value);
}

std::string escapeHtml(const std::string &text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string lowerCase(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string upperCase(std::string text)
{
    for (char &c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// "/search?p=N" wants a page number; anything else gets the page without rows.
int pageNumberOf(const std::string &text)
{
    if (text.empty() || text.size() > 6)
        return 0;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string indexPage(int pageCount)
{
    return "<!DOCTYPE html>\r\n<html lang=\"zh-CN\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
           "<title>示例域名市场</title>\r\n</head>\r\n<body>\r\n<h1>示例域名市场</h1>\r\n<ul>\r\n"
           "<li><a href=\"/search?p=1\">删除域名列表</a>（共 "
        + std::to_string(pageCount)
        + " 页）</li>\r\n"
          "<li><a href=\"/version/main.txt\">版本文件</a></li>\r\n</ul>\r\n</body>\r\n</html>\r\n";
}

} // namespace

std::vector<std::string> namesForPage(int pageNo)
{
    Random random(0x5EED0000ULL + static_cast<std::uint64_t>(static_cast<std::uint32_t>(pageNo)) * 7919ULL);
    std::vector<std::string> names;
    names.reserve(RowsPerPage);
    for (int i = 0; i < RowsPerPage; ++i)
        names.push_back(makeLabel(random) + pickTld(random));
    return names;
}

std::string resultsPage(const std::vector<std::string> &names)
{
    std::string page = "<!DOCTYPE html>\r\n"
                       "<html lang=\"zh-CN\">\r\n"
                       "<head>\r\n"
                       "<meta charset=\"utf-8\">\r\n"
                       "<title>删除域名查询 - 示例域名市场</title>\r\n"
                       "<link rel=\"stylesheet\" href=\"/static/site.css\">\r\n"
                       "</head>\r\n"
                       "<body>\r\n"
                       "<div class=\"header\"><a href=\"/\">首页</a> | <a href=\"/search?p=1\">删除域名</a></div>\r\n"
                       "<div id=\"booking-list\" class=\"result\">\r\n"
                       "<table class=\"list\" cellspacing=\"0\">\r\n"
                       "<tr>\r\n"
                       "    <th>域名</th>\r\n"
                       "    <th>长度</th>\r\n"
                       "    <th>删除日期</th>\r\n"
                       "    <th>预订价</th>\r\n"
                       "    <th>操作</th>\r\n"
                       "</tr>\r\n";
    for (const std::string &name : names) {
        const std::string label = name.substr(0, name.find('.'));
        page += "<tr>\r\n"
                "    <td><a href=\"/backorder/"
            + name + "\" target=\"_blank\">" + escapeHtml(name)
            + "</a></td>\r\n"
              "    <td>"
            + std::to_string(label.size())
            + "</td>\r\n"
              "    <td>2024-06-"
            + twoDigits(deletionDay(name))
            + "</td>\r\n"
              "    <td>"
            + std::to_string(60 + static_cast<int>(hashOf(name, 3) % 9) * 10)
            + "元</td>\r\n"
              "    <td><a class=\"btn\" href=\"/backorder/"
            + name + "\">预订</a></td>\r\n</tr>\r\n";
    }
    page += "</table>\r\n"
            "<div class=\"pagination\"><a href=\"/search?p=1\">首页</a> <a href=\"/search?p=1\">1</a> "
            "<a href=\"/search?p=2\">2</a> <a href=\"/search?p=3\">3</a> <span>...</span></div>\r\n"
            "</div>\r\n"
            "<div class=\"footer\">示例域名市场 &copy; 2024</div>\r\n"
            "</body>\r\n"
            "</html>\r\n";
    return page;
}

BackorderInfo backorderInfoFor(const std::string &domain)
{
    Random random(hashOf(domain, 11));
    BackorderInfo info;
    info.domain = domain;
    const char *const deletionTypes[] = { "过期删除", "赎回期删除", "正常删除", "注册商删除" };
    info.deletionType = random.pick(deletionTypes);

    const int day = deletionDay(domain);
    const int hour = random.below(24);
    const int minute = random.below(6) * 10;
    info.deletionTime = "2024-06-" + twoDigits(day) + " " + twoDigits(hour) + ":" + twoDigits(minute) + ":00";
    info.bookingDeadline = "2024-06-" + twoDigits(day) + " " + twoDigits(hour > 2 ? hour - 2 : 0) + ":00:00";

    const int createdYear = 2005 + random.below(18);
    const std::string created
        = std::to_string(createdYear) + "-" + twoDigits(1 + random.below(12)) + "-" + twoDigits(1 + random.below(28));
    info.whois = "Domain Name: " + upperCase(domain) + "\n"
        + "Registry Domain ID: " + std::to_string(20240000 + random.below(9999)) + "s" + digits(random, 6) + "\n"
        + "Registrar WHOIS Server: whois.registrar.example\n" + "Updated Date: 2024-04-"
        + twoDigits(1 + random.below(28)) + "T08:00:00Z\n" + "Creation Date: " + created + "T02:15:31Z\n"
        + "Registry Expiry Date: 2024-04-" + twoDigits(1 + random.below(28)) + "T02:15:31Z\n"
        + "Registrar: Example Registrar Co., Ltd.\n" + "Domain Status: pendingDelete\n"
        + "Domain Status: redemptionPeriod\n" + "Name Server: NS1.DNS.EXAMPLE\n" + "Name Server: NS2.DNS.EXAMPLE\n"
        + "DNSSEC: unsigned";

    const char *const platforms[] = { "国际通道", "国内通道", "合作平台", "Vexlon直连" };
    info.platform = random.pick(platforms);
    const int dollars = 9 + random.below(60);
    const int cents = random.below(100);
    info.price = "US$" + std::to_string(dollars) + "." + twoDigits(cents);
    const int fen = (dollars * 100 + cents) * 72 / 10; // 7.2 yuan to the dollar
    info.rmb = std::to_string(fen / 100) + "." + twoDigits(fen % 100);
    const char *const deposits[] = { "0", "20", "50", "100" };
    info.deposit = random.pick(deposits);
    info.bookingClosed = hashOf(domain, 5) % 5 == 0;
    return info;
}

std::string backorderPage(const BackorderInfo &info)
{
    const std::string name = escapeHtml(info.domain.empty() ? std::string("(未知域名)") : info.domain);
    std::string page = "<!DOCTYPE html>\r\n"
                       "<html lang=\"zh-CN\">\r\n"
                       "<head>\r\n"
                       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\r\n"
                       "<title>"
        + name
        + " 域名预订 - 示例域名市场</title>\r\n"
          "</head>\r\n"
          "<body>\r\n"
          "<div class=\"header\"><a href=\"/\">首页</a> | <a href=\"/search?p=1\">删除域名</a></div>\r\n"
          "<div class=\"detail\">\r\n"
          "<h1>"
        + name
        + "</h1>\r\n"
          "<div class=\"info\">\r\n"
          "<p><label>删除类型：</label>"
        + info.deletionType
        + "</p>\r\n"
          "<p><label>删除时间：</label>"
        + info.deletionTime
        + "</p>\r\n"
          "<p><label>预订截止时间：</label>"
        + info.bookingDeadline + "</p>\r\n</div>\r\n";
    if (info.bookingClosed)
        page += "<div class=\"notice\">该域名的预订时间已过，请选择其他域名。</div>\r\n";
    // The action cell after the deposit matters: a reader takes each cell up to the next "<td>".
    page += "<div class=\"price\">\r\n"
            "<table cellspacing=\"0\">\r\n"
            "<tr><th>预定平台</th><th>预定价格</th><th>折合人民币</th><th>保证金</th><th>操作</th></tr>\r\n"
            "<tr><td>"
        + info.platform + "</td><td>" + info.price + "</td><td>" + info.rmb + "</td><td>" + info.deposit + "</td><td>"
        + (info.bookingClosed ? std::string("已截止") : "<a class=\"btn\" href=\"/order/" + name + "\">立即预订</a>")
        + "</td></tr>\r\n"
          "</table>\r\n"
          "</div>\r\n"
          "<div class=\"whois\">\r\n"
          "<h2>whois信息</h2>\r\n"
          "<pre>"
        + escapeHtml(info.whois)
        + "</pre>\r\n"
          "</div>\r\n"
          "</div>\r\n"
          "</body>\r\n"
          "</html>\r\n";
    return page;
}

std::string icpLicenceFor(const std::string &domain)
{
    const std::uint64_t hash = hashOf(lowerCase(domain), 17);
    if (hash % 2 == 0)
        return std::string();
    Random random(hash);
    const char *const provinces[] = { "京", "沪", "粤", "浙", "苏", "闽", "川", "鲁", "豫", "鄂" };
    return std::string(random.pick(provinces)) + "ICP备" + std::to_string(1 + random.below(9)) + digits(random, 7)
        + "号-" + std::to_string(1 + random.below(3));
}

bool inSampleDns(const std::string &name)
{
    return hashOf(lowerCase(name), 29) % 5 < 3;
}

std::string icpPage(const std::string &licence)
{
    std::string page = "<!DOCTYPE html>\r\n"
                       "<html>\r\n"
                       "<head>\r\n"
                       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">\r\n"
                       "<title>ICP备案查询</title>\r\n"
                       "</head>\r\n"
                       "<body>\r\n"
                       "<div class=\"icp\">\r\n";
    if (licence.empty()) {
        page += "<p class=\"empty\">没有查询到备案信息：该域名未备案，或备案信息尚未更新。</p>\r\n";
    } else {
        const char *const kinds[] = { "企业", "个人", "事业单位" };
        const std::string kind = kinds[hashOf(licence, 23) % 3];
        page += "<table class=\"icp-info\">\r\n"
                "<tr><td>主办单位性质</td><td>"
            + kind
            + "</td></tr>\r\n"
              "<tr><td>网站备案/许可证号</td><td>"
            + licence
            + "</td></tr>\r\n"
              "<tr><td>审核通过时间</td><td>2021-03-15</td></tr>\r\n"
              "</table>\r\n";
    }
    page += "</div>\r\n</body>\r\n</html>\r\n";
    return page;
}

std::string versionFile(const std::string &version)
{
    return "qvrt:" + version + "|";
}

std::string toGbk(const std::string &utf8)
{
    QStringEncoder encoder("GB18030");
    const QByteArray bytes = encoder.encode(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string SamplePage::bytes() const
{
    return gbk ? toGbk(text) : text;
}

std::string SamplePage::contentType() const
{
    return std::string(html ? "text/html" : "text/plain") + (gbk ? "; charset=gbk" : "; charset=utf-8");
}

SamplePage samplePageFor(
    const std::string &path, const std::string &pageParameter, int pageCount, const std::string &publishedVersion)
{
    const std::string backorder = "/backorder/";
    if (path == "/search") {
        const int pageNo = pageNumberOf(pageParameter);
        const bool listed = pageNo >= 1 && pageNo <= pageCount;
        return { resultsPage(listed ? namesForPage(pageNo) : std::vector<std::string>()), false, true };
    }
    if (path.compare(0, backorder.size(), backorder) == 0)
        return { backorderPage(backorderInfoFor(path.substr(backorder.size()))), true, true };
    // A line of Chinese before the entry, as the maker's own file has.
    if (path == "/version/main.txt")
        return { "# Vexlon系列软件 版本信息\r\n" + versionFile(publishedVersion) + "\r\n", true, false };
    if (path == "/")
        return { indexPage(pageCount), false, true };
    return { icpPage(icpLicenceFor(path.substr(1))), true, true };
}

} // namespace SampleMarket
