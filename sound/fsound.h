/*
 * fsound: the demo's sound layer. Plays Ogg Vorbis files as streams, chains them gaplessly
 * through end-of-stream callbacks, and analyses what is audible into a 512-bin spectrum. Both
 * editions answer the same calls with the same errors and mix what they play alike, to a
 * least significant bit; they differ in the device, in how a file reaches the decoder, in
 * the thread the mix runs on, and in whether files at other rates play:
 *
 *   desktop  SDL2's audio output on the system's default device (SDL picks PulseAudio,
 *            PipeWire or ALSA and honours SDL_AUDIODRIVER and its other variables), mixing
 *            on SDL's audio thread. Files are read from disk by libvorbisfile, decoded ahead
 *            on a thread of the layer's own, and converted to the output's rate
 *            (libsamplerate) when theirs differs.
 *   browser  Web Audio, through an AudioWorklet or, where the page offers none, a
 *            ScriptProcessorNode; the page starts it from a visitor's gesture, and
 *            FSOUND_Init fails when the browser has neither. Everything, the mix and the end
 *            callbacks included, runs on the page's one thread. A file is asked of the page
 *            by name and decoded by stb_vorbis packet by packet as its bytes arrive: it plays
 *            before it is whole, and while its next bytes are still on their way the music
 *            waits for them instead of playing silence. Nothing is converted: a file at
 *            another rate than the output's is refused. A file whose headers have not come
 *            by its open opens all the same, and ends at once if they show it cannot play.
 *
 * Output: stereo at the rate given to FSOUND_Init. Every stream is made stereo (a mono file
 * on both sides; of more channels, the front left and the front right), mixed in float and
 * clipped once; a device or recorder that takes 16-bit samples gets them rounded from that.
 *
 * Threads: every call may be made from the program's thread; FSOUND_Stream_Play may also be
 * made from inside an end callback, which runs on the thread that mixes. FSOUND_DSP_GetSpectrum
 * is meant for one reader (the frame loop).
 *
 * The output is chosen by the environment, the way SDL chooses its driver, and the program
 * itself is not involved:
 *   FSOUND_OUTPUT        unset, empty or "sdl": the edition's device, as above.
 *                        "capture": no device at all; a program that records the demo frame
 *                        by frame takes the mix through the calls in fsound_capture.h, and
 *                        everything (decoding, mixing, end callbacks) happens on the thread
 *                        that takes it or reads the spectrum, in the recorder's time.
 *                        Any other value: FSOUND_Init fails with FSOUND_ERR_INIT.
 *   FSOUND_CAPTURE_FPS   the recorder's video frames per second, 1 to 1000 (default 60);
 *                        anything else makes FSOUND_Init fail with FSOUND_ERR_INIT.
 */
#ifndef FSOUND_H
#define FSOUND_H

#ifdef __cplusplus
extern "C" {
#endif

/* An open stream. Streams live until the process ends. */
typedef struct FSOUND_STREAM FSOUND_STREAM;

/* The spectrum-analysis unit. */
typedef struct FSOUND_DSPUNIT FSOUND_DSPUNIT;

/* End-of-stream callback: called on the audio thread with the stream that ended, a null
 * buffer, a length of 0 and the user value given to FSOUND_Stream_SetEndCallback. Its
 * result is not looked at. */
typedef signed char (*FSOUND_STREAMCALLBACK)(FSOUND_STREAM* stream, void* buffer, int length,
                                             int user);

/* Error codes, read with FSOUND_GetError. A failing call sets the code; a succeeding call
 * leaves it alone, so the code tells why the last failure happened. */
enum {
    FSOUND_ERR_NONE = 0,          /* nothing has failed */
    FSOUND_ERR_UNINITIALIZED = 1, /* the call needs FSOUND_Init to have succeeded */
    FSOUND_ERR_INIT = 2,          /* no audio output could be opened */
    FSOUND_ERR_INVALID_PARAM = 3, /* a null handle, a channel out of range, a bad rate */
    FSOUND_ERR_FILE_NOTFOUND = 4, /* the file could not be opened for reading */
    FSOUND_ERR_FILE_FORMAT = 5,   /* the file is not an Ogg Vorbis stream the layer can play */
    FSOUND_ERR_MEMORY = 6         /* out of memory */
};

/* Opens the default audio output at mixrate Hz (8000..192000) with maxchannels software
 * channels (1..64). flags must be 0. Returns non-zero when the output is ready; 0 when it
 * could not be opened (FSOUND_ERR_INIT). A second call while the output runs returns
 * non-zero and changes nothing. */
signed char FSOUND_Init(int mixrate, int maxchannels, unsigned int flags);

/* Opens the named Ogg Vorbis file for streaming: its samples are never decoded whole (on the
 * desktop memory stays bounded whatever the file's length; the browser keeps the file's bytes
 * as they come, so that it plays again without a second download). A file with at least one
 * channel at 8000..192000 Hz plays; at another rate than the output's only where the edition
 * converts rates (the desktop), else it is refused with FSOUND_ERR_FILE_FORMAT. mode, offset
 * and length are accepted as given and do not change decoding: a stream always plays its
 * whole file once. Returns null on failure (see the error codes). */
FSOUND_STREAM* FSOUND_Stream_Open(const char* name, unsigned int mode, int offset, int length);

/* Starts the stream from its beginning on the channel, replacing what that channel played
 * (the replaced stream stops without its end callback). Returns the channel, or -1. */
int FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream);

/* Installs the callback called each time the stream has been played to its last sample.
 * A FSOUND_Stream_Play made inside it starts at the very next sample. Null removes it. */
signed char FSOUND_Stream_SetEndCallback(FSOUND_STREAM* stream, FSOUND_STREAMCALLBACK callback,
                                         int user);

/* The last error code. */
int FSOUND_GetError(void);

/* The spectrum-analysis unit; it starts switched off. */
FSOUND_DSPUNIT* FSOUND_DSP_GetFFTUnit(void);

/* Switches a unit on (non-zero) or off. */
signed char FSOUND_DSP_SetActive(FSOUND_DSPUNIT* unit, signed char active);

/* 512 magnitudes of what is audible now, lowest frequency first: the most recent 1024
 * samples of the mono mix that have reached the output, Hann windowed; bin k covers
 * k * mixrate / 1024 Hz and a full-scale sine at a bin's centre reads about 1.0. Never null:
 * the array is all zeros while the analysis is off or the output is not running. The array
 * belongs to the layer and is rewritten by the next call. */
float* FSOUND_DSP_GetSpectrum(void);

#ifdef __cplusplus
}
#endif

#endif
