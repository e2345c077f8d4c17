#include "sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace dncsim
{

std::string sim_usage()
{
    return R"(Usage: dnc-sim [options] [actions]

Plays the serial side of a CNC control for the DNC server. It opens a
pseudo-terminal (or listens on TCP), prints the device the server must use,
receives everything the server sends at an emulated baud rate, and exits with
a summary when the transfer ends.

The first line on standard output names the device:
  device=/dev/pts/N            (or the --link path)
  device=socket://HOST:PORT    (with --tcp)
The summary follows at the end, one key=value per line:
  end=dc4|idle|timeout|closed|signal   why the simulator stopped
  bytes=N lines=N crc32=HEX            what arrived (lines = LF bytes)
  dc3_sent=N max_after_dc3=N after_dc3=N,N,...
                                       bytes that arrived after each DC3 the
                                       control sent, until its DC1
  overflow=N                           bytes that arrived with a full buffer
  sent=N                               bytes the control sent

Line:
  --link PATH        also make PATH a symlink to the pty (removed at exit)
  --tcp PORT         listen on TCP PORT instead (0 = any free port) and serve
                     one connection (the server's socket://HOST:PORT line)
  --bind ADDR        address for --tcp (default 127.0.0.1)
  --baud N           emulated line speed, both ways (default 9600); 0 reads
                     and writes as fast as the pty allows
  --bits N           bits per character on the wire (default 10: 8N1)

Control's input buffer (pacing the server with DC3/DC1):
  --buffer N         buffer size in bytes (default 0: never send DC3)
  --high N           send DC3 when the buffer holds N bytes (default 3/4)
  --low N            send DC1 when it has drained to N bytes (default 1/4)
  --exec-rate N      bytes per second the control executes from the buffer
                     (default: half the line speed; 1000 with --baud 0)

Recording:
  --output FILE      write every received byte to FILE
  --log FILE         timeline, one line per event, after a first line
                     "# start <microseconds on the monotonic clock>":
                       <microseconds> rx <hex byte>
                       <microseconds> tx <hex byte>   (bytes the control sent)

Ending:
  --idle MS          end when nothing arrived for MS ms after the actions
                     are done (default 3000)
  --timeout S        end after S seconds whatever happens (default: never)
  --no-dc4-end       do not end when DC4 (hex 14) arrives

Actions, run in the order given while receiving goes on:
  --sleep MS         wait MS milliseconds
  --dc1              send DC1 (XON), e.g. to start a send that waits for
                     the machine's signal
  --send FILE        send the bytes of FILE at the line speed, pausing while
                     the server's DC3 holds
  --send-text TEXT   the same for TEXT with escapes \n \r \t \\ \xHH \NNN

Exit status: 0 when something arrived, 1 when nothing did, 2 for a wrong
command line or a line that cannot be opened, 3 on --timeout, 4 when bytes
arrived with a full buffer.

Examples:
  dnc-sim --link /tmp/cnc1 --baud 9600 --output got.nc
  dnc-sim --baud 9600 --buffer 256 --exec-rate 400 --sleep 500 --dc1
  dnc-sim --send-text '%\n(G*O1000)\n%\n\x14' --sleep 300 --dc1
)";
}

namespace
{

bool to_long(const std::string &text, long &value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

bool to_double(const std::string &text, double &value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end && *end == '\0';
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool unescape_text(const std::string &text, std::string &out, std::string &error)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) {
            error = "a lone \\ at the end of the text";
            return false;
        }
        const char e = text[i];
        switch (e) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x': {
            int value = 0;
            int digits = 0;
            while (digits < 2 && i + 1 < text.size() && hex_digit(text[i + 1]) >= 0) {
                value = value * 16 + hex_digit(text[++i]);
                ++digits;
            }
            if (digits == 0) {
                error = "\\x without hex digits";
                return false;
            }
            out += static_cast<char>(value);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                int value = e - '0';
                int digits = 1;
                while (digits < 3 && i + 1 < text.size() && text[i + 1] >= '0' &&
                       text[i + 1] <= '7') {
                    value = value * 8 + (text[++i] - '0');
                    ++digits;
                }
                out += static_cast<char>(value & 0xff);
                break;
            }
            error = std::string("unknown escape \\") + e;
            return false;
        }
    }
    return true;
}

bool parse_sim_options(int argc, char **argv, SimOptions &options, std::string &error, bool &help)
{
    help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto number = [&](long &out, long min) {
            std::string text;
            if (!value(text))
                return false;
            if (!to_long(text, out) || out < min) {
                error =
                    arg + ": \"" + text + "\" is not a number of at least " + std::to_string(min);
                return false;
            }
            return true;
        };
        std::string text;
        long n = 0;
        if (arg == "--help" || arg == "-h") {
            help = true;
            return true;
        } else if (arg == "--link") {
            if (!value(options.link))
                return false;
        } else if (arg == "--tcp") {
            if (!number(n, 0))
                return false;
            if (n > 65535) {
                error = "--tcp: port above 65535";
                return false;
            }
            options.tcp_port = static_cast<int>(n);
        } else if (arg == "--bind") {
            if (!value(options.bind))
                return false;
        } else if (arg == "--baud") {
            if (!number(options.baud, 0))
                return false;
        } else if (arg == "--bits") {
            if (!number(n, 1))
                return false;
            options.bits_per_char = static_cast<int>(n);
        } else if (arg == "--buffer") {
            if (!number(options.buffer, 0))
                return false;
        } else if (arg == "--high") {
            if (!number(options.high, 1))
                return false;
        } else if (arg == "--low") {
            if (!number(options.low, 0))
                return false;
        } else if (arg == "--exec-rate") {
            if (!value(text))
                return false;
            if (!to_double(text, options.exec_rate) || options.exec_rate <= 0) {
                error = "--exec-rate: \"" + text + "\" is not a positive number";
                return false;
            }
        } else if (arg == "--output") {
            if (!value(options.output))
                return false;
        } else if (arg == "--log") {
            if (!value(options.log))
                return false;
        } else if (arg == "--idle") {
            if (!number(options.idle_ms, 1))
                return false;
        } else if (arg == "--timeout") {
            if (!value(text))
                return false;
            if (!to_double(text, options.timeout_s) || options.timeout_s < 0) {
                error = "--timeout: \"" + text + "\" is not a number of seconds";
                return false;
            }
        } else if (arg == "--no-dc4-end") {
            options.end_on_dc4 = false;
        } else if (arg == "--sleep") {
            if (!number(n, 0))
                return false;
            options.actions.push_back({SimAction::Sleep, n, {}, {}});
        } else if (arg == "--dc1") {
            options.actions.push_back({SimAction::Dc1, 0, {}, {}});
        } else if (arg == "--send") {
            if (!value(text))
                return false;
            std::ifstream file(text, std::ios::binary);
            if (!file) {
                error = "--send: cannot open " + text;
                return false;
            }
            std::ostringstream bytes;
            bytes << file.rdbuf();
            options.actions.push_back({SimAction::SendBytes, 0, bytes.str(), text});
        } else if (arg == "--send-text") {
            if (!value(text))
                return false;
            std::string bytes;
            std::string why;
            if (!unescape_text(text, bytes, why)) {
                error = "--send-text: " + why;
                return false;
            }
            options.actions.push_back({SimAction::SendBytes, 0, bytes, "text"});
        } else {
            error = "unknown option " + arg + " (see --help)";
            return false;
        }
    }

    if (options.buffer > 0) {
        if (options.high < 0)
            options.high = options.buffer * 3 / 4;
        if (options.low < 0)
            options.low = options.buffer / 4;
        if (options.high > options.buffer || options.low >= options.high) {
            error = "the marks must satisfy --low < --high <= --buffer";
            return false;
        }
        if (options.exec_rate < 0)
            options.exec_rate =
                options.baud > 0 ? options.baud / (2.0 * options.bits_per_char) : 1000.0;
    }
    return true;
}

} // namespace dncsim
