// probe_export.h — PROBE_EXPORT marks the extra control entries of a
// test-only plug-in, which tests look up with PluginModule::Symbol (the
// plug-ins are otherwise built with hidden visibility).
#pragma once

#if defined(_WIN32)
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif
