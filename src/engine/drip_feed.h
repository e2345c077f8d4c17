// Subprogram calls and LOOP blocks expanded by the server while it sends (the
// machine's "Drip Feed Features"), for controls that cannot call a
// subprogram that is not in their memory, or have no loop statement.
//
// LOOP (UseLOOP): a line "(LOOP <block>,<count>)" is never sent. The send
// goes back to the line of block N<block> and sends the lines from there to
// the marker <count> more times, then goes on after the marker: a count c
// sends the block c + 1 times. Both numbers may be expressions
// ("(LOOP 50*2,1+1)"). A count of 0 or less repeats nothing. Every marker
// keeps its own pass count, so loops nest: a loop inside the block of
// another runs in full on every pass of the outer one.
//
// Subprograms (UseSubprograms), looked at on the prepared line:
//   M98 P<n>, M198 P<n>  the call line is not sent. In its place go the lines
//       of the file DefaultReadDirectory + sub_file_prefix + n as "%.4d" +
//       DefaultExtension (none for ".*"), without its "%" and "O"/":" lines,
//       up to its M99; calls inside the file go out as they are. Without
//       such a file, the program's own subprogram O<n> (or :<n>) is sent from
//       the line after its number up to its M99.
//   M99  not sent: back to the line after the call.
//   M30  sent, and the send ends there: subprograms stored after it are not
//       sent.
// Calls nest at most kMaxSubprogramLevels deep (a file uses a level while
// it is sent). The send stops with a message for a call that would go
// deeper, a subprogram that is neither a file nor in the program ("Subprogram
// N not found"), an M99 without a call ("Can't Return From Subprogram N"),
// and a LOOP whose block is not there ("Block N not found").
//
// Threads: the hooks run on the machine's send worker; messages go to the
// UI thread without waiting.
#pragma once

#include <QString>

namespace dnc
{

class Engine;
struct MachineSettingsRecord;

// Deepest nesting of subprogram calls (the record keeps one return line per
// level).
inline constexpr int kMaxSubprogramLevels = 5;

// Fills the engine's loop_line and subprogram_line hooks; from then on every
// machine with UseLOOP or UseSubprograms expands its LOOP blocks and calls.
void install_drip_feed(Engine &engine);

// The frame's subprogram label: "Subs" while UseSubprograms is on, empty
// otherwise.
QString subprogram_label(const MachineSettingsRecord &record);

} // namespace dnc
