#include "encoder/gogo_defs.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orva {
namespace {

// Process-wide binding state; see the header for the threading rule.
void* libraryHandle = nullptr;
int useCount = 0;
std::string dllPath;
GogoEntryPoints entryPoints;

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x))
                   == std::tolower(static_cast<unsigned char>(y));
           });
}

/// Section name of a "[name]" line, or nullopt-like empty flag through `isSection`.
bool SectionName(const std::string& line, std::string& name)
{
    const std::string trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[' || trimmed.back() != ']')
        return false;
    name = Trim(trimmed.substr(1, trimmed.size() - 2));
    return true;
}

/// Splits "key=value"; false for lines without '='.
bool KeyValue(const std::string& line, std::string& key, std::string& value)
{
    const auto equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    key = Trim(line.substr(0, equals));
    value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return true;
}

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
    std::ifstream in(keyStorePath);
    if (!in)
        return {};
    std::string line;
    std::string section;
    bool inKey = false;
    while (std::getline(in, line)) {
        if (SectionName(line, section)) {
            inKey = SameIgnoringCase(section, GogoKeyName);
            continue;
        }
        std::string key;
        std::string value;
        if (inKey && KeyValue(line, key, value) && SameIgnoringCase(key, "INSTPATH"))
            return value;
    }
    return {};
}

bool WriteGogoInstallPath(const std::string& keyStorePath, const std::string& libraryPath)
{
    if (keyStorePath.empty() || libraryPath.find('\n') != std::string::npos)
        return false;
    std::vector<std::string> lines;
    {
        std::ifstream in(keyStorePath);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
    std::vector<std::string> out;
    bool inKey = false;
    bool written = false;
    for (const auto& line : lines) {
        std::string section;
        if (SectionName(line, section)) {
            if (inKey && !written) {
                out.push_back(std::string("INSTPATH=") + libraryPath);
                written = true;
            }
            inKey = SameIgnoringCase(section, GogoKeyName);
            out.push_back(line);
            continue;
        }
        std::string key;
        std::string value;
        if (inKey && KeyValue(line, key, value) && SameIgnoringCase(key, "INSTPATH")) {
            if (!written)
                out.push_back(std::string("INSTPATH=") + libraryPath);
            written = true;
            continue;
        }
        out.push_back(line);
    }
    if (!written) {
        if (!inKey)
            out.push_back(std::string("[") + GogoKeyName + "]");
        out.push_back(std::string("INSTPATH=") + libraryPath);
    }
    // Create the folder chain (one or two levels below an existing parent).
    const auto slash = keyStorePath.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string folder = keyStorePath.substr(0, slash);
        const auto parentSlash = folder.rfind('/');
        if (parentSlash != std::string::npos && parentSlash > 0)
            mkdir(folder.substr(0, parentSlash).c_str(), 0700);
        mkdir(folder.c_str(), 0700);
    }
    const std::string temporary = keyStorePath + ".tmp";
    {
        std::ofstream file(temporary, std::ios::trunc);
        if (!file)
            return false;
        for (const auto& line : out)
            file << line << '\n';
        if (!file.flush())
            return false;
    }
    return std::rename(temporary.c_str(), keyStorePath.c_str()) == 0;
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
    // The program's own folder first, named explicitly: the RUNPATH ($ORIGIN) lookup depends
    // on which object calls dlopen, and a sanitizer's interceptor is such an object. Then the
    // system's search order, then the key store.
    void* handle = nullptr;
    if (const std::string own = ProgramFolder(); !own.empty())
        handle = dlopen((own + "/" + GogoLibraryName).c_str(), RTLD_NOW | RTLD_LOCAL);
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
