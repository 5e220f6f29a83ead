#pragma once

#include <QObject>
#include <QTimer>
#include <optional>
#include <utility>

// Shared by the self-deleting network exchanges (HTTP requests, link metadata fetches).
namespace NetworkExchange {

// Ends an exchange once: marks it done, stops its deadline and schedules its deletion, and hands back
// the completion to call. nullopt when the exchange had already ended, so a completion runs at most once.
template <typename Completion>
std::optional<Completion> end(QObject& exchange, bool& done, QTimer& deadline, Completion& completion)
{
    if (done)
        return std::nullopt;
    done = true;
    deadline.stop();
    std::optional<Completion> taken(std::move(completion));
    exchange.deleteLater();
    return taken;
}

}
