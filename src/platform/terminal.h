// Whether a standard stream is a terminal, and how wide it is: the tool
// shows progress and cuts long texts only for a person watching.
#pragma once

namespace tw::platform {

// True when the descriptor (0, 1, 2, ...) is open on a terminal.
bool IsTerminal(int fd);

// The terminal's width in columns; 0 when it is not a terminal or does not
// say.
int TerminalColumns(int fd);

}  // namespace tw::platform
