// Feeds arbitrary text to the help markup parser and the search: the first
// line is a query, the second a topic's title, the rest its body. Checks
// parse() gives one trimmed block per line with text, and search() keeps
// the topics' order, titled ones first, each holding every query word.

#include "Scratch.h"

#include "help/HelpTopics.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool blank(QChar c) { return c == u' ' || c == u'\t'; }

void checkParse(const QString &body)
{
    const QList<KLVOHelp::Block> blocks = KLVOHelp::parse(body);
    qsizetype lines = 0;
    for (const QString &line : body.split(u'\n'))
        lines += std::any_of(line.begin(), line.end(), [](QChar c) { return !blank(c); }) ? 1 : 0;
    if (blocks.size() != lines)
        broken("not one block per line with text");
    for (const KLVOHelp::Block &b : blocks) {
        if (b.text.isEmpty())
            broken("an empty block");
        if (b.text.contains(u'\n'))
            broken("a block holding a line break");
        // Lines are trimmed; a heading or bullet is the rest of its line after
        // the mark, which may start with more blanks.
        if (blank(b.text.back()) || (b.kind == KLVOHelp::Block::Kind::paragraph && blank(b.text.front())))
            broken("a block ending in a space or tab, or a paragraph starting with one");
    }
}

// Whether `sub` keeps the order of `list` (each topic of `list` is distinct by id).
bool inOrder(const QList<KLVOHelpTopic> &sub, const QList<KLVOHelpTopic> &list)
{
    qsizetype at = 0;
    for (const KLVOHelpTopic &t : sub) {
        while (at < list.size() && !(list[at] == t))
            ++at;
        if (at == list.size())
            return false;
        ++at;
    }
    return true;
}

void checkSearch(const QString &query, const QList<KLVOHelpTopic> &topics)
{
    const QList<KLVOHelpTopic> found = KLVOHelp::search(query, topics);
    const QStringList words = query.toLower().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        if (found != topics)
            broken("a query without words changed the list");
        return;
    }
    qsizetype titled = 0;
    while (titled < found.size()) {
        const QString title = KLVOHelp::fold(found[titled].title);
        if (!std::any_of(words.begin(), words.end(),
                         [&](const QString &w) { return title.contains(KLVOHelp::fold(w)); }))
            break;
        ++titled;
    }
    if (!inOrder(found.first(titled), topics) || !inOrder(found.sliced(titled), topics))
        broken("search() changed the order of the topics");
    for (const KLVOHelpTopic &t : found) {
        const QString text = KLVOHelp::fold(t.title + u'\n' + t.body + u'\n' + t.keywords.join(u' '));
        for (const QString &w : words) {
            if (!text.contains(KLVOHelp::fold(w)))
                broken("a topic listed without one of the words");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = Fuzz::text(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    const qsizetype firstBreak = input.indexOf(u'\n');
    const QString query = firstBreak < 0 ? input : input.first(firstBreak);
    const QString rest = firstBreak < 0 ? QString() : input.sliced(firstBreak + 1);
    const qsizetype secondBreak = rest.indexOf(u'\n');
    KLVOHelpTopic own{QStringLiteral("fuzz"), secondBreak < 0 ? rest : rest.first(secondBreak),
                      secondBreak < 0 ? QString() : rest.sliced(secondBreak + 1), {}};

    checkParse(input);
    checkParse(own.body);

    // The kit's two topics beside the input's own: the program's thirty long
    // ones would slow every run down to a crawl.
    static const QList<KLVOHelpTopic> program = KLVOHelp::allTopics({});
    QList<KLVOHelpTopic> topics = program;
    topics.append(own);
    checkSearch(query, topics);

    // Every word of a topic's title finds it, also typed in capitals (for
    // plain ASCII words, whose capitals say the same).
    for (const QString &word : own.title.split(u' ', Qt::SkipEmptyParts)) {
        const bool ascii = std::all_of(word.begin(), word.end(), [](QChar c) { return c.unicode() < 128; });
        for (const QString &typed : ascii ? QStringList{word, word.toUpper()} : QStringList{word}) {
            const QList<KLVOHelpTopic> found = KLVOHelp::search(typed, topics);
            if (!found.contains(own)) {
                fprintf(stderr, "title word '%s' (typed '%s')\n", qPrintable(word), qPrintable(typed));
                broken("a word of a title doesn't find its topic");
            }
        }
    }
    return 0;
}
