#include "platform/Terminal.h"

#include <unistd.h>

namespace tarvex_cli {

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace tarvex_cli
