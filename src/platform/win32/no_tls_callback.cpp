// MinGW-w64 only. The runtime's DLL start-up code refers to this hook, and
// its own definition would bring in the runtime's TLS support: a TLS
// directory whose callbacks the loader calls at the start and end of every
// thread of the host. The module keeps no per-thread data and starts no
// threads, so it defines the hook itself, empty, which the start-up code
// skips. (What that support also did, running per-thread destructors of the
// runtime, concerns only a thread that threw a C++ exception in here: at its
// end, the few bytes of exception state of that thread stay allocated.)
#include <windows.h>

extern "C" const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;
