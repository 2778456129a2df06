#pragma once
// Run-time binding of the MP3 encoder library libgogo.so: loads it, resolves its nine entry
// points all at once (and its handle variants where it has them) and counts its users. The library is looked
// up in the program's own folder first (beside orva / orva-cli in the build folder), then in the installed
// layout's private folder (GogoInstalledFolder), then by the system's search order, then at the path stored
// in the per-user key store (GogoKeyStorePath(), value "INSTPATH" under GogoKeyName). Process-wide state;
// call from one thread at a time (component construction/destruction).

#include "gogo/gogo_api.h"

#include <string>

namespace orva {

/// The entry points of a loaded library; every pointer is set while the library is loaded.
struct GogoEntryPoints {
    MPGE_initializeWork_t MPGE_initializeWork = nullptr;
    MPGE_setConfigure_t MPGE_setConfigure = nullptr;
    MPGE_getConfigure_t MPGE_getConfigure = nullptr;
    MPGE_detectConfigure_t MPGE_detectConfigure = nullptr;
    MPGE_processFrame_t MPGE_processFrame = nullptr;
    MPGE_closeCoder_t MPGE_closeCoder = nullptr;
    MPGE_endCoder_t MPGE_endCoder = nullptr;
    MPGE_getUnitStates_t MPGE_getUnitStates = nullptr;
    MPGE_getVersion_t MPGE_getVersion = nullptr;
    /// The handle variants; all set when the library has every one of them, else all null
    /// (the library then has its process-wide encoder only).
    MPGE_createEncoder_t MPGE_createEncoder = nullptr;
    MPGE_destroyEncoder_t MPGE_destroyEncoder = nullptr;
    MPGE_initializeWork_r_t MPGE_initializeWork_r = nullptr;
    MPGE_setConfigure_r_t MPGE_setConfigure_r = nullptr;
    MPGE_getConfigure_r_t MPGE_getConfigure_r = nullptr;
    MPGE_detectConfigure_r_t MPGE_detectConfigure_r = nullptr;
    MPGE_processFrame_r_t MPGE_processFrame_r = nullptr;
    MPGE_closeCoder_r_t MPGE_closeCoder_r = nullptr;
    MPGE_endCoder_r_t MPGE_endCoder_r = nullptr;
};

/// File name looked up by the system's search order.
inline constexpr const char* GogoLibraryName = "libgogo.so";
/// Where an installation keeps the library, below the parent of the programs' folder
/// (bin/../lib/orva); the install rules put it there.
inline constexpr const char* GogoInstalledFolder = "lib/orva";
/// Key path of the key store section that names the library; the value is "INSTPATH".
inline constexpr const char* GogoKeyName = "Software\\MarineCat\\GOGO_DLL";

/// Loads the library on first use and counts one more user; true when it is usable.
bool InitGogoDefs();
/// Counts one user less; the last one unloads the library.
void DeallocateGogoDLL();
/// The file the library was loaded from (beside the program, by the search order or from
/// the key store); empty while none is loaded.
std::string GogoDLLPath();
/// The resolved entry points, or nullptr while no library is loaded.
const GogoEntryPoints* GogoFunctions();
/// The current use count (0 when not loaded).
int GogoUseCount();

/// The per-user key store: $XDG_CONFIG_HOME/orva/registry.ini (default ~/.config).
std::string GogoKeyStorePath();
/// Reads "INSTPATH" of GogoKeyName from a key store file; empty when absent.
std::string ReadGogoInstallPath(const std::string& keyStorePath);
/// Writes (or replaces) "INSTPATH" in a key store file, keeping its other sections; true on
/// success. Used by set-up scripts and tests.
bool WriteGogoInstallPath(const std::string& keyStorePath, const std::string& libraryPath);

}  // namespace orva
