#pragma once
// The playback machinery around one PlayContext: opening and closing, the read, decoder and audio
// threads, clocks, pause, seek and the refresh of pictures, and the drawing into the surface.
#include <cstdint>
#include <string>

#include "player/PlayContext.h"

struct AVFrame;
struct SDL_Rect;

// Opening and closing (on the caller's thread). Null when the file cannot be played; the reason is
// then the owner's LastError.
PlayContext *OpenPlayback(TCustomPlayer &owner, const std::string &fileName);
void ClosePlayback(PlayContext *context);

// Read thread and streams.
void ReadThread(PlayContext *context);
int OpenStream(PlayContext *context, int streamIndex);
void CloseStream(PlayContext *context, int streamIndex);

// Decoders.
void VideoDecodeThread(PlayContext *context);
int OutputPicture(PlayContext *context, const AVFrame *frame, double pts);
int QueuePicture(PlayContext *context, const AVFrame *frame, double pts);
int OpenAudioDevice(PlayContext *context);
int DecodeAudioFrame(PlayContext *context, double &pts);
void AudioCallback(void *userData, uint8_t *stream, int length);

// Clocks, pause, seek and refresh.
double AudioClock(const PlayContext *context);
double VideoClock(const PlayContext *context);
double ComputeFrameDelay(PlayContext *context, double pts);
void TogglePause(PlayContext *context);
void RequestSeek(PlayContext *context, int64_t target, int direction);
void ScheduleRefresh(PlayContext *context, int milliseconds);
void RefreshPicture(PlayContext *context);

// Drawing, on the play thread.
int OpenVideoSurface(PlayContext *context);
void AllocPicture(PlayContext *context);
void DisplayVideo(PlayContext *context);
void DisplayPicture(PlayContext *context);
void DisplayWaveform(PlayContext *context);
// Where a picture of the given aspect ratio goes in the drawing area: as large as fits, centred,
// with even width and height.
SDL_Rect PictureRect(int displayWidth, int displayHeight, float aspect);
// The first ring index the waveform draws: a rising zero crossing near the samples playing now.
int WaveformStart(const PlayContext *context, int channels, int delay);
