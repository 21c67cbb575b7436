#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "console.h"

namespace vorlane::host {

std::optional<std::vector<Argument>> program_arguments(int argc, char** argv, std::string& error) {
    std::vector<Argument> arguments;
    for (int i = 1; i < argc; ++i) {
        Argument argument{argv[i], std::filesystem::path(argv[i])};
        // The standard library's conversion refuses what is not UTF-8, where
        // a decoder of our own might slip a replacement character into a path.
        try {
            static_cast<void>(argument.path.u16string());
        } catch (const std::exception&) {
            error = "argument " + std::to_string(i) + " is not valid UTF-8 text";
            return std::nullopt;
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::filesystem::path running_program() {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec);
}

void print(std::FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) == 1;
}

std::string system_message(unsigned long code) {
    return std::strerror(static_cast<int>(code));
}

std::string why_not_writable(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    bool made = false;
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        made = fd >= 0;
    }
    if (fd < 0) return system_message(static_cast<unsigned long>(errno));
    ::close(fd);
    if (made) ::unlink(path.c_str());
    return {};
}

}  // namespace vorlane::host
