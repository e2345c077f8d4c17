// Pacing of writes in the software XON/XOFF mode. The machine stops the
// server by sending DC3, and everything already handed to the driver still
// goes out after it: with a big driver queue the control's buffer overflows.
// The pacer keeps only a few characters ahead of the wire, by the line's
// baud rate (a pseudo-terminal or a USB adapter does not report its queue),
// so that the server stops within a few characters of the machine's DC3.
#pragma once

#include <QChar>
#include <QtGlobal>
#include <chrono>

namespace dnc
{

class LinePacer
{
public:
    using Clock = std::chrono::steady_clock;

    // `baud` 0 switches pacing off; bits per character count start, data,
    // parity and stop bits.
    void configure(int baud, int bits_per_char);
    bool enabled() const { return char_time_.count() > 0; }
    Clock::duration char_time() const { return char_time_; }
    // Characters the pacer lets the writer keep ahead of the wire.
    int lead_chars() const { return lead_chars_; }

    // How many of `wanted` bytes may be written at `now`; when 0, *retry_at
    // says when to ask again. `queued` is the driver's own output queue
    // when known (-1 otherwise).
    qsizetype allowance(qsizetype wanted, Clock::time_point now, int queued,
                        Clock::time_point *retry_at) const;
    // `count` bytes were handed to the driver at `now`.
    void wrote(qsizetype count, Clock::time_point now);
    // The line is idle (a new send starts).
    void reset();

private:
    Clock::duration char_time_{0};
    int lead_chars_ = 0;
    Clock::time_point wire_free_at_{};
};

// Bits one character takes on the line: start, data, parity, stop.
int bits_per_char(int data_bits, QChar parity, int stop_bits);

} // namespace dnc
