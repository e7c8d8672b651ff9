#include "platform/Terminal.h"

#include <io.h>
#include <stdio.h>

namespace tarvex_cli {

bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace tarvex_cli
