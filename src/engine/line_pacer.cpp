#include "engine/line_pacer.h"

#include <algorithm>

namespace dnc
{

namespace
{

// The writer wakes about this often at most: shorter sleeps cost more than
// they gain, since the scheduler cannot keep them much shorter.
constexpr std::chrono::microseconds kMinimumLeadTime{200};

} // namespace

int bits_per_char(int data_bits, QChar parity, int stop_bits)
{
    const int data = data_bits == 7 ? 7 : 8;
    const int parity_bit = (parity == QLatin1Char('E') || parity == QLatin1Char('O') ||
                            parity == QLatin1Char('e') || parity == QLatin1Char('o'))
                               ? 1
                               : 0;
    const int stop = stop_bits == 2 ? 2 : 1;
    return 1 + data + parity_bit + stop;
}

void LinePacer::configure(int baud, int bits_per_char)
{
    if (baud <= 0 || bits_per_char <= 0) {
        char_time_ = Clock::duration{0};
        lead_chars_ = 0;
        return;
    }
    char_time_ = std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(1'000'000'000LL * bits_per_char / baud));
    if (char_time_.count() <= 0)
        char_time_ = Clock::duration{1};
    const auto per_lead = (kMinimumLeadTime + char_time_ - Clock::duration{1}) / char_time_;
    lead_chars_ = std::max<int>(2, int(per_lead));
    reset();
}

qsizetype LinePacer::allowance(qsizetype wanted, Clock::time_point now, int queued,
                               Clock::time_point *retry_at) const
{
    if (!enabled())
        return wanted;
    // Characters still to go out: those the pacer scheduled, or what the
    // driver reports when that is more (a slower device than its baud).
    qsizetype ahead = 0;
    if (wire_free_at_ > now)
        ahead = qsizetype((wire_free_at_ - now + char_time_ - Clock::duration{1}) / char_time_);
    ahead = std::max<qsizetype>(ahead, queued);
    const qsizetype room = lead_chars_ - ahead;
    if (room > 0)
        return std::min(wanted, room);
    *retry_at = now + char_time_ * (ahead - lead_chars_ + 1);
    return 0;
}

void LinePacer::wrote(qsizetype count, Clock::time_point now)
{
    if (!enabled())
        return;
    wire_free_at_ = std::max(wire_free_at_, now) + char_time_ * count;
}

void LinePacer::reset()
{
    wire_free_at_ = Clock::time_point{};
}

} // namespace dnc
