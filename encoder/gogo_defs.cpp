#include "encoder/gogo_defs.h"

#include "settings/profile.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace orva {
namespace {

// Process-wide binding state; see the header for the threading rule.
void* libraryHandle = nullptr;
int useCount = 0;
std::string dllPath;
GogoEntryPoints entryPoints;

template <typename Pointer> bool Resolve(void* handle, const char* name, Pointer& pointer)
{
    void* symbol = dlsym(handle, name);
    pointer = reinterpret_cast<Pointer>(symbol);
    return symbol != nullptr;
}

bool ResolveAll(void* handle, GogoEntryPoints& table)
{
    // Every name is looked up, so that a half-resolved table is never kept.
    bool ok = true;
    ok &= Resolve(handle, "MPGE_initializeWork", table.MPGE_initializeWork);
    ok &= Resolve(handle, "MPGE_setConfigure", table.MPGE_setConfigure);
    ok &= Resolve(handle, "MPGE_getConfigure", table.MPGE_getConfigure);
    ok &= Resolve(handle, "MPGE_detectConfigure", table.MPGE_detectConfigure);
    ok &= Resolve(handle, "MPGE_processFrame", table.MPGE_processFrame);
    ok &= Resolve(handle, "MPGE_closeCoder", table.MPGE_closeCoder);
    ok &= Resolve(handle, "MPGE_endCoder", table.MPGE_endCoder);
    ok &= Resolve(handle, "MPGE_getUnitStates", table.MPGE_getUnitStates);
    ok &= Resolve(handle, "MPGE_getVersion", table.MPGE_getVersion);
    return ok;
}

/// Resolves the handle variants, all or none.
void ResolveHandleVariants(void* handle, GogoEntryPoints& table)
{
    bool all = true;
    all &= Resolve(handle, "MPGE_createEncoder", table.MPGE_createEncoder);
    all &= Resolve(handle, "MPGE_destroyEncoder", table.MPGE_destroyEncoder);
    all &= Resolve(handle, "MPGE_initializeWork_r", table.MPGE_initializeWork_r);
    all &= Resolve(handle, "MPGE_setConfigure_r", table.MPGE_setConfigure_r);
    all &= Resolve(handle, "MPGE_getConfigure_r", table.MPGE_getConfigure_r);
    all &= Resolve(handle, "MPGE_detectConfigure_r", table.MPGE_detectConfigure_r);
    all &= Resolve(handle, "MPGE_processFrame_r", table.MPGE_processFrame_r);
    all &= Resolve(handle, "MPGE_closeCoder_r", table.MPGE_closeCoder_r);
    all &= Resolve(handle, "MPGE_endCoder_r", table.MPGE_endCoder_r);
    if (!all) {
        table.MPGE_createEncoder = nullptr;
        table.MPGE_destroyEncoder = nullptr;
        table.MPGE_initializeWork_r = nullptr;
        table.MPGE_setConfigure_r = nullptr;
        table.MPGE_getConfigure_r = nullptr;
        table.MPGE_detectConfigure_r = nullptr;
        table.MPGE_processFrame_r = nullptr;
        table.MPGE_closeCoder_r = nullptr;
        table.MPGE_endCoder_r = nullptr;
    }
}

/// The folder of the running program, or empty when it cannot be told.
std::string ProgramFolder()
{
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string program(path, static_cast<std::size_t>(length));
    const auto slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash);
}

}  // namespace

std::string GogoKeyStorePath()
{
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
        base = config;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
    } else {
        return {};
    }
    return base + "/orva/registry.ini";
}

std::string ReadGogoInstallPath(const std::string& keyStorePath)
{
    if (keyStorePath.empty())
        return {};
    return ProfileFile(keyStorePath).GetString(GogoKeyName, "INSTPATH", "");
}

bool WriteGogoInstallPath(const std::string& keyStorePath, const std::string& libraryPath)
{
    // A line break would be stored as a blank and name another file.
    if (keyStorePath.empty() || libraryPath.find_first_of("\r\n") != std::string::npos)
        return false;
    // Create the folder chain (one or two levels below an existing parent).
    const auto slash = keyStorePath.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = keyStorePath.substr(0, slash);
        const auto parentSlash = folder.rfind('/');
        if (parentSlash != std::string::npos && parentSlash > 0)
            mkdir(folder.substr(0, parentSlash).c_str(), 0700);
        mkdir(folder.c_str(), 0700);
    }
    // Key store files have always had Unix line ends.
    ProfileFile store(keyStorePath, "\n");
    store.WriteString(GogoKeyName, "INSTPATH", libraryPath);
    return store.Save();
}

namespace {

/// The file the dynamic linker loaded for `handle` (wherever it was found), or `fallback`.
std::string LoadedPath(void* handle, const std::string& fallback)
{
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr
        && map->l_name[0] != '\0')
        return map->l_name;
    return fallback;
}

}  // namespace

bool InitGogoDefs()
{
    if (useCount > 0) {
        ++useCount;
        return true;
    }
    dllPath.clear();
    // The program's own folder first (the build folder), then the installed private folder,
    // both named explicitly: the RUNPATH lookup depends on which object calls dlopen, and a
    // sanitizer's interceptor is such an object. Then the system's search order, then the
    // key store.
    void* handle = nullptr;
    if (const std::string own = ProgramFolder(); !own.empty()) {
        handle = dlopen((own + "/" + GogoLibraryName).c_str(), RTLD_NOW | RTLD_LOCAL);
        // Named without "..", since the summary shows the path the library was loaded from.
        const std::string prefix = own.substr(0, own.rfind('/'));
        if (!handle && !prefix.empty())
            handle = dlopen((prefix + "/" + GogoInstalledFolder + "/" + GogoLibraryName).c_str(),
                            RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle)
        handle = dlopen(GogoLibraryName, RTLD_NOW | RTLD_LOCAL);
    std::string storedPath;
    if (!handle) {
        storedPath = ReadGogoInstallPath(GogoKeyStorePath());
        if (!storedPath.empty())
            handle = dlopen(storedPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle)
        return false;
    GogoEntryPoints table;
    if (!ResolveAll(handle, table)) {
        dlclose(handle);
        useCount = 0;
        return false;
    }
    ResolveHandleVariants(handle, table);
    libraryHandle = handle;
    entryPoints = table;
    useCount = 1;
    dllPath = LoadedPath(handle, storedPath);
    return true;
}

void DeallocateGogoDLL()
{
    if (useCount == 1 && libraryHandle) {
        entryPoints = GogoEntryPoints {};
        dlclose(libraryHandle);
        libraryHandle = nullptr;
    }
    if (useCount > 0)
        --useCount;
}

std::string GogoDLLPath() { return dllPath; }

const GogoEntryPoints* GogoFunctions() { return libraryHandle ? &entryPoints : nullptr; }

int GogoUseCount() { return useCount; }

}  // namespace orva
