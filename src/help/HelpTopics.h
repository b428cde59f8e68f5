#pragma once
// The program's built-in help: its topics, the search over them and the
// two-mark markup of their texts.
//
// Everything here is pure and reentrant: plain values in, plain values out,
// callable from any thread. Nothing is stored between calls; the topic lists
// are built on each call (a few dozen short strings).

#include <QList>
#include <QString>
#include <QStringList>

// One help topic. `body` uses the markup parsed by KLVOHelp::parse().
struct KLVOHelpTopic
{
    QString id;          // stable; the cards' help buttons name it
    QString title;       // shown in the list and over the text
    QString body;        // "## " heading lines, "• " bullet lines, paragraphs
    QStringList keywords; // lower-case search words that need not be in the text

    bool operator==(const KLVOHelpTopic &) const = default;
};

namespace TDHelp {
// The program's own topics, in list order.
QList<KLVOHelpTopic> topics();
} // namespace TDHelp

namespace KLVOHelp {

// The maker of the kit and of the program, and its web address.
inline QString makerName() { return QStringLiteral("KLVO"); }
inline QString makerUrl() { return QStringLiteral("https://klvo.app"); }

// The given program topics followed by the kit's own: a "look" topic when the
// program has none, and an "about" topic at the end when the program has none.
QList<KLVOHelpTopic> allTopics(const QList<KLVOHelpTopic> &programTopics);
// allTopics(TDHelp::topics()).
QList<KLVOHelpTopic> allTopics();

// Case- and diacritic-insensitive form of a text, the same in every locale:
// "Café" and "CAFE" both give "cafe".
QString fold(const QString &text);

// The topics that contain every word of `query` (split at spaces) in their
// title, body or keywords, folded; topics whose title holds one of the words
// come first, otherwise list order is kept. A query without words gives
// `topics` unchanged.
QList<KLVOHelpTopic> search(const QString &query, const QList<KLVOHelpTopic> &topics);
// search(query, allTopics()).
QList<KLVOHelpTopic> search(const QString &query);

struct Block
{
    enum class Kind { heading, bullet, paragraph };
    Kind kind = Kind::paragraph;
    QString text;

    bool operator==(const Block &) const = default;
};

// The body as the viewer shows it: one block per non-empty line, trimmed of
// spaces and tabs, in order.
QList<Block> parse(const QString &body);

} // namespace KLVOHelp
