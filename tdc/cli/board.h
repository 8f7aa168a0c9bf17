#pragma once
// Opening the board the global options name, with the messages every command gives.

#include <iosfwd>
#include <string>

#include "command.h"
#include "tdc/tdcbackend.h"

namespace cli {

// Opens the board and loads its modules; on failure writes the reason to `err`.
bool openBoard(const Global &global, TDCBackend &backend, DeviceMap &device, std::ostream &err);

// Whether `text` names a board the way --device takes it (INDEX or serial:PATH).
bool validDeviceChoice(const std::string &text);

// The first module of type T, or null after writing "the board has no <what>" to `err`.
template <class T>
T *findModule(TDCBackend &backend, const char *what, std::ostream &err);

} // namespace cli

#include <ostream>

template <class T>
T *cli::findModule(TDCBackend &backend, const char *what, std::ostream &err)
{
    for (auto *m : backend.getModules())
        if (auto *t = dynamic_cast<T *>(m))
            return t;
    err << "tdc-cli: the board has no " << what << "\n";
    return nullptr;
}
