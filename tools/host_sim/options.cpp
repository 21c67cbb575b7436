#include "options.h"

#include <cstdlib>

#include "host/frame_delay.h"

namespace vorlane::host {
namespace {

bool parse_int(const std::string& text, std::int32_t& out) {
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || end != text.c_str() + text.size() || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Zero or negative: the host sends it as it is, and this says what comes of it.
std::string rate_note(const HostOptions& o) {
    const FrameDelayValue delay = FrameDelay(o.script.fps_num, o.script.fps_den);
    const unsigned num = unsigned(delay.num) & 0xFFFFu;
    const unsigned den = unsigned(delay.den) & 0xFFFFu;
    std::string note = "-r " + o.rate_text + " is no positive frame rate: the plugin will give every frame a delay of ";
    note += std::to_string(num) + "/" + std::to_string(den) + " s";
    if (den == 0) note += ", which players take as 1/100 s";
    else if (num == 0) note += ", no time at all, which players stretch as they see fit";
    return note;
}

// vorlane-host-test's own lines in --help.
constexpr const char* kTestUsage =
    "      --report-resources  print handle and memory counters after each export\n"
    "      --fail-on-growth  exit 3 if, from the second export to the last, a handle count grows by\n"
    "                        more than a quarter of a handle per export (needs --repeat 3 or more)\n"
    "      --memory-tolerance BYTES  with --fail-on-growth, also exit 3 if memory grows by more\n"
    "                        than BYTES per export over the same exports\n"
    "      --leak-for-test   leak an open file and 1 MiB after every export, to show the check sees it\n";

}  // namespace

std::optional<HostOptions> parse_options(const std::vector<Argument>& arguments, std::string& error) {
    HostOptions o;
    o.script.width = 480;
    o.script.height = 270;
    o.script.frame_count = 60;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i].text;
        const Argument* value = i + 1 < arguments.size() ? &arguments[i + 1] : nullptr;
        // Options with a value take the next argument, whatever it looks like.
        auto take = [&](const char* what) -> const Argument* {
            if (!value) error = arg + " wants " + what + " after it";
            else ++i;
            return value;
        };
        auto number = [&](std::int32_t& out, std::int32_t least, const char* what) {
            const Argument* v = take(what);
            if (!v) return false;
            if (!parse_int(v->text, out) || out < least) {
                error = arg + " wants " + what + ", not " + quoted(v->text);
                return false;
            }
            return true;
        };
        bool ok = true;
        if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "-o" || arg == "--output") {
            const Argument* v = take("a file path");
            ok = v != nullptr;
            if (v) o.output = v->path;
        } else if (arg == "-W" || arg == "--width") {
            ok = number(o.script.width, INT32_MIN, "a whole number");
        } else if (arg == "-H" || arg == "--height") {
            ok = number(o.script.height, INT32_MIN, "a whole number");
        } else if (arg == "-n" || arg == "--frames") {
            ok = number(o.script.frame_count, INT32_MIN, "a whole number");
        } else if (arg == "-r" || arg == "--fps") {
            const char* what = "a frame rate in whole numbers, NUM or NUM/DEN (such as 30 or 30000/1001)";
            const Argument* v = take(what);
            ok = v != nullptr;
            if (v) {
                const std::string& rate = v->text;
                const auto slash = rate.find('/');
                o.script.fps_den = 1;
                ok = parse_int(rate.substr(0, slash), o.script.fps_num) &&
                     (slash == std::string::npos || parse_int(rate.substr(slash + 1), o.script.fps_den));
                if (!ok) error = arg + " wants " + what + ", not " + quoted(rate);
                o.rate_text = rate;
            }
        } else if (arg == "-s" || arg == "--stop-after") {
            ok = number(o.script.stop_before, 0, "a frame count of 0 or more");
        } else if (arg == "--noise") {
            o.script.content = DemoContent::Noise;
        } else if (arg == "-m" || arg == "--module") {
            const Argument* v = take("the module's path");
            ok = v != nullptr;
            if (v) o.module = v->path;
        } else if (arg == "--version") {
            o.version = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--repeat") {
            ok = number(o.repeat, 1, "a whole number of 1 or more");
        } else if (arg == "--reload-module") {
            o.reload_module = true;
#ifdef VORLANE_HOST_TEST_SWITCHES
        } else if (arg == "--report-resources") {
            o.report_resources = true;
        } else if (arg == "--memory-tolerance") {
            ok = number(o.memory_tolerance, 0, "a number of bytes, 0 or more");
        } else if (arg == "--leak-for-test") {
            o.leak_for_test = true;
        } else if (arg == "--fail-on-growth") {
            o.fail_on_growth = o.report_resources = true;
#endif
        } else {
            error = (arg.rfind('-', 0) == 0 ? "unknown option " : "unexpected argument ") + quoted(arg);
            ok = false;
        }
        if (!ok) return std::nullopt;
    }
    if (o.fail_on_growth && o.repeat <= kWarmUpExports) {
        error = "--fail-on-growth wants --repeat " + std::to_string(kWarmUpExports + 1) + " or more: the first " +
                std::to_string(kWarmUpExports) + " exports are a warm-up";
        return std::nullopt;
    }
    return o;
}

std::string usage_text(const char* default_module) {
    return std::string(
               "usage: vorlane-host [options]\n"
               "Exports the built-in demo animation through the plugin module, as the editor would.\n"
               "  -o, --output PATH     APNG file to write (default vorlane-demo.png); an existing file is replaced\n"
               "  -W, --width N         frame width (default 480)\n"
               "  -H, --height N        frame height (default 270)\n"
               "  -n, --frames N        frame count (default 60)\n"
               "  -r, --fps NUM[/DEN]   frame rate (default 30/1)\n"
               "  -s, --stop-after N    ask the plugin to stop after N frames\n"
               "      --noise           noisy frames instead of the shapes demo\n"
               "  -m, --module PATH     plugin module (default: ") +
           default_module +
           " beside this program)\n"
           "  -q, --quiet           no progress bar\n"
           "  -h, --help            this text\n"
           "      --version         print this program's version and commit and, with -m, the module's\n"
           "      --repeat N        export N times in this one process (default 1)\n"
           "      --reload-module   load the module before every export and unload it after\n" +
           (kTestSwitches ? kTestUsage : "");
}

std::vector<std::string> notes_on(const HostOptions& o) {
    const HostScript& s = o.script;
    constexpr const char* kNoImage = "the file will hold no image (40 bytes that no viewer opens)";
    std::vector<std::string> notes;
    if (s.frame_count <= 0) {
        notes.push_back("-n " + std::to_string(s.frame_count) + " asks for no frames: " + kNoImage +
                        ", and the plugin still reports success");
    } else if (s.stop_before == 0) {
        notes.push_back(std::string("-s 0 stops the export before its first frame: ") + kNoImage +
                        ", and the plugin still reports success");
    } else if (s.width <= 0 || s.height <= 0) {
        notes.push_back("a frame of " + std::to_string(s.width) + " x " + std::to_string(s.height) +
                        " pixels cannot be encoded: the plugin will fail the export at its first frame, and " +
                        kNoImage);
    }
    if (s.fps_num <= 0 || s.fps_den <= 0) {
        notes.push_back(rate_note(o));
    } else if (const FrameDelayValue delay = FrameDelay(s.fps_num, s.fps_den); 1000 * delay.num < 11 * delay.den) {
        // Chromium and Firefox cut a delay to whole milliseconds and show one of
        // 10 ms or less for 100 ms: so every delay under 11 ms, as written.
        // Seen with both: 91 fps and 11/1001 s slowed down, 90 fps and 11/1000 s not.
        notes.push_back("at " + o.rate_text + " frames per second every frame lasts less than 11 ms, "
                        "which Chromium and Firefox show for 100 ms: the animation will play slower there");
    }
    return notes;
}

}  // namespace vorlane::host
