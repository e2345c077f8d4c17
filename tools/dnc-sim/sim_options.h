// Command line of dnc-sim: where the simulated control listens, how fast its
// serial line runs, how its input buffer paces the sender, and what it sends.
#pragma once

#include <string>
#include <vector>

namespace dncsim
{

// Something the control does, in command-line order, while it keeps
// receiving whatever the server sends.
struct SimAction {
    enum Kind { Sleep, Dc1, SendBytes };
    Kind kind = Sleep;
    long ms = 0;      // Sleep
    std::string data; // SendBytes: the bytes, already read or unescaped
    std::string what; // for messages: the file name or "text"
};

struct SimOptions {
    std::string link;  // symlink to the pty's device, made at start
    int tcp_port = -1; // >= 0: listen on TCP instead of a pty (0 = any free port)
    std::string bind = "127.0.0.1";
    long baud = 9600;       // emulated line speed; 0 = as fast as the pty goes
    int bits_per_char = 10; // start + 8 data + stop
    long buffer = 0;        // control's input buffer; 0 = no DC3/DC1 from the control
    long high = -1;         // DC3 when the buffer holds this many bytes
    long low = -1;          // DC1 when it has drained to this many
    double exec_rate = -1;  // bytes per second the control takes out of its buffer
    std::string output;     // every received byte, raw
    std::string log;        // timeline: one line per byte or event
    long idle_ms = 3000;    // end when nothing arrived for this long
    double timeout_s = 0;   // end unconditionally after this long (0 = never)
    bool end_on_dc4 = true;
    std::vector<SimAction> actions;
};

// Parses argv. Returns false with `error` set when the command line is
// wrong; `help` is set when --help was asked for.
bool parse_sim_options(int argc, char **argv, SimOptions &options, std::string &error, bool &help);

std::string sim_usage();

// "\n", "\r", "\t", "\\", "\xHH" and "\NNN" (octal) in a --send-text value.
bool unescape_text(const std::string &text, std::string &out, std::string &error);

} // namespace dncsim
