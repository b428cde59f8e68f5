#include "queue/Job.h"

#include <array>

namespace {
template<class... Ts>
struct overloaded : Ts...
{
    using Ts::operator()...;
};

const std::array<QString, 5> stateNames = {
    QStringLiteral("Waiting"), QStringLiteral("Running"), QStringLiteral("Done"),
    QStringLiteral("Failed"),  QStringLiteral("Cancelled"),
};
} // namespace

std::optional<int> JobKind::deck() const
{
    return std::visit(overloaded{
                          [](const Jobs::ReadDisc &k) { return k.deck; },
                          [](const Jobs::BurnImage &k) { return std::optional<int>(k.deck); },
                          [](const Jobs::Erase &k) { return std::optional<int>(k.deck); },
                          [](const auto &) { return std::optional<int>(); },
                      },
                      payload);
}

std::optional<QString> JobKind::resource() const
{
    if (const std::optional<int> d = deck())
        return QStringLiteral("deck:") + QString::number(*d);
    if (const auto *read = as<Jobs::ReadDisc>())
        return QStringLiteral("disc:") + read->bsd;
    return std::nullopt;
}

TDAction JobKind::action() const
{
    static constexpr std::array<TDAction, 6> actions = {TDAction::makeImage, TDAction::readDisc, TDAction::burn,
                                                         TDAction::erase,     TDAction::checksum, TDAction::verify};
    return actions[payload.index()];
}

QString JobKind::symbol() const
{
    static const std::array<QString, 6> symbols = {
        QStringLiteral("folder.badge.plus"), QStringLiteral("opticaldisc"), QStringLiteral("flame"),
        QStringLiteral("eraser"),            QStringLiteral("number"),      QStringLiteral("checkmark.shield"),
    };
    return symbols[payload.index()];
}

QString rawValue(JobState state)
{
    return stateNames[size_t(state)];
}

std::optional<JobState> jobStateFromRaw(const QString &raw)
{
    for (size_t i = 0; i < stateNames.size(); ++i)
        if (stateNames[i] == raw)
            return JobState(i);
    return std::nullopt;
}
