#include "TelnetCodec.h"

namespace kvp {
namespace {

// A subnegotiation of ours is a few bytes; a longer one is junk or a flood, and is
// skipped to its end rather than kept.
constexpr std::size_t kMaxSubnegotiation = 64;

void add(std::vector<std::uint8_t> &out, std::initializer_list<std::uint8_t> bytes)
{
    out.insert(out.end(), bytes);
}

// A setting's value inside a subnegotiation, its 0xFF doubled.
void addEscaped(std::vector<std::uint8_t> &out, std::uint8_t byte)
{
    out.push_back(byte);
    if (byte == TelnetCodec::IAC)
        out.push_back(byte);
}

std::string parityName(std::uint8_t parity)
{
    switch (parity) {
    case 1:
        return "no parity";
    case 2:
        return "odd parity";
    case 3:
        return "even parity";
    case 4:
        return "mark parity";
    case 5:
        return "space parity";
    }
    return "parity " + std::to_string(parity);
}

} // namespace

TelnetCodec::TelnetCodec() = default;
TelnetCodec::TelnetCodec(Line line) : m_line(line) {}

std::vector<std::uint8_t> TelnetCodec::start()
{
    std::vector<std::uint8_t> out;
    for (const std::uint8_t option : {BINARY, SGA, COM_PORT}) {
        m_us[option].asked = true;
        add(out, {IAC, WILL, option});
    }
    for (const std::uint8_t option : {BINARY, SGA}) {
        m_them[option].asked = true;
        add(out, {IAC, DO, option});
    }
    return out;
}

std::vector<std::uint8_t> TelnetCodec::encode(std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> out;
    out.reserve(data.size() + 2);
    for (const std::uint8_t byte : data)
        addEscaped(out, byte);
    return out;
}

TelnetCodec::Output TelnetCodec::decode(std::span<const std::uint8_t> bytes)
{
    Output out;
    for (const std::uint8_t byte : bytes) {
        switch (m_state) {
        case State::data:
            if (byte == IAC)
                m_state = State::iac;
            else
                out.data.push_back(byte);
            break;
        case State::iac:
            if (byte == IAC) {
                out.data.push_back(byte);
                m_state = State::data;
            } else if (byte >= WILL && byte <= DONT) {
                m_verb = byte;
                m_state = State::option;
            } else if (byte == SB) {
                m_sub.clear();
                m_subOverflow = false;
                m_state = State::sub;
            } else {
                m_state = State::data; // NOP, GA, a stray SE and the like carry nothing for us
            }
            break;
        case State::option:
            onOption(m_verb, byte, out.reply);
            m_state = State::data;
            break;
        case State::sub:
            if (byte == IAC) {
                m_state = State::subIac;
            } else if (m_sub.size() < kMaxSubnegotiation) {
                m_sub.push_back(byte);
            } else {
                m_subOverflow = true;
            }
            break;
        case State::subIac:
            if (byte == SE) {
                if (!m_subOverflow)
                    onSubnegotiation();
                m_state = State::data;
            } else if (byte == IAC) {
                if (m_sub.size() < kMaxSubnegotiation)
                    m_sub.push_back(byte);
                else
                    m_subOverflow = true;
                m_state = State::sub;
            } else {
                // IAC and a command inside a subnegotiation: the sender broke it off.
                m_state = State::iac;
                const std::uint8_t again[] = {byte};
                Output rest = decode(again);
                out.data.insert(out.data.end(), rest.data.begin(), rest.data.end());
                out.reply.insert(out.reply.end(), rest.reply.begin(), rest.reply.end());
            }
            break;
        }
    }
    return out;
}

void TelnetCodec::onOption(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t> &reply)
{
    // Each side of an option answers only a change, never an answer: no request loops.
    if (verb == DO || verb == DONT) {
        Side &side = m_us[option];
        const bool wasAsked = side.asked;
        side.asked = false;
        if (verb == DO) {
            if (!wanted(option)) {
                add(reply, {IAC, WONT, option});
                return;
            }
            if (!side.on && !wasAsked)
                add(reply, {IAC, WILL, option});
            const bool newlyOn = !side.on;
            side.on = true;
            if (option == COM_PORT && newlyOn && m_stage == Stage::offered) {
                m_stage = Stage::setting;
                sendLine(reply);
            }
        } else {
            if (side.on && !wasAsked)
                add(reply, {IAC, WONT, option});
            side.on = false;
            if (option == COM_PORT && m_stage == Stage::offered)
                m_stage = Stage::refused;
        }
        return;
    }
    Side &side = m_them[option];
    const bool wasAsked = side.asked;
    side.asked = false;
    if (verb == WILL) {
        if (!wanted(option)) {
            add(reply, {IAC, DONT, option});
            return;
        }
        if (!side.on && !wasAsked)
            add(reply, {IAC, DO, option});
        side.on = true;
    } else {
        if (side.on && !wasAsked)
            add(reply, {IAC, DONT, option});
        side.on = false;
    }
}

void TelnetCodec::sendLine(std::vector<std::uint8_t> &reply) const
{
    add(reply, {IAC, SB, COM_PORT, SET_BAUDRATE});
    for (const int shift : {24, 16, 8, 0})
        addEscaped(reply, static_cast<std::uint8_t>(m_line.baud >> shift));
    add(reply, {IAC, SE});
    add(reply, {IAC, SB, COM_PORT, SET_DATASIZE, m_line.dataBits, IAC, SE});
    add(reply, {IAC, SB, COM_PORT, SET_PARITY, m_line.parity, IAC, SE});
    add(reply, {IAC, SB, COM_PORT, SET_STOPSIZE, m_line.stopBits, IAC, SE});
    // Both of the server's buffers: nothing from before us is taken for a reply.
    add(reply, {IAC, SB, COM_PORT, PURGE_DATA, 3, IAC, SE});
}

void TelnetCodec::onSubnegotiation()
{
    if (m_sub.size() < 2 || m_sub[0] != COM_PORT || m_stage != Stage::setting)
        return; // signatures, line and modem state notes: nothing the reader needs
    const std::uint8_t command = m_sub[1];
    const std::span<const std::uint8_t> value(m_sub.data() + 2, m_sub.size() - 2);
    unsigned bit = 0;
    std::string got;
    switch (command) {
    case SERVER_OFFSET + SET_BAUDRATE: {
        if (value.size() != 4)
            return;
        const std::uint32_t baud = (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16)
            | (std::uint32_t{value[2]} << 8) | value[3];
        bit = 1;
        if (baud != m_line.baud)
            got = std::to_string(baud) + " bit/s";
        break;
    }
    case SERVER_OFFSET + SET_DATASIZE:
        if (value.size() != 1)
            return;
        bit = 2;
        if (value[0] != m_line.dataBits)
            got = std::to_string(value[0]) + " data bits";
        break;
    case SERVER_OFFSET + SET_PARITY:
        if (value.size() != 1)
            return;
        bit = 4;
        if (value[0] != m_line.parity)
            got = parityName(value[0]);
        break;
    case SERVER_OFFSET + SET_STOPSIZE:
        if (value.size() != 1)
            return;
        bit = 8;
        if (value[0] != m_line.stopBits)
            got = std::to_string(value[0]) + " stop bits";
        break;
    default:
        return;
    }
    if (!got.empty()) {
        m_stage = Stage::lineRefused;
        m_refusal = got;
        return;
    }
    m_confirmed |= bit;
    if (m_confirmed == 15)
        m_stage = Stage::ready;
}

} // namespace kvp
