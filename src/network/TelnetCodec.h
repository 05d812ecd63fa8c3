#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kvp {

// The Telnet layer of a serial server that sets its line for us (COM-PORT-OPTION):
// bytes from the server go in, the line's data and what to answer come out. It
// holds no socket and no clock; the link around it sends the answers and decides
// how long to wait for the server.
//
// 0xFF (IAC) is Telnet's escape, so a data byte 0xFF travels doubled both ways; the
// module's replies can hold one anywhere. A command or subnegotiation may be cut
// anywhere by TCP, so everything unfinished is kept for the next call.
class TelnetCodec
{
public:
    // The line the module needs: 19200 bit/s, 8 data bits, even parity, 1 stop bit.
    struct Line {
        std::uint32_t baud = 19200;
        std::uint8_t dataBits = 8;
        std::uint8_t parity = 3; // 1 none, 2 odd, 3 even, as the option counts them
        std::uint8_t stopBits = 1;
    };

    enum class Stage {
        offered,  // our offer of the option is out, no answer yet
        setting,  // the server took it; the line settings are out
        ready,    // the server confirmed every setting as asked
        refused,  // the server declined the option
        lineRefused, // the server answered a setting with another value (refusal())
    };

    struct Output {
        std::vector<std::uint8_t> data;  // the line's bytes, unescaped
        std::vector<std::uint8_t> reply; // to send to the server, in order
    };

    TelnetCodec();
    explicit TelnetCodec(Line line);

    // The opening: binary both ways (so CR and 0xFF pass as they are) and the option.
    std::vector<std::uint8_t> start();
    Output decode(std::span<const std::uint8_t> bytes);
    // The line's bytes as the server must be sent them.
    static std::vector<std::uint8_t> encode(std::span<const std::uint8_t> data);

    Stage stage() const { return m_stage; }
    // What the server set instead of what was asked, e.g. "9600 bit/s".
    const std::string &refusal() const { return m_refusal; }

    static constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
    static constexpr std::uint8_t BINARY = 0, SGA = 3, COM_PORT = 44;
    static constexpr std::uint8_t SET_BAUDRATE = 1, SET_DATASIZE = 2, SET_PARITY = 3, SET_STOPSIZE = 4,
                                  PURGE_DATA = 12, SERVER_OFFSET = 100;

private:
    enum class State { data, iac, option, sub, subIac };
    struct Side {
        bool on = false;
        bool asked = false; // our request is out, so the next word is its answer
    };

    void onOption(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t> &reply);
    void onSubnegotiation();
    void sendLine(std::vector<std::uint8_t> &reply) const;
    static bool wanted(std::uint8_t option) { return option == BINARY || option == SGA || option == COM_PORT; }

    Line m_line;
    Stage m_stage = Stage::offered;
    State m_state = State::data;
    std::uint8_t m_verb = 0;
    std::vector<std::uint8_t> m_sub;
    bool m_subOverflow = false;
    Side m_us[256];   // options we perform (WILL/WONT from us)
    Side m_them[256]; // options the server performs
    unsigned m_confirmed = 0; // bit per setting the server confirmed
    std::string m_refusal;
};

} // namespace kvp
