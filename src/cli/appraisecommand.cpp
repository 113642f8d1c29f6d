// appraise [DOMAIN...]: each name's shape, tags and pinyin, as Chinese buyers read a name; nothing is
// fetched and no history is needed. One row per name, in the order given.
#include "cli/command.h"
#include "cli/progress.h"

#include <QCommandLineParser>
#include <QFile>

#include <unistd.h>

namespace {

class AppraiseCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("appraise"); }
    QString summary() const override
    {
        return QStringLiteral("Appraises domains as Chinese domain buyers do, fetching nothing: the given ones, or\n"
                              "one per line from stdin. One row per name, in the order given: the name, the shape\n"
                              "of the part before the suffix (N digit, L letter, - hyphen, H any other), its tags\n"
                              "(those --tag lists, in that order) and its pinyin (\"zhong'guo\"; empty when it does\n"
                              "not split into syllables). CSV and JSON also give the label, suffix and length.\n"
                              "Exit codes: 0 done, 1 stdout took no more, 2 bad usage.");
    }
    QString argumentsSyntax() const override { return QStringLiteral("[DOMAIN...]"); }
    HistoryUse historyUse() const override { return HistoryUse::Never; }
    bool namesOnly() const override { return false; }
    bool rowsComeOverTime() const override { return false; }

    void addOptions(QCommandLineParser &parser) override
    {
        parser.addPositionalArgument(
            QStringLiteral("DOMAIN"), QStringLiteral("Domains to appraise; none: read stdin."));
    }

    bool readOptions(const QCommandLineParser &parser, QString *error) override
    {
        return readGivenNames(parser, error);
    }

    // The text format leaves out what the name itself shows.
    QList<Column> columns() const override
    {
        return { { QStringLiteral("domain") }, { QStringLiteral("label"), false, false, false },
            { QStringLiteral("suffix"), false, false, false }, { QStringLiteral("length"), true, false, false },
            { QStringLiteral("shape") }, { QStringLiteral("tags"), false, true }, { QStringLiteral("pinyin") } };
    }

    void start() override
    {
        const QStringList names = givenNames();
        int shown = 0;
        for (const QString &name : names) {
            NameAppraisal appraisal;
            const FilterKey key = filterKeyOf(name, &appraisal);
            if (!passesFilter(key))
                continue;
            ++shown;
            const QStringList row { name, key.name.left(key.labelSize), key.name.mid(key.labelSize),
                QString::number(key.length), appraisal.shape, listValue(tagTexts(appraisal.tags)), appraisal.pinyin };
            if (!writeRow(row))
                return;
        }
        m_out->flush();
        const QString given = counted(names.size(), QStringLiteral("name"));
        m_progress->summary(m_settings.filter.isEmpty()
                ? QStringLiteral("appraise: %1").arg(given)
                : QStringLiteral("appraise: %1 of %2 through the filter").arg(shown).arg(given));
        finish(ExitCode::Done);
    }

protected:
    void stop() override { }

private:
    // The names given, or stdin's lines (a byte order mark, blanks around a name and empty lines dropped).
    QStringList givenNames() const
    {
        QStringList names;
        for (const QString &name : m_given) {
            if (!name.trimmed().isEmpty())
                names.append(name.trimmed());
        }
        if (!m_readStdin)
            return names;
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            return names;
        QString text = QString::fromUtf8(in.readAll());
        if (text.startsWith(QChar(0xfeff)))
            text.remove(0, 1);
        for (const QStringView line : QStringView(text).split(u'\n')) {
            const QStringView name = line.trimmed();
            if (!name.isEmpty())
                names.append(name.toString());
        }
        return names;
    }

};

} // namespace

std::unique_ptr<Command> makeAppraiseCommand()
{
    return std::make_unique<AppraiseCommand>();
}
