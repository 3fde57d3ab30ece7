/* Tonelink, the MIDI port library: one MIDI input and one MIDI output port per
   process, SysEx dumps through a pool of send slots, an input thread that hands every
   received message to the caller's callback, and a port selection dialog.

   Every entry point returns 1 for success and 0 for failure unless said otherwise;
   the failing system call's result code is kept per port (_ENTRYcomGetLastResult)
   with its text (_ENTRYcomGetErrorText). Kind 1 selects the input port, any other
   value the output port. Texts are UTF-8 byte strings, on Windows too, where the
   library converts them to and from the system's UTF-16; a text that goes out is
   written into a caller-owned buffer of the given size and always ends with a NUL. */
#ifndef TONELINK_H
#define TONELINK_H

#if defined(_WIN32)
#if defined(TONELINK_BUILDING)
#define TONELINK_API __declspec(dllexport)
#else
#define TONELINK_API __declspec(dllimport)
#endif
#else
#define TONELINK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Called on the library's input thread with one received message (or one piece of
   a long one); the bytes are valid only during the call. */
typedef void (*ReceiveCallback)(const unsigned char* bytes, int length);

TONELINK_API unsigned int _ENTRYcomSetDeviceID(int kind, unsigned int id);
TONELINK_API unsigned int _ENTRYcomGetDeviceID(int kind);
/* 0 when the text was found, else the look-up's own result code. */
TONELINK_API unsigned int _ENTRYcomGetErrorText(int kind, char* text, unsigned int size);
TONELINK_API unsigned int _ENTRYcomGetLastResult(int kind);
/* 1 when the system's current MIDI instrument was read and fits into name. */
TONELINK_API int _ENTRYctrlGetSysCurInstrument(char* name, unsigned int size);
/* Shows the port selection dialog; each text may be null or empty. Always 1. */
TONELINK_API int _ENTRYctrlSelectDevice(const char* title, const char* inLabel, const char* outLabel);
TONELINK_API int _ENTRYinOpen(ReceiveCallback callback, int id);
/* mode 1: notifications go through the input thread; idle: its longest idle wait (ms). */
TONELINK_API int _ENTRYinOpen2(ReceiveCallback callback, int id, int mode, int idle);
TONELINK_API int _ENTRYinClose(void);
TONELINK_API int _ENTRYinStart(void);
TONELINK_API int _ENTRYinStop(void);
TONELINK_API int _ENTRYoutOpen(int id);
TONELINK_API int _ENTRYoutClose(void);
TONELINK_API int _ENTRYoutWrite(const unsigned char* bytes, int length);
TONELINK_API int _ENTRYoutDump(const unsigned char* bytes, int length);

typedef unsigned int (*TonelinkSetDeviceIdFn)(int, unsigned int);
typedef unsigned int (*TonelinkGetDeviceIdFn)(int);
typedef unsigned int (*TonelinkGetErrorTextFn)(int, char*, unsigned int);
typedef unsigned int (*TonelinkGetLastResultFn)(int);
typedef int (*TonelinkGetSysCurInstrumentFn)(char*, unsigned int);
typedef int (*TonelinkSelectDeviceFn)(const char*, const char*, const char*);
typedef int (*TonelinkInOpen2Fn)(ReceiveCallback, int, int, int);
typedef int (*TonelinkVoidFn)(void);
typedef int (*TonelinkOutOpenFn)(int);
typedef int (*TonelinkOutBytesFn)(const unsigned char*, int);

#ifdef __cplusplus
}

/* Opens the output port in synchronous mode. Exported under its C++ (decorated)
   name. */
TONELINK_API int _ENTRYoutSynchOpen(unsigned int id);
#endif

#endif /* TONELINK_H */
