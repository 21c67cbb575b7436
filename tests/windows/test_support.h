#pragma once
// What the Windows test programs share: the real module beside them, a
// scratch folder of their own, and a decoder of the tests' own for what the
// module wrote.
// Nothing here needs more than Windows; the second opinions of Linux tools
// that the Wine suite adds live in wine_test_support.h.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "apng_reader.h"
#include "demo_animation.h"
#include "plugin_module.h"
#include "scripted_host.h"

namespace vorlane::test {

// A file beside the running program: the module, LICENSE.
std::filesystem::path beside_program(const char* name);

// vorlane.dll beside the program, and the module freshly loaded from there,
// so its setting starts at 1.
std::filesystem::path module_path();
std::unique_ptr<host::PluginModule> load_module();

// A path in this program's scratch folder, made on first use under the
// user's temporary folder and removed when the program ends. Paths stay
// UTF-16 throughout: the folder may have any name.
struct WorkFile {
    std::filesystem::path path;
    std::u16string host_path() const { return path.u16string(); }  // what an OutputRequest carries
    std::string text() const;                                       // UTF-8, for messages
};
WorkFile work_file(const std::string& name);
void remove_work_folder();

bool file_exists(const std::filesystem::path& path);

// The file decoded by the tests' own decoder. Where the Wine suite has
// Pillow, it decodes the file too, and any difference fails the test.
DecodedApng decode(const std::filesystem::path& path);

// Whether the file is a sound PNG as a careful validator reads it: the
// decoder accepts it whole, and so does pngcheck where the Wine suite has it.
// `output` gets the reason when not.
bool png_is_sound(const std::filesystem::path& path, std::string* output = nullptr);


std::u16string config_text(const OutputPluginTable& table);

// C:\temp, where the module leaves its diagnostic copies: made for a test's
// exports, readable and writable by this user only. False where it exists
// already or cannot be made.
extern const std::filesystem::path kDiagnosticFolder;
bool make_diagnostic_folder();
// Deletes by name the copies that exports of up to `frames` frames leave
// there, then the folder, which stays if anything else is in it: never a
// tree, which would follow a link that someone planted inside.
void remove_diagnostic_folder(int frames);

// A link at `link` to the folder or file `target`: a junction or symbolic
// link on Windows, a Unix symbolic link (which Wine takes for one) under the
// Wine suite. False where this machine lets the test make none.
bool make_link(const std::filesystem::path& link, const std::filesystem::path& target);
// Removes the link itself, never what it leads to.
void remove_link(const std::filesystem::path& link);

}  // namespace vorlane::test
