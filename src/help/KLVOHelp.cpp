#include "help/HelpTopics.h"

#include <algorithm>

namespace KLVOHelp {

namespace {

bool hasTopic(const QList<KLVOHelpTopic> &topics, const QString &id)
{
    return std::any_of(topics.begin(), topics.end(), [&id](const KLVOHelpTopic &t) { return t.id == id; });
}

KLVOHelpTopic lookTopic()
{
    return {QStringLiteral("look"), QStringLiteral("Themes and interface zoom"),
            QStringLiteral("The window is drawn in the colour theme you pick from the Theme menu, "
                           "and everything in it can be made bigger or smaller from the View menu.\n"
                           "• Zoom In: Ctrl++\n"
                           "• Zoom Out: Ctrl+-\n"
                           "• Actual Size: Ctrl+0\n"
                           "The theme and the zoom are remembered for the next start."),
            {QStringLiteral("theme"), QStringLiteral("color"), QStringLiteral("colour"), QStringLiteral("zoom"),
             QStringLiteral("bigger"), QStringLiteral("smaller"), QStringLiteral("text size"),
             QStringLiteral("window"), QStringLiteral("scroll")}};
}

KLVOHelpTopic aboutTopic()
{
    return {QStringLiteral("about"), QStringLiteral("About ") + makerName(),
            QStringLiteral("This app is made by %1.\n"
                           "## On the web\n"
                           "• %2\n"
                           "News, updates and the other %1 apps are on the web page, and so is the way to "
                           "reach us. When you report a problem, say what you did and copy the lines of "
                           "the log that go with it.")
                .arg(makerName(), makerUrl()),
            {QStringLiteral("about"), QStringLiteral("klvo"), QStringLiteral("web"), QStringLiteral("website"),
             QStringLiteral("version"), QStringLiteral("contact")}};
}

// Drops every space and tab at both ends (not line breaks or other white space).
QString trimSpacesAndTabs(const QString &line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(line.at(begin)))
        ++begin;
    while (end > begin && blank(line.at(end - 1)))
        --end;
    return line.mid(begin, end - begin);
}

} // namespace

QList<KLVOHelpTopic> allTopics(const QList<KLVOHelpTopic> &programTopics)
{
    QList<KLVOHelpTopic> all = programTopics;
    if (!hasTopic(all, QStringLiteral("look")))
        all.append(lookTopic());
    if (!hasTopic(all, QStringLiteral("about")))
        all.append(aboutTopic());
    return all;
}

QList<KLVOHelpTopic> allTopics()
{
    return allTopics(TDHelp::topics());
}

QString fold(const QString &text)
{
    // Canonical decomposition splits "é" into "e" and a combining accent,
    // which is then dropped; case folding (not lower-casing) needs no locale.
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString bare;
    bare.reserve(decomposed.size());
    for (QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing)
            continue;
        bare.append(c);
    }
    return bare.toCaseFolded();
}

QList<KLVOHelpTopic> search(const QString &query, const QList<KLVOHelpTopic> &topics)
{
    const QStringList pieces = query.toLower().split(u' ', Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return topics;
    QStringList words;
    for (const QString &piece : pieces)
        words.append(fold(piece));

    QList<KLVOHelpTopic> inTitle;
    QList<KLVOHelpTopic> elsewhere;
    for (const KLVOHelpTopic &topic : topics) {
        const QString text = fold(topic.title + u'\n' + topic.body + u'\n' + topic.keywords.join(u' '));
        const bool all = std::all_of(words.begin(), words.end(), [&text](const QString &w) { return text.contains(w); });
        if (!all)
            continue;
        const QString title = fold(topic.title);
        const bool titled = std::any_of(words.begin(), words.end(), [&title](const QString &w) { return title.contains(w); });
        (titled ? inTitle : elsewhere).append(topic);
    }
    // Two lists filled in order are the stable partition the ranking asks for.
    return inTitle + elsewhere;
}

QList<KLVOHelpTopic> search(const QString &query)
{
    return search(query, allTopics());
}

QList<Block> parse(const QString &body)
{
    QList<Block> blocks;
    const QStringList lines = body.split(u'\n');
    for (const QString &raw : lines) {
        const QString line = trimSpacesAndTabs(raw);
        if (line.isEmpty())
            continue;
        if (line.startsWith(QStringLiteral("## ")))
            blocks.append({Block::Kind::heading, line.mid(3)});
        else if (line.startsWith(QStringLiteral("• ")))
            blocks.append({Block::Kind::bullet, line.mid(2)});
        else
            blocks.append({Block::Kind::paragraph, line});
    }
    return blocks;
}

} // namespace KLVOHelp
