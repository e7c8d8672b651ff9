// Commands: the subcommands of the tarvex tool. Each returns the exit status
// (0 success, 1 failure or nothing found; usage errors never reach here).
#pragma once

namespace tarvex_cli {

struct Options;

int runCommand(const Options& options);

}  // namespace tarvex_cli
