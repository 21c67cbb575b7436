#include <windows.h>

#include "terminal.h"

namespace vorlane::host {

// Not _isatty: it is also true for the NUL device. Only a console handle has
// a console mode.
bool stderr_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace vorlane::host
