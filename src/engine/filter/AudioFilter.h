#pragma once
// An audio filter graph from a description ("loudnorm=I=-16,aresample=48000"): the "abuffer"
// source made for the first block's shape, the description, and a sink that takes any format.
// Timestamps go in and come out in microseconds.
#include <cstdint>
#include <string>

#include "engine/LibraryObjects.h"

struct AVFilterContext;
struct AVFrame;

class TAudioFilter {
public:
  // Builds the graph for blocks shaped as this one; false (with the library's refusal in error)
  // when the description cannot be built.
  bool Build(const std::string &description, const AVFrame &shape, std::string &error);
  bool Built() const { return FIn != nullptr; }
  // One block with its start in microseconds; nullptr ends the input so the graph gives up what it
  // holds.
  bool Push(const AVFrame *block, int64_t startUs);
  // The next filtered block into held; false when the graph has none now. startUs: its start.
  bool Pull(AVFrame &held, int64_t &startUs);

private:
  TFilterGraphPtr FGraph;
  AVFilterContext *FIn = nullptr, *FOut = nullptr; // owned by the graph
};
