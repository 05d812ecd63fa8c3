#include "TrafficJudge.h"

#include "protocol/Commands.h"

#include <cstdlib>

namespace kvp {
namespace {

bool isParameterCommand(std::string_view command)
{
    // The same frame for any address: compare what follows the address.
    static const std::string sample = BuildParameterCommand("0");
    static const std::string tail = sample.substr(sample.find(';'));
    return command.size() >= tail.size() && command.substr(command.size() - tail.size()) == tail;
}

int addressOf(std::string_view command)
{
    // "S<address>;…"
    return command.size() > 1 ? std::atoi(std::string(command.substr(1)).c_str()) : 0;
}

} // namespace

void TrafficJudge::received(std::span<const std::uint8_t> bytes)
{
    const std::size_t room = TrafficEntry::kMostBytes - std::min(m_bytes.size(), TrafficEntry::kMostBytes);
    m_bytes.append(reinterpret_cast<const char *>(bytes.data()), std::min(room, bytes.size()));
    m_byteCount += bytes.size();
}

TrafficEntry TrafficJudge::gathered(TrafficEntry::Kind kind, TimePoint now)
{
    TrafficEntry entry{now, m_address, kind, std::move(m_bytes), m_byteCount};
    m_bytes.clear();
    m_byteCount = 0;
    m_late = false;
    return entry;
}

std::vector<TrafficEntry> TrafficJudge::judged(const CycleCounters &c, const CycleActions &actions, TimePoint now)
{
    using Kind = TrafficEntry::Kind;
    std::vector<TrafficEntry> out;
    const CycleCounters &b = m_before;
    const bool newRun = c.goodValues < b.goodValues || c.timeouts < b.timeouts || c.badChecks < b.badChecks
        || c.badTrailers < b.badTrailers || c.shortReplies < b.shortReplies || c.lateReplies < b.lateReplies;
    if (!newRun) {
        if (c.goodValues > b.goodValues || actions.show)
            out.push_back(gathered(Kind::goodValue, now));
        else if (c.timeouts > b.timeouts)
            out.push_back(gathered(Kind::timeout, now));
        else if (c.badChecks > b.badChecks)
            out.push_back(gathered(Kind::badCheck, now));
        else if (c.badTrailers > b.badTrailers)
            out.push_back(gathered(Kind::badTrailer, now));
        else if (c.shortReplies > b.shortReplies)
            out.push_back(gathered(Kind::shortReply, now));
        else if (c.lateReplies > b.lateReplies)
            m_late = true; // its bytes are said when the line is left, all of them
        if (!out.empty())
            m_parameterCommand = false; // that command has had its verdict
    }
    m_before = c;
    if (actions.send) {
        // Whatever is left was not a value: the set-up's acknowledgement, a late
        // reply, or bytes nobody asked for.
        if (m_late)
            out.push_back(gathered(Kind::late, now));
        else if (m_byteCount > 0)
            out.push_back(gathered(m_parameterCommand ? Kind::acknowledged : Kind::thrownAway, now));
        const std::string &command = *actions.send;
        m_address = addressOf(command);
        m_parameterCommand = isParameterCommand(command);
        const std::size_t kept = std::min(command.size(), TrafficEntry::kMostBytes);
        out.push_back(TrafficEntry{now, m_address, Kind::sent, command.substr(0, kept), command.size()});
    }
    return out;
}

} // namespace kvp
