// What happens to an editor line before it goes to the machine: strip
// characters, comments, the NUL run of a "$name%" header line, line ends,
// and the end of block of the machine's tape code.
#pragma once

#include "config/machine_settings_record.h"

#include <QString>

namespace dnc
{

// The line without end of block:
//  - every character of translated_strip_chars_string removed;
//  - with StripComments, the first comment removed: from StartCommentChar
//    through the first EndCommentChar after it (nothing when there is none),
//    or to the end of the line when EndCommentChar is empty;
//  - eight NUL characters inserted before the first "%" when a "$" comes
//    before it (controls that read "$name%" as a program header need the
//    gap);
//  - trailing CR and LF removed.
// `comment_emptied` (when given) tells whether comment stripping left
// nothing: such a line is not sent at all.
QString prepare_line_body(const MachineSettingsRecord &record, const QString &line,
                          bool *comment_emptied = nullptr);

// The line as the send step writes it: the body followed by the end of
// block, or an empty text for a line that only held a comment.
QString prepare_line(const MachineSettingsRecord &record, const QString &line);

} // namespace dnc
