// Terminal: whether a standard stream is an interactive terminal. The one
// operating-system question the tool asks; one backend per platform.
#pragma once

namespace tarvex_cli {

// True when standard error is a terminal (progress is drawn only there).
bool stderrIsTerminal();

}  // namespace tarvex_cli
