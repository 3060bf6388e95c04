#pragma once
// Loudness normalisation (EBU R128): reading a profile's target, measuring a source's sound and the
// audio filter line that brings it to the target.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// What a measurement of a file's sound found (EBU R128).
struct TLoudness {
  double Integrated = 0; // LUFS
  double Range = 0;      // LU
  double TruePeak = 0;   // dBTP
  double Threshold = 0;  // LUFS: the relative gate of the integrated loudness
};

// The target a profile's Loudness key (or --loudness) gives, in LUFS; none for an empty text.
// Throws std::invalid_argument for a text that is no number from -70 to -5.
std::optional<double> LoudnessTarget(const std::string &text);

// Measures the first sound stream of the file from startMs for lengthMs (-1: to the end). keepGoing,
// when given, is asked now and then; false stops the measurement. None when the file has no
// readable sound or was stopped.
std::optional<TLoudness> MeasureLoudness(const std::string &path, int64_t startMs, int64_t lengthMs,
                                         const std::function<bool()> &keepGoing = {});

// The engine's afilters value that brings the sound to the target, with true peaks at most -1.5
// dBTP, resampled back to sampleRate. With a measurement the gain is one constant (loudnorm's
// linear mode, which the filter itself gives up for a dynamic one when the peaks would not allow it);
// without one the filter adjusts as it goes.
std::string LoudnessFilter(double target, int sampleRate, const std::optional<TLoudness> &measured);
