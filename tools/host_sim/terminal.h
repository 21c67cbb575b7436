#pragma once
// Seam: whether standard error is a terminal (POSIX) or a console (Windows),
// where a progress bar redrawn with '\r' reads as one line. Anywhere else (a
// pipe, a file, NUL) every redraw would pile up in one endless line.
namespace vorlane::host {

bool stderr_is_terminal();

}  // namespace vorlane::host
