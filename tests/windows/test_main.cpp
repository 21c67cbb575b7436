// The Windows test programs' main: GoogleTest's own options, then
// --linux-tools=DIR, which only the Wine suite passes, for the second
// opinions of Linux tools. The scratch folder goes when the tests end.
#include <cstdio>
#include <string_view>

#include <gtest/gtest.h>

#include "test_support.h"
#include "wine_test_support.h"

namespace {

class RemoveWorkFolder : public ::testing::Environment {
public:
    void TearDown() override { vorlane::test::remove_work_folder(); }
};

}  // namespace

int main(int argc, char** argv) {
    vorlane::host::restrict_dll_search();
    ::testing::InitGoogleTest(&argc, argv);
    constexpr std::string_view kLinuxTools = "--linux-tools=";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.substr(0, kLinuxTools.size()) != kLinuxTools) {
            std::fprintf(stderr, "unknown option %s (besides GoogleTest's, only %.*sDIR)\n", argv[i],
                         int(kLinuxTools.size()), kLinuxTools.data());
            return 2;
        }
        vorlane::test::wine::use_linux_tools(std::string(arg.substr(kLinuxTools.size())));
    }
    ::testing::AddGlobalTestEnvironment(new RemoveWorkFolder);
    return RUN_ALL_TESTS();
}
