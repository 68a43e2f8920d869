#include "codecs/SharedLibrary.h"

#if GW_LAZY_CODECS
#include <dlfcn.h>
#endif

namespace gw {

TStatus TSharedLibrary::Open([[maybe_unused]] const char* soname) {
#if GW_LAZY_CODECS
    // RTLD_LAZY: each function of the library and of the many it needs is bound when first called
    // (binding them all at once cost librsvg's tree several milliseconds); RTLD_LOCAL: its symbols
    // serve only the lookups made here.
    FHandle = ::dlopen(soname, RTLD_LAZY | RTLD_LOCAL);
    if (FHandle == nullptr) {
        const char* error = ::dlerror();
        return TStatus::Fail(TFailure::Unsupported, std::string(soname) + " cannot be loaded" +
                                                        (error != nullptr ? std::string(": ") + error : ""));
    }
#endif
    return TStatus::Ok();
}

void* TSharedLibrary::Find([[maybe_unused]] const char* symbol) const {
#if GW_LAZY_CODECS
    return FHandle != nullptr ? ::dlsym(FHandle, symbol) : nullptr;
#else
    return nullptr;
#endif
}

} // namespace gw
