#include "vendor_library.h"

#include <dlfcn.h>

#include <new>

namespace ft60x {

namespace {

template <typename F>
bool resolve(void *library, const char *name, F &function)
{
    void *symbol = dlsym(library, name);
    function = reinterpret_cast<F>(symbol);
    return symbol != nullptr;
}

int openFlags()
{
    // Our own FT_ functions sit in the global scope under the same names; deep binding keeps
    // the vendor library's internal calls inside the vendor library. The sanitizer run-times
    // refuse deep binding, so sanitized builds go without it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return RTLD_NOW | RTLD_LOCAL;
#else
    return RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND;
#endif
}

} // namespace

const vendor_library *vendor_library::load(const char *file)
{
    void *library = dlopen(file, openFlags());
    if (!library) {
        dlerror(); // clear the pending message: a missing vendor library is not an error
        return nullptr;
    }
    auto *functions = new (std::nothrow) vendor_library{};
    if (functions && resolve(library, "FT_CreateDeviceInfoList", functions->createDeviceInfoList)
        && resolve(library, "FT_GetDeviceInfoList", functions->getDeviceInfoList)
        && resolve(library, "FT_Create", functions->create)
        && resolve(library, "FT_SetPipeTimeout", functions->setPipeTimeout)
        && resolve(library, "FT_WritePipe", functions->writePipe)
        && resolve(library, "FT_ReadPipe", functions->readPipe)
        && resolve(library, "FT_AbortPipe", functions->abortPipe)
        && resolve(library, "FT_Close", functions->close))
        return functions; // intentionally kept for the life of the process
    delete functions;
    dlclose(library);
    return nullptr;
}

} // namespace ft60x
