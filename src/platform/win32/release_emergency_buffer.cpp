// MinGW-w64 only. libstdc++ keeps an emergency buffer for exceptions thrown
// when memory runs short: 74,752 bytes with GCC 12, which the runtime
// allocates when the module loads (with a lock beside it, a semaphore). At
// unload it closes the semaphore but keeps the buffer, so a host that loads
// and unloads the module would lose that much every time. The runtime's own
// release function, meant for memory checkers, gives it back; nothing in the
// module throws once its statics are being destroyed.
#include <version>  // says which C++ runtime this is

#if defined(__GLIBCXX__)

namespace __gnu_cxx {
void __freeres() noexcept;
}  // namespace __gnu_cxx

namespace {

struct ReleaseEmergencyBuffer {
    ~ReleaseEmergencyBuffer() { __gnu_cxx::__freeres(); }
};
const ReleaseEmergencyBuffer release_at_unload;

}  // namespace

#endif
