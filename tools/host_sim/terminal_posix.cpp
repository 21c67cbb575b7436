#include <unistd.h>

#include "terminal.h"

namespace vorlane::host {

bool stderr_is_terminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace vorlane::host
