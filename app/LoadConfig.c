/* The exe's load configuration. From Windows 10 1607 on, its
 * DependentLoadFlags make the loader take the DLLs that the static imports
 * need in turn from System32 (known DLLs aside, the exe's folder would come
 * first), before any code of the exe runs. mingw-w64's header still calls
 * that field Reserved1. GNU ld does not point the data directory at this
 * structure: tools/release/load-config.py does, after the link. */
#include <windows.h>

const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used = {
    .Size = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64),
    .Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32,
};
