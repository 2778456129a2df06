#pragma once
/*
 * The C interface of the MP3 encoder library libgogo.so: nine entry points with C linkage,
 * the configuration item numbers and the memory-input record. Shared by the library, the
 * run-time binding in encoder/ and the test doubles. Every entry point returns a 32-bit
 * integer; 0 means success unless stated otherwise.
 *
 * The nine entry points share one process-wide encoder. The handle variants (MPGE_*_r, with
 * MPGE_createEncoder and MPGE_destroyEncoder) do the same on an encoder of the caller's
 * own, so that several encodings can run at once on different threads; a library without
 * them has the process-wide encoder only.
 */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Configuration items of MPGE_setConfigure(item, value, pointer). */
enum {
    GOGO_ITEM_INPUT = 1,       /* value GOGO_INPUT_*; pointer: UTF-8 path or GogoMemoryInput* */
    GOGO_ITEM_OUTPUT = 2,      /* value 0; pointer: UTF-8 path of the MP3 file */
    GOGO_ITEM_MODE = 3,        /* 0 mono, 1 stereo, 2 joint, 3 mid-side, 4 dual channel */
    GOGO_ITEM_BITRATE = 4,     /* kbps */
    GOGO_ITEM_OUTPUT_RATE = 6, /* output sample rate, Hz */
    GOGO_ITEM_PSY = 8,         /* 1: psychoacoustic model on */
    GOGO_ITEM_LPF16 = 9,       /* 1: 16 kHz low-pass filter */
    GOGO_ITEM_UNIT_FIRST = 10, /* items 10..15: processor units, 1 allowed, 0 not */
    GOGO_ITEM_UNIT_LAST = 15,
    GOGO_ITEM_ID3_TAG = 16,   /* value: byte count; pointer: tag bytes (copied) */
    GOGO_ITEM_EMPHASIS = 17,  /* 0 none, 1 50/15 us, 3 CCITT J.17 */
    GOGO_ITEM_VBR = 18,       /* VBR level 0 (best) .. 9 */
    GOGO_ITEM_THREADS = 19,   /* thread count */
    GOGO_ITEM_FORMAT = 26,    /* 0 MP3, 1 RIFF WAVE, 2 RIFF RMP */
    GOGO_ITEM_RIFF_INFO = 27, /* value: byte count; pointer: one RIFF info chunk (copied) */
    GOGO_ITEM_VBR_RANGE = 30, /* value: lowest kbps; pointer: highest kbps as a number */
    GOGO_ITEM_FILTER = 31,    /* value: low; pointer: high as a number; each 0..100 */
    GOGO_ITEM_MS_SETTING = 32 /* value: threshold; pointer: power as a number; each 0..100 */
};

/* Items of MPGE_getConfigure(item, pointer to a 32-bit cell). */
enum {
    GOGO_QUERY_FRAMES = 15 /* MPGE_processFrame calls the prepared encoding takes */
};

/* Values of GOGO_ITEM_INPUT. */
enum { GOGO_INPUT_FILE = 0, GOGO_INPUT_MEMORY = 2 };

/* Results. MPGE_processFrame returns GOGO_DONE once the output is complete. */
enum {
    GOGO_OK = 0,
    GOGO_DONE = 1,
    GOGO_ERR_INTERNAL = 2,
    GOGO_ERR_PARAMETER = 3,
    GOGO_ERR_INPUT = 5,  /* input missing, unreadable or not a usable WAV file */
    GOGO_ERR_OUTPUT = 6, /* output cannot be created */
    GOGO_ERR_RATE = 7,
    GOGO_ERR_BITRATE = 8,
    GOGO_ERR_FORMAT = 9,     /* input sample format or output format not supported */
    GOGO_ERR_EXCEPTION = 10, /* what the binding records when a call throws */
    GOGO_ERR_MEMORY = 13,
    GOGO_ERR_WRITE = 16
};

/* Memory input: the library calls `read` from its encoding thread with a buffer and a byte
 * count; 0 means the buffer was filled (the last block padded with zero bytes), 1 means the
 * input has ended and nothing was copied. */
typedef int32_t (*GogoReadFunction)(void* buffer, uint32_t byteCount);

typedef struct GogoMemoryInput {
    GogoReadFunction read;
    int32_t size;          /* input bytes, -1 when not known */
    int32_t bitsPerSample; /* 16 */
    int32_t samplesPerSec; /* Hz */
    int32_t channels;      /* 1 or 2 */
} GogoMemoryInput;

/* Processor-unit bits of MPGE_getUnitStates. */
enum {
    GOGO_UNIT_FPU = 0x1,
    GOGO_UNIT_MMX = 0x2,
    GOGO_UNIT_3DNOW = 0x4,
    GOGO_UNIT_SSE = 0x8, /* "KNI" */
    GOGO_UNIT_SSE2 = 0x10,
    GOGO_UNIT_E3DNOW = 0x20
};

/* Size of the text buffer MPGE_getVersion fills (zero-terminated). */
#define GOGO_VERSION_TEXT_SIZE 512

typedef int32_t (*MPGE_initializeWork_t)(void);
typedef int32_t (*MPGE_setConfigure_t)(int32_t item, int32_t value, void* pointer);
typedef int32_t (*MPGE_getConfigure_t)(int32_t item, void* cell);
typedef int32_t (*MPGE_detectConfigure_t)(void);
typedef int32_t (*MPGE_processFrame_t)(void);
typedef int32_t (*MPGE_closeCoder_t)(void);
typedef int32_t (*MPGE_endCoder_t)(void);
typedef int32_t (*MPGE_getUnitStates_t)(uint32_t* unitBits);
typedef int32_t (*MPGE_getVersion_t)(uint32_t* versionCode, char* text);

/* An encoder of the caller's own; opaque. */
typedef struct GogoEncoder GogoEncoder;

/* A fresh encoder as after MPGE_initializeWork, or NULL when memory runs out. */
typedef GogoEncoder* (*MPGE_createEncoder_t)(void);
/* Closes a running encoding of the encoder (its output as it stands) and frees it. */
typedef void (*MPGE_destroyEncoder_t)(GogoEncoder* encoder);
/* The nine calls on one encoder; GOGO_ERR_PARAMETER for a NULL encoder. */
typedef int32_t (*MPGE_initializeWork_r_t)(GogoEncoder* encoder);
typedef int32_t (*MPGE_setConfigure_r_t)(GogoEncoder* encoder, int32_t item, int32_t value, void* pointer);
typedef int32_t (*MPGE_getConfigure_r_t)(GogoEncoder* encoder, int32_t item, void* cell);
typedef int32_t (*MPGE_detectConfigure_r_t)(GogoEncoder* encoder);
typedef int32_t (*MPGE_processFrame_r_t)(GogoEncoder* encoder);
typedef int32_t (*MPGE_closeCoder_r_t)(GogoEncoder* encoder);
typedef int32_t (*MPGE_endCoder_r_t)(GogoEncoder* encoder);

#ifdef __cplusplus
}
#endif
