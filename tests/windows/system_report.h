#pragma once
// What run-tests.exe says about the machine it ran on, for results.txt: the
// things that decide how the module behaves there and that we cannot see
// from here (Windows' version, the CPU, GDI+, code pages and language).
#include <string>
#include <vector>

namespace vorlane::test {

std::vector<std::string> system_report();

}  // namespace vorlane::test
