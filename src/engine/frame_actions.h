// The actions behind a machine frame's buttons, engine side: Send, Clear,
// Stop, Reset, the repeat timer, and enabling and disabling the buttons.
// Every way of starting or stopping work (the frame, menus, the machine's
// requests, the web remote, automation, scripts) goes through these.
//
// Threads: UI thread.
#pragma once

namespace dnc
{

class Machine;

// "Send": sends the program in the machine's editor. An empty editor (or
// one empty line) does nothing. With the machine's wait-for-signal the send
// waits for its DC1 (CTS with RTS/CTS); otherwise it starts once the port
// has been started again (250 ms after it was closed).
void frame_send(Machine &machine);

// A Stop during a send: the send ends after the current character with
// "Send Cancelled", without trailer or DC4. The port stays open.
void frame_cancel_send(Machine &machine);

// "Clear": ends whatever transfer runs. The Clear button itself
// (`empty_editor`) also offers unsaved text for saving and empties the
// editor; other callers (Reset) keep the editor's text.
void frame_clear(Machine &machine, bool empty_editor);

// Stop, used by Clear and by the transfers: run flags back to idle, buttons
// enabled; with auto-serve the machine goes back to receiving requests.
void frame_stop(Machine &machine);

// "Reset": ends the transfer, keeps the editor, repeats no more, and shows
// the port's settings again.
void frame_reset(Machine &machine);

// The repeat timer fired (RepeatSend): Reset, then Send again.
void repeat_timer_fired(Machine &machine);

void enable_buttons(Machine &machine);
void disable_buttons(Machine &machine);

// The run flags of the record back to idle, the flow state on.
void reset_run_flags(Machine &machine);

} // namespace dnc
