// A library that looks like the extraction library but lacks URARGetLastError: binding it must
// fail and leave it unloaded.
#include <cstdint>

extern "C" {
__declspec(dllexport) void* URARInitialize(uint32_t, const void*, int32_t) { return nullptr; }
__declspec(dllexport) int32_t URARFinalize(void*) { return 0; }
__declspec(dllexport) int32_t URARDoAction(void*) { return 9; }
__declspec(dllexport) int32_t URARGetSizeBuffer(void*, int32_t, int32_t*) { return 11; }
__declspec(dllexport) int32_t URARGetBuffer(void*, int32_t, void*, int32_t) { return 11; }
}
